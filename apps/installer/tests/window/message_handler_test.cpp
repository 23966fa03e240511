#include "window/message_handler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>

#include "platform/thread.h"
#include "support/recording_sink.h"
#include "support/stand_in_log.h"
#include "support/temp_dir.h"
#include "support/thread_stack.h"

namespace zarn {
namespace {

// What one worker received when its thread ran.
struct WorkerCall {
    std::string worker;
    std::optional<std::string> install_dir;  // browse_dir
    std::optional<IpcCommand> command;       // install, uninstall
    friend bool operator==(const WorkerCall&, const WorkerCall&) = default;
};

// The handler with recording workers and a thread starter that keeps each thread's body
// until the test runs it. Each worker posts one SetDir through the proxy it received, to show
// that its handle reaches the loop.
class Dispatch {
public:
    Dispatch() {
        workers_.browse_dir = [this](std::optional<std::string> dir, Proxy proxy) {
            calls.push_back({"browse_dir", dir, std::nullopt});
            static_cast<void>(proxy.post(SetDir{"from the worker"}));
        };
        workers_.install = [this](IpcCommand command, Proxy proxy) {
            calls.push_back({"install", std::nullopt, command});
            static_cast<void>(proxy.post(SetDir{"from the worker"}));
        };
        workers_.uninstall = [this](IpcCommand command, Proxy proxy) {
            calls.push_back({"uninstall", std::nullopt, command});
            static_cast<void>(proxy.post(SetDir{"from the worker"}));
        };
        workers_.start_thread = [this](std::function<void()> body, std::size_t stack_size) -> Result<void> {
            threads.push_back({std::move(body), stack_size});
            return {};
        };
    }

    void handle(std::string_view body) { handle_ipc(recorder.proxy, body, workers_); }
    void run_threads() {
        for (auto& thread : threads) thread.body();
    }
    std::vector<std::size_t> event_kinds() const {
        std::vector<std::size_t> kinds;
        for (const auto& event : recorder.sink->events()) kinds.push_back(event.index());
        return kinds;
    }

