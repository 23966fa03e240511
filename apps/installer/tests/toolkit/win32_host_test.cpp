// The Win32 backend under Wine on a real X server (Xvfb). Wine has no WebView2 runtime: the
// web view is built against a stand-in runtime registered as the real one is. Running the
// loop ends the process, so each such case runs in a child of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/wide.h"
#include "support/child_report.h"
#include "toolkit/toolkit.h"
#include "toolkit/win32/webview2_runtime.h"

namespace zarn::toolkit {
namespace {

using test::fail;
using test::must;
using test::say;

// Red, green, blue and alpha differ in every pixel, so a swapped channel or a flipped row
// shows in the icon the system holds.
Icon test_icon() {
    Icon icon{std::vector<std::uint8_t>(32 * 32 * 4), 32, 32};
    for (std::size_t pixel = 0; pixel < 32 * 32; ++pixel) {
        icon.rgba[pixel * 4 + 0] = static_cast<std::uint8_t>(pixel % 32 * 8);  // red grows to the right
        icon.rgba[pixel * 4 + 1] = static_cast<std::uint8_t>(pixel / 32 * 8);  // green grows downwards
        icon.rgba[pixel * 4 + 2] = 0x40;
        icon.rgba[pixel * 4 + 3] = 0xff;
    }
    return icon;
}

WindowSettings small_window() {
    WindowSettings settings;
    settings.title = "Проверка";
    settings.logical_width = 520;
    settings.logical_height = 390;
    settings.icon = test_icon();
    return settings;
}

// The one visible top-level window of this thread: the one the backend made.
HWND the_window() {
    std::vector<HWND> found;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM list) -> BOOL {
            if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (found.size() != 1) fail("expected one visible window, found " + std::to_string(found.size()));
    return found.front();
}

// Top row first, 4 bytes a pixel in blue, green, red, alpha.
std::vector<std::uint8_t> small_icon_pixels(HWND window) {
    const auto icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return {};
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = 32;
    format.bmiHeader.biHeight = -32;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint8_t> pixels(32 * 32 * 4);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, info.hbmColor, 0, 32, pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return rows == 32 ? pixels : std::vector<std::uint8_t>{};
}

TEST(Win32Host, TheLoopMakesTheProcessPerMonitorDpiAware) {
    auto loop = must(create_event_loop(), "event loop");
    const DPI_AWARENESS awareness = GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext());
    EXPECT_EQ(awareness, DPI_AWARENESS_PER_MONITOR_AWARE);
}

TEST(Win32Host, WindowIsABorderlessClientAreaOfTheLogicalSizeWithItsTitleAndSmallIcon) {
    auto loop = must(create_event_loop(), "event loop");
    auto window = must(loop->create_window(small_window()), "window");
    HWND handle = the_window();

    // Wine's screen has 96 dots per inch: one logical pixel is one device pixel.
    ASSERT_EQ(GetDpiForWindow(handle), 96u);
    EXPECT_EQ(window->outer_size(), (Size{520, 390}));
    RECT client{};
    ASSERT_TRUE(GetClientRect(handle, &client));
    EXPECT_EQ(client.right - client.left, 520);
    EXPECT_EQ(client.bottom - client.top, 390);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(handle, GWL_STYLE));
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0u) << "the user can resize it";

    std::array<wchar_t, 64> title{};
    GetWindowTextW(handle, title.data(), static_cast<int>(title.size()));
    EXPECT_EQ(std::wstring(title.data()), L"\u041f\u0440\u043e\u0432\u0435\u0440\u043a\u0430");

    EXPECT_EQ(SendMessageW(handle, WM_GETICON, ICON_BIG, 0), 0) << "a taskbar icon of its own";
    const auto pixels = small_icon_pixels(handle);
    ASSERT_EQ(pixels.size(), 32u * 32 * 4);
    const auto pixel = [&](int x, int y) {
        const std::uint8_t* bgra = &pixels[static_cast<std::size_t>(y * 32 + x) * 4];
        return std::array<int, 4>{bgra[2], bgra[1], bgra[0], bgra[3]};
    };
    EXPECT_EQ(pixel(0, 0), (std::array<int, 4>{0, 0, 0x40, 0xff}));
    EXPECT_EQ(pixel(5, 0), (std::array<int, 4>{40, 0, 0x40, 0xff}));
    EXPECT_EQ(pixel(0, 3), (std::array<int, 4>{0, 24, 0x40, 0xff}));
}

