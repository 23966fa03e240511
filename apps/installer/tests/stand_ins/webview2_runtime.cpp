// A stand-in for the WebView2 runtime's EmbeddedBrowserWebView.dll, for a machine without the
// runtime: the tests put it in a runtime folder and register that folder as the runtime's
// installer does. It plays a runtime without a browser: it answers every asynchronous call
// through a posted message, as the runtime does, and writes each call it receives (and the
// view's settings when the page is loaded) to a log that tests read through
// zarn_fake_webview2_log, and to the file ZARN_WEBVIEW2_STAND_IN_LOG names, if any, where
// it also records from where it was loaded.
//
// ZARN_WEBVIEW2_STAND_IN picks a failure: "environment-fails", "controller-fails", or
// "first-settings-only" (a runtime whose settings have none of the later versions).
// ZARN_WEBVIEW2_STAND_IN_PAGE plays the page once it is loaded: one step a line, either a
// message the page posts or "wait-for-script TEXT", which waits until the program has run
// a script holding TEXT.
#include <windows.h>
#include <objbase.h>
#include <wtsapi32.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/win32/com_ptr.h"
#include "toolkit/win32/webview2_interfaces.h"

namespace {

using namespace zarn::toolkit::win32::webview2;

std::wstring& log_text() {
    static std::wstring text;
    return text;
}

std::wstring variable(const wchar_t* name) {
    std::vector<wchar_t> value(32768);
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    return length > 0 && length < value.size() ? std::wstring(value.data(), length) : std::wstring();
}

std::wstring mode() { return variable(L"ZARN_WEBVIEW2_STAND_IN"); }

// Appended line by line in UTF-8, so that a run that ends at once still leaves its lines.
void write_to_log_file(const std::wstring& line) {
    const std::wstring path = variable(L"ZARN_WEBVIEW2_STAND_IN_LOG");
    if (path.empty()) return;
    const std::wstring text = line + L"\n";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
}

void note(const std::wstring& line) {
    log_text() += line + L"\n";
    write_to_log_file(line);
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

// Every setting starts as the runtime's default (all of these are on) and is written to the
// log as it stands when the page is loaded.
class Settings final : public ComObject<ICoreWebView2Settings6> {
public:
    BOOL scripts = TRUE, web_messages = TRUE, script_dialogs = TRUE, status_bar = TRUE, dev_tools = TRUE,
         context_menus = TRUE, host_objects = TRUE, zoom_control = TRUE, error_page = TRUE, accelerator_keys = TRUE,
         password_autosave = FALSE, general_autofill = TRUE, pinch_zoom = TRUE, swipe_navigation = TRUE;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID requested, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        const bool later = IsEqualIID(requested, ICoreWebView2Settings2::iid) ||
                           IsEqualIID(requested, ICoreWebView2Settings3::iid) ||
                           IsEqualIID(requested, ICoreWebView2Settings4::iid) ||
                           IsEqualIID(requested, ICoreWebView2Settings5::iid) ||
                           IsEqualIID(requested, ICoreWebView2Settings6::iid);
        if (IsEqualIID(requested, IID_IUnknown) || IsEqualIID(requested, ICoreWebView2Settings::iid) ||
            (later && mode() != L"first-settings-only")) {
            *object = static_cast<ICoreWebView2Settings6*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }

    std::wstring text() const {
        const auto flag = [](const wchar_t* name, BOOL value) { return std::wstring(L" ") + name + (value ? L"=1" : L"=0"); };
        return L"settings" + flag(L"status-bar", status_bar) + flag(L"dev-tools", dev_tools) +
               flag(L"zoom-control", zoom_control) + flag(L"pinch-zoom", pinch_zoom) +
               flag(L"swipe-navigation", swipe_navigation) + flag(L"context-menus", context_menus) +
               flag(L"accelerator-keys", accelerator_keys) + flag(L"scripts", scripts) +
               flag(L"web-messages", web_messages) + flag(L"script-dialogs", script_dialogs);
    }

    static HRESULT get(BOOL* to, BOOL value) {
        if (to == nullptr) return E_POINTER;
        *to = value;
        return S_OK;
    }
    static HRESULT put(BOOL& to, BOOL value) {
        to = value;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_IsScriptEnabled(BOOL* value) override { return get(value, scripts); }
    HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL value) override { return put(scripts, value); }
    HRESULT STDMETHODCALLTYPE get_IsWebMessageEnabled(BOOL* value) override { return get(value, web_messages); }
    HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL value) override { return put(web_messages, value); }
    HRESULT STDMETHODCALLTYPE get_AreDefaultScriptDialogsEnabled(BOOL* value) override {
        return get(value, script_dialogs);
    }
    HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL value) override {
        return put(script_dialogs, value);
    }
    HRESULT STDMETHODCALLTYPE get_IsStatusBarEnabled(BOOL* value) override { return get(value, status_bar); }
    HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL value) override { return put(status_bar, value); }
    HRESULT STDMETHODCALLTYPE get_AreDevToolsEnabled(BOOL* value) override { return get(value, dev_tools); }
    HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL value) override { return put(dev_tools, value); }
    HRESULT STDMETHODCALLTYPE get_AreDefaultContextMenusEnabled(BOOL* value) override {
        return get(value, context_menus);
    }
    HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL value) override {
        return put(context_menus, value);
    }
    HRESULT STDMETHODCALLTYPE get_AreHostObjectsAllowed(BOOL* value) override { return get(value, host_objects); }
    HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL value) override { return put(host_objects, value); }
    HRESULT STDMETHODCALLTYPE get_IsZoomControlEnabled(BOOL* value) override { return get(value, zoom_control); }
    HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL value) override { return put(zoom_control, value); }
    HRESULT STDMETHODCALLTYPE get_IsBuiltInErrorPageEnabled(BOOL* value) override { return get(value, error_page); }
    HRESULT STDMETHODCALLTYPE put_IsBuiltInErrorPageEnabled(BOOL value) override { return put(error_page, value); }
    HRESULT STDMETHODCALLTYPE get_UserAgent(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_UserAgent(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_AreBrowserAcceleratorKeysEnabled(BOOL* value) override {
        return get(value, accelerator_keys);
    }
    HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL value) override {
        return put(accelerator_keys, value);
    }
    HRESULT STDMETHODCALLTYPE get_IsPasswordAutosaveEnabled(BOOL* value) override {
        return get(value, password_autosave);
    }
    HRESULT STDMETHODCALLTYPE put_IsPasswordAutosaveEnabled(BOOL value) override {
        return put(password_autosave, value);
    }
    HRESULT STDMETHODCALLTYPE get_IsGeneralAutofillEnabled(BOOL* value) override {
        return get(value, general_autofill);
    }
    HRESULT STDMETHODCALLTYPE put_IsGeneralAutofillEnabled(BOOL value) override {
        return put(general_autofill, value);
    }
    HRESULT STDMETHODCALLTYPE get_IsPinchZoomEnabled(BOOL* value) override { return get(value, pinch_zoom); }
    HRESULT STDMETHODCALLTYPE put_IsPinchZoomEnabled(BOOL value) override { return put(pinch_zoom, value); }
    HRESULT STDMETHODCALLTYPE get_IsSwipeNavigationEnabled(BOOL* value) override {
        return get(value, swipe_navigation);
    }
    HRESULT STDMETHODCALLTYPE put_IsSwipeNavigationEnabled(BOOL value) override {
        return put(swipe_navigation, value);
    }
};

