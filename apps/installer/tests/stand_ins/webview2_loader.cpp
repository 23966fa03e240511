// A stand-in for WebView2Loader.dll, for a machine without the WebView2 runtime. By default
// its entry point answers as the loader does when no runtime is installed. With
// ZARN_WEBVIEW2_STAND_IN=fake it plays a runtime without a browser: it answers every
// asynchronous call through a posted message, as the runtime does, and writes each call it
// receives to a log that the test reads through zarn_fake_webview2_log. Two more values make
// a step fail later: "environment-fails" and "controller-fails".
#include <windows.h>
#include <objbase.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "toolkit/win32/com_ptr.h"
#include "toolkit/win32/webview2_interfaces.h"

namespace {

using namespace zarn::toolkit::win32::webview2;

std::wstring& log_text() {
    static std::wstring text;
    return text;
}

void note(const std::wstring& line) { log_text() += line + L"\n"; }

std::wstring mode() {
    wchar_t value[64] = {};
    const DWORD length = GetEnvironmentVariableW(L"ZARN_WEBVIEW2_STAND_IN", value, 64);
    return length > 0 && length < 64 ? std::wstring(value, length) : std::wstring();
}

// Answers run later, from the thread's message loop, the way the runtime answers.
std::deque<std::function<void()>>& answers() {
    static std::deque<std::function<void()>> queued;
    return queued;
}

LRESULT CALLBACK answer_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP) {
        while (!answers().empty()) {
            auto answer = std::move(answers().front());
            answers().pop_front();
            answer();
        }
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

HWND answer_window() {
    static HWND window = [] {
        WNDCLASSW window_class{};
        window_class.lpfnWndProc = answer_procedure;
        window_class.hInstance = GetModuleHandleW(nullptr);
        window_class.lpszClassName = L"ZarnFakeWebView2";
        RegisterClassW(&window_class);
        return CreateWindowExW(0, L"ZarnFakeWebView2", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }();
    return window;
}

void answer_later(std::function<void()> answer) {
    answers().push_back(std::move(answer));
    PostMessageW(answer_window(), WM_APP, 0, 0);
}

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

using zarn::toolkit::win32::ComObject;

// Hands a new object over with the one reference it was made with.
template <class T>
T* make() {
    return std::make_unique<T>().release();
}

class MessageArgs final : public ComObject<ICoreWebView2WebMessageReceivedEventArgs> {
public:
    std::wstring text;
    bool is_string = true;

    HRESULT STDMETHODCALLTYPE get_Source(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* result) override {
        *result = nullptr;
        if (!is_string) return E_INVALIDARG;
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        *result = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        CopyMemory(*result, text.c_str(), bytes);
        return S_OK;
    }
};

class View final : public ComObject<ICoreWebView2> {
public:
    ICoreWebView2WebMessageReceivedEventHandler* message_handler = nullptr;

    ~View() override {
        if (message_handler != nullptr) message_handler->Release();
    }

    HRESULT STDMETHODCALLTYPE get_Settings(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Source(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR html) override {
        note(L"NavigateToString " + std::wstring(html));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE add_NavigationStarting(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_ContentLoading(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_ContentLoading(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_SourceChanged(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_SourceChanged(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_HistoryChanged(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_HistoryChanged(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_NavigationCompleted(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_FrameNavigationStarting(IUnknown*, EventRegistrationToken*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE remove_FrameNavigationStarting(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_FrameNavigationCompleted(IUnknown*, EventRegistrationToken*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE remove_FrameNavigationCompleted(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_ScriptDialogOpening(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_PermissionRequested(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_ProcessFailed(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
        LPCWSTR script, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) override {
        note(L"AddScriptToExecuteOnDocumentCreated " + std::wstring(script));
        handler->AddRef();
        answer_later([handler] {
            note(L"script added");
            handler->Invoke(S_OK, L"script-id");
            handler->Release();
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR script, ICoreWebView2ExecuteScriptCompletedHandler* handler) override {
        note(L"ExecuteScript " + std::wstring(script));
        handler->AddRef();
        answer_later([handler] {
            handler->Invoke(S_OK, L"null");
            handler->Release();
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CapturePreview(int, IUnknown*, IUnknown*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reload() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                                     EventRegistrationToken* token) override {
        note(L"add_WebMessageReceived");
        handler->AddRef();
        message_handler = handler;
        token->value = 17;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) override {
        note(L"remove_WebMessageReceived " + std::to_wstring(token.value));
        if (token.value == 17 && message_handler != nullptr) std::exchange(message_handler, nullptr)->Release();
        return S_OK;
    }
};

View*& current_view() {
    static View* view = nullptr;
    return view;
}

std::wstring rect_text(const RECT& rect) {
    return std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L" " + std::to_wstring(rect.right) + L"," +
           std::to_wstring(rect.bottom);
}

class Controller final : public ComObject<ICoreWebView2Controller> {
public:
    View* view = make<View>();

    ~Controller() override { view->Release(); }

    HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Bounds(RECT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override {
        note(L"put_Bounds " + rect_text(bounds));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ZoomFactor(double*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ZoomFactor(double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT, double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MoveFocus(MoveFocusReason reason) override {
        note(L"MoveFocus " + std::to_wstring(reason));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_GotFocus(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_LostFocus(IUnknown*, EventRegistrationToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(IUnknown*, EventRegistrationToken*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close() override {
        note(L"Close");
        current_view() = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** result) override {
        view->AddRef();
        *result = view;
        return S_OK;
    }
};

class Environment final : public ComObject<ICoreWebView2Environment> {
public:
    HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
        HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
        wchar_t title[64] = {};
        GetWindowTextW(parent, title, 64);
        note(L"CreateCoreWebView2Controller in \"" + std::wstring(title) + L"\"");
        handler->AddRef();
        answer_later([handler] {
            if (mode() == L"controller-fails") {
                handler->Invoke(E_ACCESSDENIED, nullptr);
            } else {
                Controller* controller = make<Controller>();
                current_view() = controller->view;
                handler->Invoke(S_OK, controller);
                controller->Release();
            }
            handler->Release();
        });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IUnknown*, int, LPCWSTR, LPCWSTR, IUnknown**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(IUnknown*, EventRegistrationToken*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE remove_NewBrowserVersionAvailable(EventRegistrationToken) override { return E_NOTIMPL; }
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browser_executable_folder, PCWSTR user_data_folder, IUnknown* environment_options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environment_created_handler) {
    const std::wstring how = mode();
    if (how.empty()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    note(std::wstring(L"CreateCoreWebView2EnvironmentWithOptions") +
         (browser_executable_folder == nullptr ? L" installed-runtime" : L" own-browser") +
         (user_data_folder == nullptr ? L" default-user-data" : L" own-user-data") +
         (environment_options == nullptr ? L" default-options" : L" own-options"));
    environment_created_handler->AddRef();
    answer_later([environment_created_handler, how] {
        if (how == L"environment-fails") {
            environment_created_handler->Invoke(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), nullptr);
        } else {
            Environment* environment = make<Environment>();
            environment_created_handler->Invoke(S_OK, environment);
            environment->Release();
        }
        environment_created_handler->Release();
    });
    return S_OK;
}

// The calls received so far, one a line, in UTF-16; the log starts afresh after each read.
extern "C" __declspec(dllexport) void zarn_fake_webview2_log(wchar_t* buffer, int size) {
    const std::wstring text = log_text().substr(0, static_cast<std::size_t>(size > 0 ? size - 1 : 0));
    CopyMemory(buffer, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    log_text().clear();
}

// The page posts a message, as window.chrome.webview.postMessage would; a non-string when
// is_string is false. False when no view is listening.
extern "C" __declspec(dllexport) BOOL zarn_fake_webview2_post(const wchar_t* text, BOOL is_string) {
    View* view = current_view();
    if (view == nullptr || view->message_handler == nullptr) return FALSE;
    MessageArgs* args = make<MessageArgs>();
    args->text = text;
    args->is_string = is_string != FALSE;
    view->message_handler->Invoke(view, args);
    args->Release();
    return TRUE;
}
