#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "toolkit/toolkit.h"

namespace zarn {

// What the main thread's handler owns for the whole life of the loop; nothing else touches it.
struct EventLoopState {
    EventLoopState() = default;
    EventLoopState(std::unique_ptr<toolkit::WebView> web_view, std::unique_ptr<toolkit::Window> setup_window)
        : webview(std::move(web_view)), window(std::move(setup_window)) {}
    EventLoopState(EventLoopState&&) = default;
    EventLoopState& operator=(EventLoopState&&) = delete;
    // The window goes first, so that it is unregistered before the web view inside it.
    ~EventLoopState() {
        window.reset();
        webview.reset();
        installed_exe.reset();
    }

    // Declared so that even member-wise destruction keeps the order window, web view, path.
    std::optional<std::filesystem::path> installed_exe;  // the last installed client
    std::unique_ptr<toolkit::WebView> webview;
    std::unique_ptr<toolkit::Window> window;
};

// Acts on one event of the loop, on the main thread. Nothing here fails visibly: a script the
// page refuses, a drag that cannot start or a client that cannot be launched is passed over.
void handle_event(EventLoopState& state, toolkit::LoopEvent event, toolkit::ControlFlow& control_flow);

}  // namespace zarn
