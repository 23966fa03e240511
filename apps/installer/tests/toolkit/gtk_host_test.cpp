// The GTK backend on a real X server (Xvfb) with a real WebKit page. Running the loop ends
// the process, so each such case runs in a child of its own.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

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

// A page that tells which of the zoom keys and wheel turns reach it, and, when asked, how wide
// its view is and how far it is scaled: zooming would change both.
constexpr const char* kInputPage = R"(<!doctype html><html><body style="height:3000px"><script>
  addEventListener('keydown', function(e) { if (e.ctrlKey) window.ipc.postMessage('key ' + e.key); });
  addEventListener('wheel', function(e) { if (e.ctrlKey) window.ipc.postMessage('wheel'); });
  addEventListener('load', function() { window.ipc.postMessage('loaded'); });
</script></body></html>)";

WebKitWebView* the_web_view() {
    GList* toplevels = gtk_window_list_toplevels();
    GtkWidget* child = toplevels != nullptr ? gtk_bin_get_child(GTK_BIN(toplevels->data)) : nullptr;
    g_list_free(toplevels);
    if (child == nullptr || !WEBKIT_IS_WEB_VIEW(child)) fail("the window holds no web view");
    return WEBKIT_WEB_VIEW(child);
}

// Input as the X server would deliver it, straight to the view.
void send_event(GdkEvent* event) {
    gtk_main_do_event(event);
    gdk_event_free(event);
}

void press_with_ctrl(WebKitWebView* view, guint keyval) {
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(view));
    GdkDisplay* display = gdk_window_get_display(surface);
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    if (!gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &count)) {
        fail("no key gives " + std::string(gdk_keyval_name(keyval)));
    }
    for (const GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.window = GDK_WINDOW(g_object_ref(surface));
        event->key.time = GDK_CURRENT_TIME;
        event->key.state = GDK_CONTROL_MASK;
        event->key.keyval = keyval;
        event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
        event->key.group = static_cast<guint8>(keys[0].group);
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
        send_event(event);
    }
    g_free(keys);
}

GdkEvent* pointer_event(WebKitWebView* view, GdkEventType type) {
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(view));
    GdkEvent* event = gdk_event_new(type);
    event->any.window = GDK_WINDOW(g_object_ref(surface));
    gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_window_get_display(surface))));
    return event;
}

void turn_wheel_with_ctrl(WebKitWebView* view, GdkScrollDirection direction) {
    GdkEvent* event = pointer_event(view, GDK_SCROLL);
    event->scroll.time = GDK_CURRENT_TIME;
    event->scroll.x = 100;
    event->scroll.y = 100;
    event->scroll.state = GDK_CONTROL_MASK;
    event->scroll.direction = direction;
    send_event(event);
}

void right_click(WebKitWebView* view) {
    for (const GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
        GdkEvent* event = pointer_event(view, type);
        event->button.time = GDK_CURRENT_TIME;
        event->button.x = 50;
        event->button.y = 50;
        event->button.button = GDK_BUTTON_SECONDARY;
        send_event(event);
    }
}

// Ctrl with plus, equals, minus and 0, on the main keys and the keypad, and the wheel both ways.
constexpr guint kZoomKeys[] = {GDK_KEY_plus, GDK_KEY_equal, GDK_KEY_KP_Add, GDK_KEY_minus,
                               GDK_KEY_KP_Subtract, GDK_KEY_0, GDK_KEY_KP_0};
constexpr std::size_t kZoomInputs = std::size(kZoomKeys) + 2;

void try_every_zoom_shortcut(WebKitWebView* view) {
    gtk_widget_grab_focus(GTK_WIDGET(view));
    for (const guint keyval : kZoomKeys) press_with_ctrl(view, keyval);
    turn_wheel_with_ctrl(view, GDK_SCROLL_UP);
    turn_wheel_with_ctrl(view, GDK_SCROLL_DOWN);
}

// The default context menu is shown as it is; here it is only looked at, not put on screen.
gboolean on_context_menu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*, gpointer) {
    const guint items = webkit_context_menu_get_n_items(menu);
    bool inspect = false;
    for (GList* item = webkit_context_menu_get_items(menu); item != nullptr; item = item->next) {
        const auto action = webkit_context_menu_item_get_stock_action(WEBKIT_CONTEXT_MENU_ITEM(item->data));
        if (action == WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT) inspect = true;
    }
    say("context menu of " + std::string(items > 0 ? "its default items" : "no items") +
        (inspect ? " with" : " without") + " Inspect Element");
    try_every_zoom_shortcut(view);
    return TRUE;
}

void run_view_settings() {
    auto loop = must(create_event_loop(), "event loop");
    const Proxy proxy = loop->proxy();
    auto window = std::shared_ptr<Window>(must(loop->create_window(small_window()), "window"));
    std::shared_ptr<WebView> web_view;
    std::size_t inputs = 0;
    WebViewSettings web;
    web.html = kInputPage;
    web.on_message = [&web_view, &inputs, proxy](std::string message) {
        if (message == "loaded") {
            WebKitWebView* view = the_web_view();
            const bool extras = webkit_settings_get_enable_developer_extras(webkit_web_view_get_settings(view));
            say(extras ? "developer tools on" : "developer tools off");
            g_signal_connect(view, "context-menu", G_CALLBACK(on_context_menu), nullptr);
            right_click(view);
        } else if (message.rfind("key ", 0) == 0 || message == "wheel") {
            // Once the page has had every one, whatever the view would do with them is done.
            if (++inputs == kZoomInputs) {
                (void)web_view->run_script("window.ipc.postMessage('view ' + innerWidth + ' wide, scale ' + visualViewport.scale)");
            }
        } else if (message.rfind("view ", 0) == 0) {
            say("page: " + message);
            const double level = webkit_web_view_get_zoom_level(the_web_view());
            say(level == 1.0 ? "zoom level 1" : "zoom level " + std::to_string(level));
            proxy.post(Close{});
        }
    };
    web_view = must(loop->create_web_view(*window, std::move(web)), "web view");
    g_timeout_add_seconds(
        60, [](gpointer count) -> gboolean {
            fail("gave up after " + std::to_string(*static_cast<std::size_t*>(count)) + " zoom inputs reached the page");
        },
        &inputs);
    loop->run([window, web_view](LoopEvent event, ControlFlow& flow) {
        flow.set_wait();
        if (auto* ui = std::get_if<UiEvent>(&event); ui != nullptr && std::holds_alternative<Close>(*ui)) flow.set_exit(0);
    });
}

TEST(GtkHostDeathTest, ViewHasNoDeveloperToolsAndNoZoomShortcutsButKeepsItsContextMenu) {
    EXPECT_EXIT(run_view_settings(), testing::ExitedWithCode(0),
                "developer tools off\ncontext menu of its default items without Inspect Element\n"
                "page: view 520 wide, scale 1\nzoom level 1\n");
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
