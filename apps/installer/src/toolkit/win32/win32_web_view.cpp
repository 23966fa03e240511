#include <windows.h>
#include <objbase.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/os_error.h"
#include "platform/win32/wide.h"
#include "toolkit/win32/win32_backend.h"

namespace zarn::toolkit::win32 {
namespace {

using namespace webview2;

// The page talks to the program through window.ipc.postMessage on both builds.
constexpr const char* kIpcBridge =
    "Object.defineProperty(window, 'ipc', { value: Object.freeze({ postMessage: function(message) { "
    "window.chrome.webview.postMessage(String(message)); } }) });";

// WebView2 runs document-created scripts in every frame; these belong to the main one.
std::wstring for_main_frame_only(const std::string& script) {
    return platform::widen("if (window === window.top) {\n" + script + "\n}");
}

// WebView2 answers its asynchronous calls through the thread's messages: run them until the
// answer is in. The answer is shared with the callback, which may outlive a failed wait.
template <class T>
struct Answer {
    bool done = false;
    HRESULT result = E_PENDING;
    ComPtr<T> value;
};

Result<void> pump_until(const bool& done) {
    MSG message{};
    while (!done) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) return unexpected(platform::last_os_error());
        if (got == 0) {
            // Leave the request to quit for the loop that comes after.
            PostQuitMessage(static_cast<int>(message.wParam));
            return unexpected(Error{"the program was told to quit while WebView2 was starting"});
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return {};
}

Error environment_error(HRESULT result) { return Error{"WebView2 could not start: " + hresult_error(result).text}; }

Result<ComPtr<ICoreWebView2Environment>> create_environment(CreateWebViewEnvironment create) {
    auto answer = std::make_shared<Answer<ICoreWebView2Environment>>();
    auto handler = Callback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                            HRESULT(HRESULT, ICoreWebView2Environment*)>::make(
        [answer](HRESULT result, ICoreWebView2Environment* environment) {
            answer->result = result;
            answer->value = ComPtr<ICoreWebView2Environment>::retain(environment);
            answer->done = true;
            return S_OK;
        });
    // The installed runtime with its default user-data folder and no options.
    const HRESULT started = create(true, kInstalledRuntime, nullptr, nullptr, handler.get());
    if (FAILED(started)) return unexpected(environment_error(started));
    if (auto waited = pump_until(answer->done); !waited) return unexpected(waited.error());
    if (FAILED(answer->result)) return unexpected(environment_error(answer->result));
    if (!answer->value) return unexpected(Error{"WebView2 gave no environment"});
    return std::move(answer->value);
}

Result<ComPtr<ICoreWebView2Controller>> create_controller(ICoreWebView2Environment& environment, HWND parent) {
    auto answer = std::make_shared<Answer<ICoreWebView2Controller>>();
    auto handler = Callback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                            HRESULT(HRESULT, ICoreWebView2Controller*)>::make(
        [answer](HRESULT result, ICoreWebView2Controller* controller) {
            answer->result = result;
            answer->value = ComPtr<ICoreWebView2Controller>::retain(controller);
            answer->done = true;
            return S_OK;
        });
    HRESULT result = environment.CreateCoreWebView2Controller(parent, handler.get());
    if (SUCCEEDED(result)) {
        if (auto waited = pump_until(answer->done); !waited) return unexpected(waited.error());
        result = answer->result;
    }
    if (FAILED(result)) return unexpected(Error{"WebView2 could not make its view: " + hresult_error(result).text});
    if (!answer->value) return unexpected(Error{"WebView2 gave no view"});
    return std::move(answer->value);
}

// The page is the whole user interface: no status bar, no developer tools, no zooming by
// keys, wheel, pinch or swipe. The context menu and the other browser keys stay as they are.
// A setting of a later version than the runtime has is left out.
Result<void> apply_settings(ICoreWebView2& view) {
    ComPtr<ICoreWebView2Settings> settings;
    HRESULT result = view.get_Settings(settings.put());
    if (SUCCEEDED(result) && !settings) result = E_POINTER;
    if (SUCCEEDED(result)) result = settings->put_IsStatusBarEnabled(FALSE);
    if (SUCCEEDED(result)) result = settings->put_AreDevToolsEnabled(FALSE);
    if (SUCCEEDED(result)) result = settings->put_IsZoomControlEnabled(FALSE);
    if (SUCCEEDED(result)) {
        if (auto settings5 = settings.as<ICoreWebView2Settings5>()) result = settings5->put_IsPinchZoomEnabled(FALSE);
    }
    if (SUCCEEDED(result)) {
        if (auto settings6 = settings.as<ICoreWebView2Settings6>()) result = settings6->put_IsSwipeNavigationEnabled(FALSE);
    }
    if (FAILED(result)) return unexpected(Error{"WebView2 refused the view's settings: " + hresult_error(result).text});
    return {};
}

// Waits until the script is registered, so that the page loaded next runs it.
Result<void> add_document_script(ICoreWebView2& view, const std::string& script) {
    auto answer = std::make_shared<Answer<IUnknown>>();
    auto handler = Callback<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler,
                            HRESULT(HRESULT, LPCWSTR)>::make([answer](HRESULT result, LPCWSTR) {
        answer->result = result;
        answer->done = true;
        return S_OK;
    });
    HRESULT result = view.AddScriptToExecuteOnDocumentCreated(for_main_frame_only(script).c_str(), handler.get());
    if (SUCCEEDED(result)) {
        if (auto waited = pump_until(answer->done); !waited) return unexpected(waited.error());
        result = answer->result;
    }
    if (FAILED(result)) return unexpected(Error{"WebView2 refused a start-up script: " + hresult_error(result).text});
    return {};
}

// Each text the page posts goes to the handler; anything but a string is passed over, as the
// bridge only ever posts strings.
Result<EventRegistrationToken> add_message_handler(ICoreWebView2& view,
                                                   std::function<void(std::string)> on_message) {
    auto receiver = std::make_shared<std::function<void(std::string)>>(std::move(on_message));
    auto handler = Callback<ICoreWebView2WebMessageReceivedEventHandler,
                            HRESULT(ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*)>::make(
        [receiver](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
            LPWSTR text = nullptr;
            if (args == nullptr || !*receiver || FAILED(args->TryGetWebMessageAsString(&text)) || text == nullptr) {
                return S_OK;
            }
            std::string message = platform::narrow(text);
            CoTaskMemFree(text);
            (*receiver)(std::move(message));
            return S_OK;
        });
    EventRegistrationToken token;
    const HRESULT result = view.add_WebMessageReceived(handler.get(), &token);
    if (FAILED(result)) {
        return unexpected(Error{"WebView2 refused the page's message channel: " + hresult_error(result).text});
    }
    return token;
}

}  // namespace

WebViewHost::WebViewHost(ComPtr<ICoreWebView2Controller> controller, ComPtr<ICoreWebView2> view)
    : controller_(std::move(controller)), view_(std::move(view)) {}

WebViewHost::~WebViewHost() {
    if (message_token_) view_->remove_WebMessageReceived(*message_token_);
    controller_->Close();
}

void WebViewHost::fit_to(HWND window) const {
    RECT client{};
    if (GetClientRect(window, &client)) controller_->put_Bounds(client);
}

void WebViewHost::parent_moved() const { controller_->NotifyParentWindowPositionChanged(); }

void WebViewHost::take_focus() const { controller_->MoveFocus(kMoveFocusProgrammatic); }

Result<void> Win32WebView::run_script(std::string_view script) {
    // The completion is not waited for; its handler only lets go of itself.
    auto ignore = Callback<ICoreWebView2ExecuteScriptCompletedHandler, HRESULT(HRESULT, LPCWSTR)>::make(
        [](HRESULT, LPCWSTR) { return S_OK; });
    const HRESULT result = host_->view().ExecuteScript(platform::widen(script).c_str(), ignore.get());
    if (FAILED(result)) return unexpected(hresult_error(result));
    return {};
}

Result<std::unique_ptr<WebView>> create_web_view(const RuntimeEntry& runtime,
                                                 Win32SetupWindow& window, WebViewSettings settings) {
    auto environment = create_environment(runtime.create_environment);
    if (!environment) return unexpected(environment.error());
    auto controller = create_controller(**environment, window.handle());
    if (!controller) return unexpected(controller.error());
    ComPtr<ICoreWebView2> view;
    if (const HRESULT result = (*controller)->get_CoreWebView2(view.put()); FAILED(result) || !view) {
        return unexpected(Error{"WebView2 gave no view: " + hresult_error(FAILED(result) ? result : E_POINTER).text});
    }
    auto host = std::make_shared<WebViewHost>(std::move(*controller), std::move(view));
    host->fit_to(window.handle());
    window.host(host);
    if (auto applied = apply_settings(host->view()); !applied) return unexpected(applied.error());

    auto token = add_message_handler(host->view(), std::move(settings.on_message));
    if (!token) return unexpected(token.error());
    host->set_message_token(*token);
    if (auto added = add_document_script(host->view(), kIpcBridge); !added) return unexpected(added.error());
    if (auto added = add_document_script(host->view(), settings.startup_script); !added) {
        return unexpected(added.error());
    }
    if (const HRESULT result = host->view().NavigateToString(platform::widen(settings.html).c_str()); FAILED(result)) {
        return unexpected(Error{"WebView2 could not load the page: " + hresult_error(result).text});
    }
    // The window took the keyboard when it opened, before there was a page to give it to.
    if (GetFocus() == window.handle()) host->take_focus();
    return std::unique_ptr<WebView>(std::make_unique<Win32WebView>(std::move(host)));
}

}  // namespace zarn::toolkit::win32
