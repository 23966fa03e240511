#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/result.h"
#include "toolkit/loop_core.h"
#include "toolkit/toolkit.h"
#include "toolkit/win32/com_ptr.h"
#include "toolkit/win32/webview2_interfaces.h"
#include "toolkit/win32/webview2_runtime.h"

// The Win32 and WebView2 backend of the window library: the product's own host.
namespace zarn::toolkit::win32 {

inline constexpr wchar_t kWindowClass[] = L"ZarnSetupWindow";
inline constexpr wchar_t kLoopClass[] = L"ZarnSetupLoop";
// Posted to the loop's message-only window: queued UiEvents are waiting.
inline constexpr UINT kWakeMessage = WM_APP + 1;

// "{system message} (os error {code})" for Win32 codes wrapped in an HRESULT, else the
// system's message and the HRESULT in hexadecimal.
Error hresult_error(HRESULT result);

// The web view's share that the window reaches: keeping WebView2 fitted to the client area.
class WebViewHost {
public:
    WebViewHost(ComPtr<webview2::ICoreWebView2Controller> controller, ComPtr<webview2::ICoreWebView2> view);
    ~WebViewHost();
    WebViewHost(const WebViewHost&) = delete;
    WebViewHost& operator=(const WebViewHost&) = delete;

    void fit_to(HWND window) const;
    void parent_moved() const;
    void take_focus() const;

    webview2::ICoreWebView2& view() const { return *view_; }
    void set_message_token(webview2::EventRegistrationToken token) { message_token_ = token; }

private:
    ComPtr<webview2::ICoreWebView2Controller> controller_;
    ComPtr<webview2::ICoreWebView2> view_;
    std::optional<webview2::EventRegistrationToken> message_token_;
};

class Win32SetupWindow : public Window {
public:
    Win32SetupWindow(std::weak_ptr<LoopCore> core, bool borderless);
    ~Win32SetupWindow() override;
    Win32SetupWindow(const Win32SetupWindow&) = delete;
    Win32SetupWindow& operator=(const Win32SetupWindow&) = delete;

    // Makes the system's window, sized for the DPI of the monitor it opens on, and shows it.
    Result<void> create(const WindowSettings& settings);

    Result<void> drag() override;
    std::optional<Rect> monitor_rect() const override;
    Size outer_size() const override;
    void set_outer_position(Position position) override;

    HWND handle() const { return window_; }
    void host(std::weak_ptr<WebViewHost> web_view) { web_view_ = std::move(web_view); }

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

private:
    LRESULT handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    std::weak_ptr<LoopCore> core_;
    bool borderless_;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;
    std::weak_ptr<WebViewHost> web_view_;
};

class Win32WebView : public WebView {
public:
    explicit Win32WebView(std::shared_ptr<WebViewHost> host) : host_(std::move(host)) {}

    Result<void> run_script(std::string_view script) override;

private:
    std::shared_ptr<WebViewHost> host_;
};

// Builds the web view inside the window: WebView2 from the runtime's entry point, its
// settings, the message handler, the two main-frame scripts, then the page.
Result<std::unique_ptr<WebView>> create_web_view(const RuntimeEntry& runtime, Win32SetupWindow& window,
                                                 WebViewSettings settings);

// A window icon from rows of red, green, blue and alpha bytes; null when the pixels do not
// make one.
HICON icon_from_rgba(const Icon& icon);

}  // namespace zarn::toolkit::win32
