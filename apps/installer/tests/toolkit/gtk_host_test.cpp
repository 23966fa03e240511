// The GTK backend on a real X server (Xvfb) with a real WebKit page. Running the loop ends
// the process, so each such case runs in a child of its own.
#include <gtk/gtk.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/child_report.h"
#include "toolkit/toolkit.h"

namespace zarn::toolkit {
namespace {

using test::fail;
using test::must;
using test::say;

WindowSettings small_window() {
    WindowSettings settings;
    settings.title = "Проверка";
    settings.logical_width = 520;
    settings.logical_height = 390;
    settings.icon = Icon{std::vector<std::uint8_t>(32 * 32 * 4, 0x80), 32, 32};
    return settings;
}

// What the handler of the page test owns; it tells when it is let go of.
struct PageState {
    std::unique_ptr<WebView> web_view;
    std::unique_ptr<Window> window;
    std::vector<std::string> messages;
    std::unique_ptr<Proxy> proxy;
    ~PageState() {
        window.reset();
        web_view.reset();
        say("state released");
        if (proxy->post(Close{})) say("post after the end handed back");
    }
};

// The start-up script marks the main frame and, like the program's own, calls the page's
// function once the page's scripts have run. A frame inside the page must not see it.
constexpr const char* kStartupScript =
    "window.startupMark = 'main';"
    "window.addEventListener('DOMContentLoaded', function() {"
    "  window.__init && window.__init(window.startupMark); });";

constexpr const char* kPage = R"(<!doctype html><html><body>
<iframe srcdoc="<script>parent.ipc.postMessage('frame sees ' + typeof window.startupMark)</script>"></iframe>
<script>
  window.__init = function(mark) { window.ipc.postMessage('init ' + mark + ' ' + typeof window.pageScriptRan); };
  window.pageScriptRan = true;
  window.addEventListener('load', function() { window.ipc.postMessage({ toString: function() { return 'loaded'; } }); });
</script></body></html>)";

void run_page_round_trip() {
    auto loop = must(create_event_loop(), "event loop");
    const Proxy proxy = loop->proxy();
    auto state = std::make_shared<PageState>();
    state->proxy = std::make_unique<Proxy>(proxy);
    state->window = must(loop->create_window(small_window()), "window");

    WebViewSettings web;
    web.html = kPage;
    web.startup_script = kStartupScript;
    // The page's messages arrive on the loop's thread; a worker answers through a proxy.
    web.on_message = [proxy, weak = std::weak_ptr<PageState>(state)](std::string message) {
        const auto owner = weak.lock();
        if (!owner) return;
        say("message: " + message);
        owner->messages.push_back(message);
        if (message == "loaded") {
            std::thread([proxy] { proxy.post(Progress{"worker", 42, "", "working"}); }).detach();
        } else if (message.rfind("echo ", 0) == 0) {
            proxy.post(Close{});
        }
    };
    state->web_view = must(loop->create_web_view(*state->window, std::move(web)), "web view");

    loop->run([state = std::move(state)](LoopEvent event, ControlFlow& flow) {
        flow.set_wait();
        if (auto* ui = std::get_if<UiEvent>(&event)) {
            if (auto* progress = std::get_if<Progress>(ui)) {
                state->web_view->run_script("window.ipc.postMessage('echo ' + " + std::to_string(progress->pct) + ")");
            } else if (std::holds_alternative<Close>(*ui)) {
                // The frame and the main document may finish in either order.
                auto seen = state->messages;
                if (seen.size() >= 2) std::sort(seen.begin(), seen.begin() + 2);
                const std::vector<std::string> expected{"frame sees undefined", "init main boolean", "loaded", "echo 42"};
                flow.set_exit(seen == expected ? 0 : 3);
            }
        }
    });
}

TEST(GtkHostDeathTest, PageAndProgramTalkBothWaysThenTheHandlerIsReleasedBeforeTheExit) {
    EXPECT_EXIT(run_page_round_trip(), testing::ExitedWithCode(0),
                "message: loaded\n(.|\n)*message: echo(.|\n)*state released\npost after the end handed back\n");
}

void run_close_request() {
    auto loop = must(create_event_loop(), "event loop");
    auto window = std::shared_ptr<Window>(must(loop->create_window(small_window()), "window"));
    // What the window manager's close button does: a delete request to the window.
    g_idle_add(
        [](gpointer) -> gboolean {
            GList* toplevels = gtk_window_list_toplevels();
            for (GList* item = toplevels; item != nullptr; item = item->next) gtk_window_close(GTK_WINDOW(item->data));
            g_list_free(toplevels);
            return G_SOURCE_REMOVE;
        },
        nullptr);
    // Closing mid-install leaves workers running inside their libraries; the exit-time clean-up
    // of those libraries (here a stand-in that spoils the status) must not run under them.
    std::atexit([] { std::_Exit(9); });
    int closes = 0;
    loop->run([window, closes](LoopEvent event, ControlFlow& flow) mutable {
        flow.set_wait();
        if (!std::holds_alternative<CloseRequested>(event)) return;
        ++closes;
        GList* toplevels = gtk_window_list_toplevels();
        const bool still_there = g_list_length(toplevels) == 1 && gtk_widget_get_visible(GTK_WIDGET(toplevels->data));
        g_list_free(toplevels);
        say(still_there ? "window still there" : "window gone");
        flow.set_exit(closes == 1 && still_there ? 7 : 3);
    });
}

TEST(GtkHostDeathTest, CloseRequestReachesTheHandlerWhileTheWindowStays) {
    EXPECT_EXIT(run_close_request(), testing::ExitedWithCode(7), "window still there");
}

void run_queue_order() {
    auto loop = must(create_event_loop(), "event loop");
    const Proxy proxy = loop->proxy();
    // Posted before the loop runs, from this thread and from another one.
    proxy.post(Progress{"main", 1, "", ""});
    std::thread([proxy] {
        for (std::uint8_t pct = 2; pct <= 4; ++pct) proxy.post(Progress{"worker", pct, "", ""});
    }).join();
    // Posted while the loop runs.
    g_idle_add(
        [](gpointer data) -> gboolean {
            const Proxy worker_proxy = *static_cast<const Proxy*>(data);
            std::thread([worker_proxy] {
                for (std::uint8_t pct = 5; pct <= 200; ++pct) worker_proxy.post(Progress{"late", pct, "", ""});
                worker_proxy.post(Close{});
            }).detach();
            return G_SOURCE_REMOVE;
        },
        const_cast<Proxy*>(&proxy));
    std::uint8_t next = 1;
    loop->run([next](LoopEvent event, ControlFlow& flow) mutable {
        flow.set_wait();
        auto* ui = std::get_if<UiEvent>(&event);
        if (ui == nullptr) return;
        if (auto* progress = std::get_if<Progress>(ui)) {
            if (progress->pct != next) fail("expected " + std::to_string(next) + ", got " + std::to_string(progress->pct));
            ++next;
        } else if (std::holds_alternative<Close>(*ui)) {
            say("delivered up to " + std::to_string(next - 1));
            flow.set_exit(0);
            // Kept once set, whatever a later event writes.
            flow.set_wait();
        }
    });
}

TEST(GtkHostDeathTest, PostedEventsArriveOnceEachInTheirOrderFromBeforeAndDuringTheLoop) {
    EXPECT_EXIT(run_queue_order(), testing::ExitedWithCode(0), "delivered up to 200\n");
}

[[noreturn]] void run_geometry(const char* scale, Position target) {
    setenv("GDK_SCALE", scale, 1);
    auto loop = must(create_event_loop(), "event loop");
    auto window = must(loop->create_window(small_window()), "window");
    const auto monitor = window->monitor_rect();
    if (!monitor) fail("no monitor");
    const Size outer = window->outer_size();
    say("monitor " + std::to_string(monitor->position.x) + "," + std::to_string(monitor->position.y) + " " +
        std::to_string(monitor->size.width) + "x" + std::to_string(monitor->size.height) + " outer " +
        std::to_string(outer.width) + "x" + std::to_string(outer.height));

    window->set_outer_position(target);
    // Let the server carry out the move, within a bounded number of turns.
    GList* toplevels = gtk_window_list_toplevels();
    GtkWindow* gtk_window = GTK_WINDOW(toplevels->data);
    g_list_free(toplevels);
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(gtk_window));
    GdkRectangle frame{};
    for (int turn = 0; turn < 500; ++turn) {
        while (gtk_events_pending()) gtk_main_iteration();
        gdk_window_get_frame_extents(surface, &frame);
        if (frame.x != 0 || frame.y != 0) break;
        g_usleep(10 * 1000);
    }
    const int factor = gdk_window_get_scale_factor(surface);
    say("moved to " + std::to_string(frame.x * factor) + "," + std::to_string(frame.y * factor));
    std::exit(0);
}

TEST(GtkHostDeathTest, MonitorAndOuterSizeAreInDevicePixelsAndTheMoveLandsThere) {
    EXPECT_EXIT(run_geometry("1", {700, 346}), testing::ExitedWithCode(0), "monitor 0,0 1920x1080 outer 520x390\nmoved to 700,346\n");
    // At scale 2 GTK doubles the logical size; a device position between two logical ones
    // goes to the one before it.
    EXPECT_EXIT(run_geometry("2", {701, 347}), testing::ExitedWithCode(0), "monitor 0,0 1920x1080 outer 1040x780\nmoved to 700,346\n");
}

}  // namespace
}  // namespace zarn::toolkit

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // The children start afresh rather than as forks of a process with GTK's threads in it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