    struct Thread {
        std::function<void()> body;
        std::size_t stack_size;
    };
    test::Recorder recorder;
    std::vector<Thread> threads;
    std::vector<WorkerCall> calls;

private:
    MessageWorkers workers_;
};

constexpr std::size_t kDrag = UiEvent(Drag{}).index();
constexpr std::size_t kClose = UiEvent(Close{}).index();
constexpr std::size_t kLaunch = UiEvent(Launch{}).index();
constexpr std::size_t kSetDir = UiEvent(SetDir{}).index();

TEST(MessageHandler, PostsTheThreeWindowCommands) {
    const std::pair<const char*, std::size_t> cases[] = {
        {R"({"cmd":"drag"})", kDrag},
        {R"({"cmd":"close","installDir":"D:\\x"})", kClose},
        {R"({"cmd":"launch"})", kLaunch},
        {R"(["close",null,true])", kClose},
    };
    for (const auto& [body, kind] : cases) {
        Dispatch dispatch;
        dispatch.handle(body);
        EXPECT_EQ(dispatch.event_kinds(), std::vector<std::size_t>{kind}) << body;
        EXPECT_TRUE(dispatch.threads.empty()) << body;
    }
}

TEST(MessageHandler, StartsEachProcedureOnAThreadOfItsOwn) {
    const IpcCommand page_install{"install", "D:\\Apps\\ZARN", true, true, true};
    const std::pair<const char*, WorkerCall> cases[] = {
        {R"({"cmd":"browse_dir","installDir":"  D:\\Apps "})", {"browse_dir", "  D:\\Apps ", std::nullopt}},
        {R"({"cmd":"browse_dir"})", {"browse_dir", std::nullopt, std::nullopt}},
        {R"({"cmd":"install","installDir":"D:\\Apps\\ZARN","desktopShortcut":true,"startMenuShortcut":true,"autostart":true})",
         {"install", std::nullopt, page_install}},
        {R"({"cmd":"install"})", {"install", std::nullopt, IpcCommand{"install", std::nullopt, false, false, false}}},
        {R"(["install",null])", {"install", std::nullopt, IpcCommand{"install", std::nullopt, false, false, false}}},
        {R"({"cmd":"uninstall","installDir":"D:\\Apps\\ZARN"})",
         {"uninstall", std::nullopt, IpcCommand{"uninstall", "D:\\Apps\\ZARN", false, false, false}}},
    };
    for (const auto& [body, expected] : cases) {
        Dispatch dispatch;
        dispatch.handle(body);
        ASSERT_EQ(dispatch.threads.size(), 1u) << body;
        EXPECT_EQ(dispatch.threads[0].stack_size, 2u * 1024 * 1024) << body;
        EXPECT_TRUE(dispatch.calls.empty()) << body << ": the procedure ran on the main thread";
        EXPECT_TRUE(dispatch.event_kinds().empty()) << body;

        dispatch.run_threads();
        EXPECT_EQ(dispatch.calls, std::vector<WorkerCall>{expected}) << body;
        EXPECT_EQ(dispatch.event_kinds(), std::vector<std::size_t>{kSetDir}) << body;
    }
}

TEST(MessageHandler, DoesNothingForUnknownCommandsOrRejectedMessages) {
    const char* bodies[] = {
        R"({"cmd":"Drag"})",         R"({"cmd":"CLOSE"})",         R"({"cmd":" launch"})",
        R"({"cmd":"install "})",     R"({"cmd":"Browse_dir"})",    R"({"cmd":"browse"})",
        R"({"cmd":""})",             R"({"cmd":"uninstall\u0000"})", R"({"cmd":"close","cmd":"close"})",
        R"({"cmd":"close","autostart":null})", R"(["install"])", R"({"cmd":"install"} x)",
        "not json",
    };
    for (const char* body : bodies) {
        Dispatch dispatch;
        dispatch.handle(body);
        EXPECT_TRUE(dispatch.event_kinds().empty()) << body;
        EXPECT_TRUE(dispatch.threads.empty()) << body;
    }
}

TEST(MessageHandler, APostToAnEndedLoopIsDroppedQuietly) {
    Dispatch dispatch;
    dispatch.recorder.sink->close();
    dispatch.handle(R"({"cmd":"close"})");
    dispatch.handle(R"({"cmd":"launch"})");
    EXPECT_TRUE(dispatch.event_kinds().empty());
}

TEST(MessageHandler, ProceduresRunOnRealDetachedThreads) {
    test::Recorder recorder;
    // Shared, as the detached thread may still be leaving set_value when the test ends.
    auto ran_on = std::make_shared<std::promise<std::thread::id>>();
    MessageWorkers workers;
    workers.browse_dir = [ran_on](std::optional<std::string> dir, Proxy proxy) {
        static_cast<void>(proxy.post(SetDir{std::move(dir)}));
        ran_on->set_value(std::this_thread::get_id());
    };
    workers.start_thread = platform::start_detached_thread;
    handle_ipc(recorder.proxy, R"({"cmd":"browse_dir","installDir":"D:\\x"})", workers);
    auto thread = ran_on->get_future();
    EXPECT_NE(thread.get(), std::this_thread::get_id());
    const auto events = recorder.sink->events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(std::get<SetDir>(events[0]).dir, "D:\\x");
}

// The install's deep call chains need the workers' 2 MiB whatever the platform's default for
// new threads. The test program is linked with a default of 1 MiB on Windows (Microsoft's
// linker's own) so that a worker started with the default shows here; on Linux the suite runs
// with glibc's stack cache off, which would otherwise hand out larger stacks of ended threads.
TEST(MessageHandler, TheProgramsWorkersRunOnAStackOfTwoMebibytes) {
    const std::size_t two_mebibytes = 2u * 1024 * 1024;
    for (const char* body : {R"({"cmd":"browse_dir"})", R"({"cmd":"install"})", R"({"cmd":"uninstall"})"}) {
        SCOPED_TRACE(body);
        // Shared, as the detached thread may still be leaving set_value when the test ends.
        auto measured = std::make_shared<std::promise<std::size_t>>();
        auto measure = [measured] { measured->set_value(test::current_thread_stack_size()); };
        MessageWorkers workers = program_workers();
        workers.browse_dir = [measure](std::optional<std::string>, Proxy) { measure(); };
        workers.install = [measure](IpcCommand, Proxy) { measure(); };
        workers.uninstall = [measure](IpcCommand, Proxy) { measure(); };
        test::Recorder recorder;
        handle_ipc(recorder.proxy, body, workers);
        EXPECT_EQ(measured->get_future().get(), test::stack_size_granted_for(two_mebibytes));
    }

    auto default_stack = std::async(std::launch::async, test::current_thread_stack_size);
    EXPECT_NE(default_stack.get(), test::stack_size_granted_for(two_mebibytes))
        << "a worker started with the default stack would pass unnoticed";
}

TEST(MessageHandler, TheProgramsOwnWorkersRunTheFolderPicker) {
    test::TempDir temp;
    test::StandIns stand_ins(temp.path());
    stand_ins.print("powershell", "Apps");
    test::Recorder recorder;
    handle_ipc(recorder.proxy, R"({"cmd":"browse_dir"})");

    // The picker posts exactly one SetDir from its own thread; PowerShell under Wine is slow
    // to start, so the wait is only bounded against a hang.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    while (recorder.sink->events().empty() && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const auto events = recorder.sink->events();
    ASSERT_EQ(events.size(), 1u);
    const std::string expected = std::string("Apps") + char(std::filesystem::path::preferred_separator) + "ZARN";
    EXPECT_EQ(std::get<SetDir>(events[0]).dir, expected);
    ASSERT_EQ(stand_ins.runs().size(), 1u);
    EXPECT_EQ(stand_ins.runs()[0].program, "powershell");
}

TEST(MessageHandlerDeathTest, AThreadThatCannotStartEndsTheProcess) {
    test::Recorder recorder;
    MessageWorkers workers;
    workers.install = [](IpcCommand, Proxy) {};
    workers.start_thread = [](std::function<void()>, std::size_t) -> Result<void> {
        return unexpected(Error{"Resource temporarily unavailable (os error 11)"});
    };
    EXPECT_EXIT(handle_ipc(recorder.proxy, R"({"cmd":"install"})", workers), testing::ExitedWithCode(101),
                "failed to spawn thread: Resource temporarily unavailable");
}

}  // namespace
}  // namespace zarn
