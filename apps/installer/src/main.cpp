// ZARN Setup: decides the mode, opens the borderless window with the embedded page and runs the
// event loop until the page or the system ends it.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "engine/user_folders.h"
#include "page/embedded_page.h"
#include "platform/dll_search.h"
#include "platform/path_text.h"
#include "platform/program_arguments.h"
#include "resources/window_icon.h"
#include "toolkit/toolkit.h"
#include "window/centring.h"
#include "window/event_loop_handler.h"
#include "window/message_handler.h"
#include "window/setup_mode.h"
#include "window/setup_window.h"
#include "window/startup_script.h"

namespace zarn {
namespace {

// A start-up failure has no window to show it in; whoever started the program from a console
// gets the reason, everyone else sees that no window stays open.
[[noreturn]] void fail_start(std::string_view what, const Error& error) {
    const std::string line = std::string(what) + ": " + error.text + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}

void centre_on_its_monitor(toolkit::Window& window) {
    const std::optional<toolkit::Rect> monitor = window.monitor_rect();
    if (!monitor) return;
    window.set_outer_position(centred_position(*monitor, window.outer_size()));
}

toolkit::WebViewSettings page_settings(bool uninstall, const std::string& default_dir, Proxy proxy) {
    toolkit::WebViewSettings settings;
    settings.html = std::string(embedded_page());
    settings.startup_script = startup_script(page_init_json(default_dir, uninstall));
    // The handler owns its own handle of the loop for as long as the web view keeps it.
    settings.on_message = [proxy = std::move(proxy)](std::string body) { handle_ipc(proxy, body); };
    return settings;
}

void run_setup(int argc, const char* const* argv) {
    // Before any DLL is loaded by name: the program usually runs from a Downloads folder.
    if (auto restricted = platform::restrict_dll_search_to_system_folder(); !restricted) {
        fail_start("failed to restrict the DLL search to the system folder", restricted.error());
    }
    const bool uninstall = uninstall_requested(platform::program_arguments(argc, argv));
    const std::string default_dir = platform::path_to_utf8(default_install_dir());

    auto loop = toolkit::create_event_loop();
    if (!loop) fail_start("failed to build ZARN Setup window", loop.error());
    toolkit::EventLoop& event_loop = **loop;
    Proxy proxy = event_loop.proxy();

    auto icon = icon_from_rgba(window_icon_rgba(), kWindowIconSize, kWindowIconSize);
    auto window = event_loop.create_window(setup_window_settings(uninstall, std::move(icon)));
    if (!window) fail_start("failed to build ZARN Setup window", window.error());
    centre_on_its_monitor(**window);

    auto web_view = event_loop.create_web_view(**window, page_settings(uninstall, default_dir, proxy));
    if (!web_view) fail_start("failed to initialize ZARN Setup WebView2", web_view.error());

    // The handler alone owns the window and the web view from here on; the loop releases it
    // (window first) when it ends, and the process ends with the loop's status.
    auto state = std::make_shared<EventLoopState>(std::move(web_view.value()), std::move(window.value()));
    event_loop.run([state = std::move(state)](toolkit::LoopEvent event, toolkit::ControlFlow& control_flow) {
        handle_event(*state, std::move(event), control_flow);
    });
}

}  // namespace
}  // namespace zarn

// The event loop ends the process itself; main never gets back control.
int main(int argc, char** argv) { zarn::run_setup(argc, argv); }
