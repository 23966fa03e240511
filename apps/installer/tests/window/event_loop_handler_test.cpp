#include "window/event_loop_handler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/process.h"
#include "support/stand_in_log.h"
#include "support/temp_dir.h"

namespace zarn {
namespace {

using namespace std::string_literals;
using toolkit::CloseRequested;
using toolkit::ControlFlow;
using toolkit::LoopEvent;
using toolkit::OtherEvent;

struct Record {
    std::vector<std::string> scripts;
    int drags = 0;
    std::vector<std::string> releases;
};

// The handler's only contact with the page: every script it hands over is kept.
class FakeWebView : public toolkit::WebView {
public:
    FakeWebView(Record& record, bool accepts, const EventLoopState* owner = nullptr)
        : record_(record), accepts_(accepts), owner_(owner) {}
    ~FakeWebView() override {
        const bool path_kept = owner_ != nullptr && owner_->installed_exe.has_value();
        record_.releases.push_back(path_kept ? "web view, path still held" : "web view");
    }
    Result<void> run_script(std::string_view script) override {
        record_.scripts.emplace_back(script);
        if (!accepts_) return unexpected(Error{"the page is gone"});
        return {};
    }

private:
    Record& record_;
    bool accepts_;
    const EventLoopState* owner_;
};

class FakeWindow : public toolkit::Window {
public:
    FakeWindow(Record& record, bool drags) : record_(record), drags_(drags) {}
    ~FakeWindow() override { record_.releases.push_back("window"); }
    Result<void> drag() override {
        ++record_.drags;
        if (!drags_) return unexpected(Error{"no mouse button is down"});
        return {};
    }
    std::optional<toolkit::Rect> monitor_rect() const override { return std::nullopt; }
    toolkit::Size outer_size() const override { return {}; }
    void set_outer_position(toolkit::Position) override {}

private:
    Record& record_;
    bool drags_;
};

struct Handler {
    explicit Handler(bool page_accepts = true, bool window_drags = true)
        : state(std::make_unique<FakeWebView>(record, page_accepts),
                std::make_unique<FakeWindow>(record, window_drags)) {}

    void handle(LoopEvent event) { handle_event(state, std::move(event), flow); }