void play_page();
void page_ran_script(const std::wstring& script);

class View final : public ComObject<ICoreWebView2> {
public:
    ICoreWebView2WebMessageReceivedEventHandler* message_handler = nullptr;
    Settings* settings = make<Settings>();

    ~View() override {
        if (message_handler != nullptr) message_handler->Release();
        settings->Release();
    }

    HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** result) override {
        settings->AddRef();
        *result = settings;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Source(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR html) override {
        note(settings->text());
        note(L"NavigateToString " + std::wstring(html));
        answer_later(play_page);
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
        answer_later([handler, ran = std::wstring(script)] {
            handler->Invoke(S_OK, L"null");
            handler->Release();
            page_ran_script(ran);
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

bool post_from_page(const std::wstring& text, bool is_string) {
    View* view = current_view();
    if (view == nullptr || view->message_handler == nullptr) return false;
    MessageArgs* args = make<MessageArgs>();
    args->text = text;
    args->is_string = is_string;
    view->message_handler->Invoke(view, args);
    args->Release();
    return true;
}

struct PagePlay {
    std::deque<std::wstring> steps;
    std::wstring scripts_run;
};

PagePlay& page_play() {
    static PagePlay play = [] {
        PagePlay loaded;
        const std::wstring text = variable(L"ZARN_WEBVIEW2_STAND_IN_PAGE");
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find(L'\n', start);
            if (end == std::wstring::npos) end = text.size();
            if (end > start) loaded.steps.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return loaded;
    }();
    return play;
}

void play_page() {
    constexpr std::wstring_view kWait = L"wait-for-script ";
    PagePlay& play = page_play();
    while (!play.steps.empty()) {
        const std::wstring step = play.steps.front();
        if (step.starts_with(kWait)) {
            if (play.scripts_run.find(step.substr(kWait.size())) == std::wstring::npos) return;
        } else {
            note(L"page posts " + step);
            if (!post_from_page(step, true)) note(L"nothing listens to the page");
        }
        play.steps.pop_front();
    }
}

void page_ran_script(const std::wstring& script) {
    page_play().scripts_run += script + L"\n";
    play_page();
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

// Records, once loaded, where it was loaded from: a copy planted elsewhere shows itself.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        std::vector<wchar_t> path(32768);
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        write_to_log_file(L"loaded " + std::wstring(path.data(), length));
    }
    return TRUE;
}

// The real runtime's DLL depends on system DLLs outside the KnownDLLs; so does this one
// (wtsapi32.dll), so that a test can plant a copy beside the program and see that the
// runtime's dependencies are never looked for there. The session the runtime runs in.
extern "C" __declspec(dllexport) DWORD zarn_fake_webview2_session() {
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    DWORD session = 0;
    if (WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSSessionId, &buffer, &bytes)) {
        if (bytes >= sizeof session) CopyMemory(&session, buffer, sizeof session);
        WTSFreeMemory(buffer);
    }
    return session;
}

extern "C" __declspec(dllexport) HRESULT STDMETHODCALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    bool check_running_instance, int runtime_type, PCWSTR user_data_folder, IUnknown* environment_options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environment_created_handler) {
    const std::wstring how = mode();
    note(std::wstring(L"CreateWebViewEnvironmentWithOptionsInternal") +
         (check_running_instance ? L" check-running-instance" : L" no-check") + L" runtime-type " +
         std::to_wstring(runtime_type) + (user_data_folder == nullptr ? L" default-user-data" : L" own-user-data") +
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
    return post_from_page(text, is_string != FALSE) ? TRUE : FALSE;
}
