#include <windows.h>
#include <objbase.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/os_error.h"
#include "toolkit/win32/win32_backend.h"

namespace zarn::toolkit {
namespace win32 {
namespace {

LRESULT CALLBACK loop_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kWakeMessage) {
        if (auto* core = reinterpret_cast<LoopCore*>(GetWindowLongPtrW(window, GWLP_USERDATA))) core->drain();
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

class Win32EventLoop : public EventLoop {
public:
    Win32EventLoop(HWND message_window, std::shared_ptr<LoopCore> core)
        : message_window_(message_window), core_(std::move(core)) {
        SetWindowLongPtrW(message_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(core_.get()));
    }
    ~Win32EventLoop() override {
        // Later posts then fail and hand their events back.
        SetWindowLongPtrW(message_window_, GWLP_USERDATA, 0);
        DestroyWindow(message_window_);
    }
    Win32EventLoop(const Win32EventLoop&) = delete;
    Win32EventLoop& operator=(const Win32EventLoop&) = delete;

    Proxy proxy() override { return Proxy(core_->queue()); }

    Result<std::unique_ptr<Window>> create_window(const WindowSettings& settings) override {
        auto window = std::make_unique<Win32SetupWindow>(core_, !settings.decorations);
        if (auto created = window->create(settings); !created) return unexpected(created.error());
        return std::unique_ptr<Window>(std::move(window));
    }

    Result<std::unique_ptr<WebView>> create_web_view(Window& window, WebViewSettings settings) override {
        auto* host = dynamic_cast<Win32SetupWindow*>(&window);
        if (host == nullptr) return unexpected(Error{"the window was not made by the Win32 event loop"});
        if (!runtime_) {
            auto loaded = load_installed_runtime();
            if (!loaded) return unexpected(loaded.error());
            runtime_ = *loaded;
        }
        return win32::create_web_view(*runtime_, *host, std::move(settings));
    }

    [[noreturn]] void run(Handler handler) override {
        core_->start(std::move(handler));
        MSG message{};
        // A WM_QUIT from elsewhere ends the loop as well.
        while (!core_->exiting() && GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        core_->finish();
        core_->end_process();
    }

private:
    HWND message_window_;
    std::shared_ptr<LoopCore> core_;
    // Found once; the runtime stays loaded for the life of the process.
    std::optional<RuntimeEntry> runtime_;
};

// Logical pixels then mean 1/96 inch on every monitor, and the system leaves the window's
// pixels unscaled. A process whose awareness is already fixed keeps it.
void become_per_monitor_dpi_aware() {
    if (SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) return;
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
}

Result<void> register_class(const wchar_t* name, WNDPROC procedure, HBRUSH background) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = background;
    window_class.lpszClassName = name;
    if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return unexpected(platform::last_os_error());
    }
    return {};
}

// The loop's message-only window drains the queue when a wake message reaches it. The
// message loop looks at the control flow after every message: nothing to do at the end.
LoopCore::Backend woken_by(HWND message_window) {
    return {[message_window](const std::weak_ptr<LoopCore>&) {
                return PostMessageW(message_window, kWakeMessage, 0, 0) != FALSE;
            },
            nullptr};
}

}  // namespace

}  // namespace win32

Result<std::unique_ptr<EventLoop>> create_event_loop() {
    win32::become_per_monitor_dpi_aware();
    // WebView2 lives in a single-threaded apartment on the loop's thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com)) return unexpected(Error{"COM could not start on the main thread: " + win32::hresult_error(com).text});

    const auto background = reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    for (const auto& [name, procedure] :
         {std::pair{win32::kWindowClass, &win32::Win32SetupWindow::procedure}, std::pair{win32::kLoopClass, &win32::loop_procedure}}) {
        if (auto registered = win32::register_class(name, procedure, background); !registered) {
            return unexpected(Error{"the window class could not be registered: " + registered.error().text});
        }
    }
    HWND message_window = CreateWindowExW(0, win32::kLoopClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          GetModuleHandleW(nullptr), nullptr);
    if (message_window == nullptr) return unexpected(platform::last_os_error());
    auto core = LoopCore::create(win32::woken_by(message_window));
    return std::unique_ptr<EventLoop>(std::make_unique<win32::Win32EventLoop>(message_window, std::move(core)));
}

}  // namespace zarn::toolkit