// Wine takes its screen's dots per inch from this value when a process starts.
class ScreenDpi {
public:
    explicit ScreenDpi(DWORD dpi) {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        DWORD size = sizeof old_;
        had_value_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) == ERROR_SUCCESS;
        RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }
    ~ScreenDpi() {
        if (had_value_) {
            RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
        } else {
            RegDeleteValueW(key_, L"LogPixels");
        }
        RegCloseKey(key_);
    }
    ScreenDpi(const ScreenDpi&) = delete;
    ScreenDpi& operator=(const ScreenDpi&) = delete;

private:
    HKEY key_ = nullptr;
    DWORD old_ = 0;
    bool had_value_ = false;
};

void run_scaled_window() {
    auto loop = must(create_event_loop(), "event loop");
    auto window = must(loop->create_window(small_window()), "window");
    RECT client{};
    GetClientRect(the_window(), &client);
    const Size outer = window->outer_size();
    say("dpi " + std::to_string(GetDpiForWindow(the_window())) + " outer " + std::to_string(outer.width) + "x" +
        std::to_string(outer.height) + " client " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
    std::exit(0);
}

TEST(Win32HostDeathTest, AtOneAndAHalfTimesTheDotsPerInchTheWindowIsOneAndAHalfTimesAsLarge) {
    // In a child started after the change: the screen's scale is fixed when a process starts.
    const ScreenDpi dpi(144);
    EXPECT_EXIT(run_scaled_window(), testing::ExitedWithCode(0), "dpi 144 outer 780x585 client 780x585\n");
}

TEST(Win32Host, MonitorIsTheWholeScreenAndTheOuterPositionLandsWhereAsked) {
    auto loop = must(create_event_loop(), "event loop");
    auto window = must(loop->create_window(small_window()), "window");
    const auto monitor = window->monitor_rect();
    ASSERT_TRUE(monitor);
    EXPECT_EQ(monitor->position, (Position{0, 0}));
    EXPECT_EQ(monitor->size, (Size{1920, 1080}));

    for (const Position target : {Position{700, 345}, Position{0, 0}, Position{-40, 1000}, Position{1500, 20}}) {
        window->set_outer_position(target);
        RECT frame{};
        ASSERT_TRUE(GetWindowRect(the_window(), &frame));
        EXPECT_EQ((Position{frame.left, frame.top}), target);
        EXPECT_EQ(window->outer_size(), (Size{520, 390})) << "moving changed the size";
    }
}

TEST(Win32Host, AWindowWithDecorationsHasTheLogicalSizeAsItsClientArea) {
    auto loop = must(create_event_loop(), "event loop");
    WindowSettings settings = small_window();
    settings.decorations = true;
    auto window = must(loop->create_window(settings), "window");
    RECT client{};
    ASSERT_TRUE(GetClientRect(the_window(), &client));
    EXPECT_EQ(client.right, 520);
    EXPECT_EQ(client.bottom, 390);
    const Size outer = window->outer_size();
    EXPECT_GT(outer.width, 520u);
    EXPECT_GT(outer.height, 390u);
}

void send_mouse(DWORD flags, int x = 0, int y = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_MOVE) {
        // Absolute positions run from 0 to 65535 across the primary screen.
        input.mi.dwFlags |= MOUSEEVENTF_ABSOLUTE;
        input.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    if (SendInput(1, &input, sizeof input) != 1) fail("the mouse input was refused");
}

// Set when the system's move loop has ended.
HANDLE move_ended() {
    static HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

LRESULT CALLBACK watch_for_move_end(int code, WPARAM wparam, LPARAM lparam) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lparam);
    if (code == HC_ACTION && message->message == WM_EXITSIZEMOVE) SetEvent(move_ended());
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// A press on the page asks for the drag; the window then follows the mouse until the button
// comes up, as if its title bar had been pressed.
void run_drag() {
    auto loop = must(create_event_loop(), "event loop");
    auto window = std::shared_ptr<Window>(must(loop->create_window(small_window()), "window"));
    window->set_outer_position({100, 100});
    const Proxy proxy = loop->proxy();
    HANDLE drag_started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetWindowsHookExW(WH_CALLWNDPROC, &watch_for_move_end, nullptr, GetCurrentThreadId());
    send_mouse(MOUSEEVENTF_MOVE, 110, 110);
    send_mouse(MOUSEEVENTF_LEFTDOWN);
    proxy.post(Drag{});
    std::thread([proxy, drag_started] {
        // Only once the drag has begun does the mouse move on and let go.
        WaitForSingleObject(drag_started, INFINITE);
        send_mouse(MOUSEEVENTF_MOVE, 310, 160);
        send_mouse(MOUSEEVENTF_LEFTUP);
        // The end is told only after the move, as the loop takes posts before mouse input. A
        // move loop that never ends shows as a window that stayed where it was.
        WaitForSingleObject(move_ended(), 60 * 1000);
        proxy.post(Close{});
    }).detach();
    loop->run([window, drag_started](LoopEvent event, ControlFlow& flow) {
        flow.set_wait();
        auto* ui = std::get_if<UiEvent>(&event);
        if (ui == nullptr) return;
        if (std::holds_alternative<Drag>(*ui)) {
            if (auto dragged = window->drag(); !dragged) fail("drag: " + dragged.error().text);
            SetEvent(drag_started);
        } else if (std::holds_alternative<Close>(*ui)) {
            RECT frame{};
            GetWindowRect(the_window(), &frame);
            say("window at " + std::to_string(frame.left) + "," + std::to_string(frame.top) + " size " +
                std::to_string(frame.right - frame.left) + "x" + std::to_string(frame.bottom - frame.top));
            flow.set_exit(0);
        }
    });
}

TEST(Win32HostDeathTest, DragMovesTheWindowWithTheMouseUntilTheButtonIsReleased) {
    EXPECT_EXIT(run_drag(), testing::ExitedWithCode(0), "window at 300,150 size 520x390\n");
}

TEST(Win32Host, DragNeedsTheMouseButtonStillHeld) {
    auto loop = must(create_event_loop(), "event loop");
    auto window = must(loop->create_window(small_window()), "window");
    // Nothing presses a button on this server: starting the system's move loop now would
    // make the window follow the mouse until the next click.
    const auto dragged = window->drag();
    ASSERT_FALSE(dragged);
    EXPECT_EQ(dragged.error().text, "the mouse button is no longer held");
}

TEST(Win32Host, APostThatCannotWakeTheLoopHandsTheEventBack) {
    auto loop = must(create_event_loop(), "event loop");
    const Proxy proxy = loop->proxy();
    // Gone with the loop: the message-only window that posts wake.
    loop.reset();
    const auto back = proxy.post(Installed{"C:\\ZARN\\zarn.exe"});
    ASSERT_TRUE(back);
    EXPECT_EQ(std::get<Installed>(*back).exe_path, "C:\\ZARN\\zarn.exe");
}

std::string prefix_of(const std::string& text, std::size_t length) { return text.substr(0, length); }

WebViewSettings page_settings(std::vector<std::string>* received = nullptr) {
    WebViewSettings settings;
    settings.html = "<!doctype html><p>\u041f\u0440\u0438\u0432\u0435\u0442</p>";
    settings.startup_script = "window.started = '\u0434\u0430';";
    settings.on_message = [received](std::string message) {
        if (received != nullptr) received->push_back(std::move(message));
    };
    return settings;
}

// The stand-in runtime, installed in a runtime folder and registered for this user as the
// runtime's installer does (in the 32-bit view), or nothing registered at all. It plays a
// browser-less runtime, failing where `mode` says.
class StandInRuntime {
public:
    explicit StandInRuntime(const wchar_t* mode, bool registered = true) {
        SetEnvironmentVariableW(L"ZARN_WEBVIEW2_STAND_IN", mode);
        unregister_all();
        if (registered) install_and_register();
        // What an earlier case left in the log is not this one's.
        if (GetModuleHandleW(dll().c_str()) != nullptr) calls();
    }
    ~StandInRuntime() {
        SetEnvironmentVariableW(L"ZARN_WEBVIEW2_STAND_IN", nullptr);
        unregister_all();
    }
    StandInRuntime(const StandInRuntime&) = delete;
    StandInRuntime& operator=(const StandInRuntime&) = delete;

    // The calls the runtime received since the last look, one a line.
    std::string calls() const {
        std::vector<wchar_t> text(65536);
        entry<void (*)(wchar_t*, int)>("zarn_fake_webview2_log")(text.data(), static_cast<int>(text.size()));
        return platform::narrow(text.data());
    }
    // A message from the page; false when nothing listens.
    bool post(const std::wstring& text, bool is_string) const {
        return entry<BOOL (*)(const wchar_t*, BOOL)>("zarn_fake_webview2_post")(text.c_str(), is_string) != FALSE;
    }

private:
    // Kept from run to run: once loaded, the DLL cannot be removed while the process lives.
    static std::wstring folder() {
        std::array<wchar_t, MAX_PATH + 1> temp{};
        GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
        return std::wstring(temp.data()) + L"zarn-stand-in-runtime\\130.0.2849.80";
    }
    static std::wstring dll() { return win32::runtime_dll_path(folder()); }

    static void install_and_register() {
        if (GetModuleHandleW(dll().c_str()) == nullptr) {
            std::wstring source;
            for (const char c : std::string(ZARN_STAND_IN_WEBVIEW2_DLL)) source += c == '/' ? L'\\' : static_cast<wchar_t>(c);
            std::filesystem::create_directories(std::filesystem::path(dll()).parent_path());
            if (!CopyFileW(source.c_str(), dll().c_str(), FALSE)) fail("the stand-in runtime could not be installed");
        }
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, win32::kRuntimeClientStateKey, 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
            fail("the stand-in runtime could not be registered");
        }
        const std::wstring value = folder();
        RegSetValueExW(key, win32::kRuntimeFolderValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    static void unregister_all() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegDeleteKeyExW(root, win32::kRuntimeClientStateKey, KEY_WOW64_32KEY, 0);
        }
    }

    template <class Function>
    static Function entry(const char* name) {
        HMODULE runtime = GetModuleHandleW(dll().c_str());
        const FARPROC address = runtime != nullptr ? GetProcAddress(runtime, name) : nullptr;
        if (address == nullptr) fail(std::string("the stand-in runtime has no ") + name);
        return std::bit_cast<Function>(address);
    }
};