    Record record;
    EventLoopState state;
    ControlFlow flow;
};

std::string progress_call(const std::string& arguments) {
    return "window.__zarnInstallerProgress && window.__zarnInstallerProgress(" + arguments + ");";
}

TEST(EventLoopHandler, TurnsEachProgressIntoOneScriptWithJsonQuotedTexts) {
    struct Case {
        Progress progress;
        std::string arguments;
    };
    const std::vector<Case> cases{
        {{"Создание директории…", 16, "C:\\Users\\A\\AppData\\Local\\ZARN", "working"},
         "\"Создание директории…\", 16, \"C:\\\\Users\\\\A\\\\AppData\\\\Local\\\\ZARN\", \"working\""},
        {{"Ошибка", 0, "say \"no\"\r\nnext\tline", "error"},
         "\"Ошибка\", 0, \"say \\\"no\\\"\\r\\nnext\\tline\", \"error\""},
        {{"", 100, "", "done"}, "\"\", 100, \"\", \"done\""},
        {{"\b\f\x01\x1f", 255, "\0|\x7f|/|\u2028\u2029|« »"s, "paused"},
         "\"\\b\\f\\u0001\\u001f\", 255, \"\\u0000|\x7f|/|\u2028\u2029|« »\", \"paused\""},
        // Texts are built lossy and so never hold this, but the main thread must not throw.
        {{"a\xff", 7, "\xc3", "working"}, "\"a\uFFFD\", 7, \"\uFFFD\", \"working\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        Handler handler;
        handler.handle(UiEvent(c.progress));
        EXPECT_EQ(handler.record.scripts, std::vector<std::string>{progress_call(c.arguments)});
        EXPECT_FALSE(handler.flow.exiting());
    }
}

TEST(EventLoopHandler, TellsThePageTheChosenFolderOrNull) {
    Handler handler;
    handler.handle(UiEvent(SetDir{"D:\\Bob's \"x\"\\ZARN"}));
    handler.handle(UiEvent(SetDir{std::nullopt}));
    EXPECT_EQ(handler.record.scripts,
              (std::vector<std::string>{
                  "window.__zarnInstallerSetDir && window.__zarnInstallerSetDir(\"D:\\\\Bob's \\\"x\\\"\\\\ZARN\");",
                  "window.__zarnInstallerSetDir && window.__zarnInstallerSetDir(null);"}));
    EXPECT_FALSE(handler.flow.exiting());
}

TEST(EventLoopHandler, PassesOverWhatThePageAndTheWindowRefuse) {
    Handler handler(/*page_accepts=*/false, /*window_drags=*/false);
    handler.handle(UiEvent(Progress{"a", 1, "", "working"}));
    handler.handle(UiEvent(Drag{}));
    handler.handle(UiEvent(SetDir{"x"}));
    EXPECT_EQ(handler.record.scripts.size(), 2u);
    EXPECT_EQ(handler.record.drags, 1);
    EXPECT_FALSE(handler.flow.exiting());
}

TEST(EventLoopHandler, DragsTheWindowAndIgnoresOtherEvents) {
    Handler handler;
    handler.handle(UiEvent(Drag{}));
    handler.handle(OtherEvent{});
    handler.handle(UiEvent(Installed{"C:\\ZARN\\zarn.exe"}));
    EXPECT_EQ(handler.record.drags, 1);
    EXPECT_TRUE(handler.record.scripts.empty());  // the page learns of success from "done"
    EXPECT_EQ(handler.state.installed_exe, std::filesystem::path("C:\\ZARN\\zarn.exe"));
    EXPECT_FALSE(handler.flow.exiting());
}

TEST(EventLoopHandler, EndsTheLoopOnCloseAndKeepsTheExitThroughLaterEvents) {
    const std::vector<std::pair<std::string, LoopEvent>> endings{
        {"close request", CloseRequested{}},
        {"Close", UiEvent(Close{})},
        {"Launch with nothing installed", UiEvent(Launch{})},
    };
    for (const auto& [name, ending] : endings) {
        SCOPED_TRACE(name);
        Handler handler;
        handler.handle(ending);
        ASSERT_TRUE(handler.flow.exiting());
        // The loop still delivers its closing events, each beginning with Wait.
        handler.handle(OtherEvent{});
        handler.handle(UiEvent(Progress{"late", 50, "", "working"}));
        EXPECT_TRUE(handler.flow.exiting());
        EXPECT_EQ(handler.flow.exit_code(), 0);
    }
}

TEST(EventLoopHandler, ReleasesTheWindowThenTheWebViewThenThePath) {
    Record record;
    {
        EventLoopState state;
        state.webview = std::make_unique<FakeWebView>(record, true, &state);
        state.window = std::make_unique<FakeWindow>(record, true);
        ControlFlow flow;
        handle_event(state, UiEvent(Installed{"C:\\ZARN\\zarn.exe"}), flow);
        EXPECT_TRUE(record.releases.empty());
    }
    EXPECT_EQ(record.releases, (std::vector<std::string>{"window", "web view, path still held"}));
}

// The stand-in client, copied under a name of its own so that its log line tells which ran.
std::filesystem::path client_copy(const std::filesystem::path& folder, const std::string& name) {
    const auto powershell = platform::find_program("powershell");
    EXPECT_TRUE(powershell) << powershell.error().text;
    const auto extension = powershell->extension();
    const auto stand_in = powershell->parent_path() / ("zarn" + extension.string());
    std::filesystem::create_directories(folder);
    const auto copy = folder / (name + extension.string());
    std::filesystem::copy_file(stand_in, copy);
    return copy;
}

// The client runs detached, so its log line arrives in its own time; the bound only keeps a
// broken launch from hanging the suite.
std::vector<test::StandInRun> wait_for_runs(const test::StandIns& stand_ins, const std::filesystem::path& log) {
    for (int attempt = 0; attempt < 1200; ++attempt) {
        const std::string text = std::filesystem::exists(log) ? test::read_file(log) : std::string();
        if (!text.empty() && text.back() == '\n') return stand_ins.runs();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

TEST(EventLoopHandler, LaunchStartsTheLastInstalledClientAndEndsTheLoop) {
    test::TempDir temp;
    test::StandIns stand_ins(temp.path());
    const auto first = client_copy(temp / "first", "first-client");
    const auto second = client_copy(temp / "second", "second-client");

    Handler handler;
    handler.handle(UiEvent(Installed{first}));
    handler.handle(UiEvent(Installed{second}));
    handler.handle(UiEvent(Launch{}));
    EXPECT_TRUE(handler.flow.exiting());

    const auto runs = wait_for_runs(stand_ins, temp / "stand-ins.log");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].program, "second-client");
    EXPECT_TRUE(runs[0].args.empty());
}

TEST(EventLoopHandler, LaunchOfAClientThatIsGoneStillEndsTheLoop) {
    test::TempDir temp;
    Handler handler;
    handler.handle(UiEvent(Installed{temp / "deleted" / "zarn.exe"}));
    handler.handle(UiEvent(Launch{}));
    EXPECT_TRUE(handler.flow.exiting());
    EXPECT_EQ(handler.flow.exit_code(), 0);
}

}  // namespace
}  // namespace zarn
