#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/ui_event.h"
#include "platform/result.h"

// The project's own small window library: an event loop whose user events are UiEvent, a
// borderless window and a web view inside it. Backends: gtk/ (Linux host), win32/ (Windows).
namespace zarn::toolkit {

// Device pixels.
struct Position {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Position&, const Position&) = default;
};
struct Size {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};
struct Rect {
    Position position;
    Size size;
};

class Window {
public:
    virtual ~Window() = default;
    // Begins moving the window with the mouse, from the pointer's current position.
    virtual Result<void> drag() = 0;
    // The whole rectangle of the monitor that holds the largest part of the window.
    virtual std::optional<Rect> monitor_rect() const = 0;
    virtual Size outer_size() const = 0;
    // Moves the outer top-left corner, keeping size, stacking order and activation.
    virtual void set_outer_position(Position position) = 0;
};

class WebView {
public:
    virtual ~WebView() = default;
    // Hands a script to the page without waiting for it to run.
    virtual Result<void> run_script(std::string_view script) = 0;
};

// What the handler tells the loop after each event. Once Exit is set it stays.
class ControlFlow {
public:
    void set_wait() {}
    void set_exit(int code) {
        if (!exit_code_) exit_code_ = code;
    }
    bool exiting() const { return exit_code_.has_value(); }
    int exit_code() const { return exit_code_.value_or(0); }

private:
    std::optional<int> exit_code_;
};

// The loop's events as the handler sees them.
struct CloseRequested {};
struct OtherEvent {};  // every window, device or loop event the handler does nothing with
using LoopEvent = std::variant<UiEvent, CloseRequested, OtherEvent>;

struct Icon {
    std::vector<std::uint8_t> rgba;  // rows top first, 4 bytes a pixel: red, green, blue, alpha
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct WindowSettings {
    std::string title;
    double logical_width = 0;   // client area, scaled by the monitor's DPI
    double logical_height = 0;
    bool resizable = false;
    bool decorations = false;
    std::optional<Icon> icon;
};

struct WebViewSettings {
    std::string html;            // the page, loaded as content rather than from a file or URL
    std::string startup_script;  // run in the main frame as each document begins to load
    std::function<void(std::string)> on_message;  // each text the page posts with window.ipc.postMessage
};

using Handler = std::function<void(LoopEvent, ControlFlow&)>;

class EventLoop {
public:
    virtual ~EventLoop() = default;
    // A handle through which any thread posts UiEvent values to this loop.
    virtual Proxy proxy() = 0;
    virtual Result<std::unique_ptr<Window>> create_window(const WindowSettings& settings) = 0;
    virtual Result<std::unique_ptr<WebView>> create_web_view(Window& window, WebViewSettings settings) = 0;
    // Runs until the handler sets Exit, then releases the handler (and with it what it owns)
    // and ends the process with the exit code.
    [[noreturn]] virtual void run(Handler handler) = 0;
};

// The backend's loop, made on the main thread.
Result<std::unique_ptr<EventLoop>> create_event_loop();

}  // namespace zarn::toolkit