TEST(Win32Host, WebViewFailsSayingTheRuntimeIsMissingOrWhichStepFailed) {
    auto loop = must(create_event_loop(), "event loop");
    auto window = must(loop->create_window(small_window()), "window");
    struct Case {
        const wchar_t* mode;
        bool registered;
        std::string text;
        std::string code;
    };
    // A loop that found no runtime looks again the next time.
    for (const auto& [mode, registered, text, code] :
         {Case{nullptr, false, "no WebView2 runtime is installed", ""},
          Case{L"environment-fails", true, "WebView2 could not start: ", "(os error 5)"},
          Case{L"controller-fails", true, "WebView2 could not make its view: ", "(os error 5)"}}) {
        const StandInRuntime runtime(mode, registered);
        const auto web_view = loop->create_web_view(*window, page_settings());
        ASSERT_FALSE(web_view);
        EXPECT_EQ(prefix_of(web_view.error().text, text.size()), text) << web_view.error().text;
        EXPECT_NE(web_view.error().text.find(code), std::string::npos) << web_view.error().text;
        if (code.empty()) {
            EXPECT_EQ(web_view.error().text, text);
        }
    }
    // The window is still there, empty, for the program to end with its message.
    EXPECT_TRUE(IsWindowVisible(the_window()));
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void pump_pending_messages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

constexpr const char* kSettingsOfThePage =
    "settings status-bar=0 dev-tools=0 zoom-control=0 pinch-zoom=0 swipe-navigation=0 context-menus=1 "
    "accelerator-keys=1 scripts=1 web-messages=1 script-dialogs=1";

TEST(Win32Host, WebViewRegistersScriptsAndMessagesBeforeThePageAndFollowsTheWindow) {
    auto loop = must(create_event_loop(), "event loop");
    auto window = must(loop->create_window(small_window()), "window");
    const StandInRuntime runtime(nullptr);
    std::vector<std::string> received;
    auto web_view = must(loop->create_web_view(*window, page_settings(&received)), "web view");

    // Every answer came through the thread's messages; the page goes last, after the scripts
    // were confirmed, so its first document already runs them.
    const auto calls = lines_of(runtime.calls());
    ASSERT_EQ(calls.size(), 15u) << runtime.calls();
    EXPECT_EQ(calls[0],
              "CreateWebViewEnvironmentWithOptionsInternal check-running-instance runtime-type 0 default-user-data "
              "default-options");
    EXPECT_EQ(calls[1], "CreateCoreWebView2Controller in \"\u041f\u0440\u043e\u0432\u0435\u0440\u043a\u0430\"");
    EXPECT_EQ(calls[2], "put_Bounds 0,0 520,390");
    EXPECT_EQ(calls[3], "add_WebMessageReceived");
    EXPECT_EQ(calls[4], "AddScriptToExecuteOnDocumentCreated if (window === window.top) {");
    EXPECT_NE(calls[5].find("Object.defineProperty(window, 'ipc'"), std::string::npos) << calls[5];
    EXPECT_NE(calls[5].find("window.chrome.webview.postMessage(String(message))"), std::string::npos) << calls[5];
    EXPECT_EQ(calls[6], "}");
    EXPECT_EQ(calls[7], "script added");
    EXPECT_EQ(calls[8], "AddScriptToExecuteOnDocumentCreated if (window === window.top) {");
    EXPECT_EQ(calls[9], "window.started = '\u0434\u0430';");
    EXPECT_EQ(calls[10], "}");
    EXPECT_EQ(calls[11], "script added");
    // No status bar, developer tools or zooming of any kind; the context menu and the other
    // browser keys as they were.
    EXPECT_EQ(calls[12], kSettingsOfThePage);
    EXPECT_EQ(calls[13], "NavigateToString <!doctype html><p>\u041f\u0440\u0438\u0432\u0435\u0442</p>");
    // The keyboard goes on to the page, which now fills the focused window.
    EXPECT_EQ(calls[14], "MoveFocus 0");

    // The page's texts reach the handler as UTF-8; anything but a string is passed over.
    ASSERT_TRUE(runtime.post(L"{\"cmd\":\"\u043f\u0443\u0441\u043a\"}", true));
    ASSERT_TRUE(runtime.post(L"{}", false));
    EXPECT_EQ(received, (std::vector<std::string>{"{\"cmd\":\"\u043f\u0443\u0441\u043a\"}"}));

    // A script is handed over without waiting for its completion, which comes later.
    ASSERT_TRUE(web_view->run_script("window.__zarnInstallerSetDir && window.__zarnInstallerSetDir('C:\\\\\u0414');"));
    EXPECT_EQ(runtime.calls(),
              "ExecuteScript window.__zarnInstallerSetDir && window.__zarnInstallerSetDir('C:\\\\\u0414');\n");
    pump_pending_messages();

    // The view follows the client area.
    SetWindowPos(the_window(), nullptr, 0, 0, 600, 400, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(runtime.calls(), "put_Bounds 0,0 600,400\n");

    // Let go of: the page's messages stop and the view is closed.
    web_view.reset();
    EXPECT_EQ(runtime.calls(), "remove_WebMessageReceived 17\nClose\n");
    EXPECT_FALSE(runtime.post(L"late", true));
    EXPECT_TRUE(received.size() == 1);
}

TEST(Win32Host, ARuntimeWithoutTheLaterSettingsStillGetsTheFirstOnesAndShowsThePage) {
    auto loop = must(create_event_loop(), "event loop");
    auto window = must(loop->create_window(small_window()), "window");
    const StandInRuntime runtime(L"first-settings-only");
    auto web_view = must(loop->create_web_view(*window, page_settings()), "web view");
    const auto calls = lines_of(runtime.calls());
    ASSERT_EQ(calls.size(), 15u) << runtime.calls();
    EXPECT_EQ(calls[12],
              "settings status-bar=0 dev-tools=0 zoom-control=0 pinch-zoom=1 swipe-navigation=1 context-menus=1 "
              "accelerator-keys=1 scripts=1 web-messages=1 script-dialogs=1");
    EXPECT_EQ(calls[13].substr(0, 17), "NavigateToString ");
}

// What the handler of the queue test owns; it tells when it is let go of.
struct QueueState {
    explicit QueueState(Proxy loop_proxy) : proxy(std::move(loop_proxy)) {}
    ~QueueState() {
        say("state released");
        if (proxy.post(Close{})) say("post after the end handed back");
    }
    Proxy proxy;
    std::map<std::string, int> next;  // each posting thread's next number
    bool workers_started = false;
};

constexpr int kWorkers = 3;
constexpr int kPerWorker = 250;

void run_queue_order() {
    auto loop = must(create_event_loop(), "event loop");
    const Proxy proxy = loop->proxy();
    // Posted before the loop runs, from this thread and from another one.
    proxy.post(Progress{"main", 0, "", ""});
    std::thread([proxy] {
        for (std::uint8_t n = 0; n < 3; ++n) proxy.post(Progress{"early", n, "", ""});
    }).join();

    auto state = std::make_unique<QueueState>(proxy);
    loop->run([state = std::shared_ptr<QueueState>(std::move(state))](LoopEvent event, ControlFlow& flow) {
        flow.set_wait();
        auto* ui = std::get_if<UiEvent>(&event);
        if (ui == nullptr) return;
        if (!state->workers_started) {
            // Posted while the loop runs, from several threads at once; the last post comes
            // after all of theirs.
            state->workers_started = true;
            std::thread([proxy = state->proxy] {
                std::vector<std::thread> workers;
                for (int w = 0; w < kWorkers; ++w) {
                    workers.emplace_back([proxy, w] {
                        for (int n = 0; n < kPerWorker; ++n) {
                            proxy.post(Progress{"worker" + std::to_string(w), static_cast<std::uint8_t>(n % 256), "", ""});
                        }
                    });
                }
                for (auto& worker : workers) worker.join();
                proxy.post(Close{});
            }).detach();
        }
        if (auto* progress = std::get_if<Progress>(ui)) {
            int& expected = state->next[progress->step];
            if (progress->pct != expected % 256) {
                fail(progress->step + ": expected " + std::to_string(expected) + ", got " + std::to_string(progress->pct));
            }
            ++expected;
        } else if (std::holds_alternative<Close>(*ui)) {
            std::string tally;
            for (const auto& [step, count] : state->next) tally += step + "=" + std::to_string(count) + " ";
            say("delivered " + tally);
            flow.set_exit(0);
            // Kept once set, whatever a later event writes.
            flow.set_wait();
        }
    });
}

TEST(Win32HostDeathTest, PostedEventsArriveOnceEachInEachThreadsOrderAndLaterPostsComeBack) {
    EXPECT_EXIT(run_queue_order(), testing::ExitedWithCode(0),
                "delivered early=3 main=1 worker0=250 worker1=250 worker2=250 \nstate released\n"
                "post after the end handed back\n");
}

void run_close_request() {
    auto loop = must(create_event_loop(), "event loop");
    auto window = std::shared_ptr<Window>(must(loop->create_window(small_window()), "window"));
    // What Alt+F4 or the taskbar's "Close window" sends.
    PostMessageW(the_window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    // Closing mid-install leaves workers running inside their libraries; the exit-time clean-up
    // of those libraries (here a stand-in that spoils the status) must not run under them.
    std::atexit([] { std::_Exit(9); });
    int closes = 0;
    loop->run([window, closes](LoopEvent event, ControlFlow& flow) mutable {
        flow.set_wait();
        if (!std::holds_alternative<CloseRequested>(event)) return;
        ++closes;
        const bool still_there = IsWindowVisible(the_window()) != FALSE;
        say(still_there ? "window still there" : "window gone");
        flow.set_exit(closes == 1 && still_there ? 7 : 3);
    });
}

TEST(Win32HostDeathTest, CloseRequestReachesTheHandlerWhileTheWindowStays) {
    EXPECT_EXIT(run_close_request(), testing::ExitedWithCode(7), "window still there");
}

}  // namespace
}  // namespace zarn::toolkit

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
