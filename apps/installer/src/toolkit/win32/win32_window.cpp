#include <windows.h>
#include <dwmapi.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/os_error.h"
#include "platform/win32/wide.h"
#include "toolkit/win32/win32_backend.h"

namespace zarn::toolkit::win32 {
namespace {

constexpr double kBaseDpi = 96.0;

DWORD window_style(const WindowSettings& settings) {
    // Keeping the caption in the style, even without a visible frame, gives the window its
    // taskbar button, its system menu and DWM's drop shadow.
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    if (settings.resizable) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
    return style;
}

LONG device_pixels(double logical, UINT dpi) { return static_cast<LONG>(std::lround(logical * dpi / kBaseDpi)); }

// The outer size whose client area is the logical size at this DPI. Without decorations the
// client area is the whole window.
SIZE outer_size_for(const WindowSettings& settings, DWORD style, UINT dpi) {
    RECT rect{0, 0, device_pixels(settings.logical_width, dpi), device_pixels(settings.logical_height, dpi)};
    if (settings.decorations) AdjustWindowRectExForDpi(&rect, style, FALSE, 0, dpi);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

Win32SetupWindow::Win32SetupWindow(std::weak_ptr<LoopCore> core, bool borderless)
    : core_(std::move(core)), borderless_(borderless) {}

Win32SetupWindow::~Win32SetupWindow() {
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (icon_ != nullptr) DestroyIcon(icon_);
}

Result<void> Win32SetupWindow::create(const WindowSettings& settings) {
    const DWORD style = window_style(settings);
    const UINT system_dpi = GetDpiForSystem();
    const SIZE initial = outer_size_for(settings, style, system_dpi);
    // The window is known to its procedure from WM_NCCREATE on, before its frame is computed.
    window_ = CreateWindowExW(0, kWindowClass, platform::widen(settings.title).c_str(), style, CW_USEDEFAULT,
                              CW_USEDEFAULT, initial.cx, initial.cy, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) return unexpected(platform::last_os_error());

    // The system may have placed it on a monitor of another scale than the primary one.
    if (const UINT dpi = GetDpiForWindow(window_); dpi != 0 && dpi != system_dpi) {
        const SIZE scaled = outer_size_for(settings, style, dpi);
        SetWindowPos(window_, nullptr, 0, 0, scaled.cx, scaled.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (borderless_) {
        // A one-pixel sheet of frame is enough for DWM to draw the shadow; the page covers it.
        const MARGINS margins{1, 1, 1, 1};
        DwmExtendFrameIntoClientArea(window_, &margins);
    }
    if (settings.icon) {
        icon_ = icon_from_rgba(*settings.icon);
        // The title bar's icon only: the taskbar keeps the program file's own.
        if (icon_ != nullptr) SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    }
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    return {};
}

LRESULT CALLBACK Win32SetupWindow::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32SetupWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    return self->handle_message(window, message, wparam, lparam);
}

LRESULT Win32SetupWindow::handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_NCCALCSIZE:
        // No frame: the client area is the whole window, in both forms of the question.
        if (borderless_) return 0;
        break;
    case WM_CLOSE:
        if (const auto core = core_.lock()) core->deliver(CloseRequested{});
        // The window stays until the handler's state lets go of it.
        return 0;
    case WM_SIZE:
        if (const auto view = web_view_.lock()) view->fit_to(window);
        break;
    case WM_MOVE:
        if (const auto view = web_view_.lock()) view->parent_moved();
        break;
    case WM_SETFOCUS:
        if (const auto view = web_view_.lock()) view->take_focus();
        return 0;
    case WM_DPICHANGED: {
        // Keeps the logical size when the window moves to a monitor of another scale.
        const auto* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

Result<void> Win32SetupWindow::drag() {
    // The page asks for the drag on a press; if the button is already up, the system's move
    // loop would follow the mouse until the next click.
    const int primary = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    if ((GetAsyncKeyState(primary) & 0x8000) == 0) return unexpected(Error{"the mouse button is no longer held"});
    POINT cursor{};
    if (!GetCursorPos(&cursor)) return unexpected(platform::last_os_error());
    // The page's web view holds the mouse; the move loop needs it back.
    ReleaseCapture();
    // As if the press had landed on a title bar.
    if (!PostMessageW(window_, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(cursor.x, cursor.y))) {
        return unexpected(platform::last_os_error());
    }
    return {};
}

std::optional<Rect> Win32SetupWindow::monitor_rect() const {
    HMONITOR monitor = MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return std::nullopt;
    const RECT& area = info.rcMonitor;
    return Rect{{area.left, area.top},
                {static_cast<std::uint32_t>(area.right - area.left), static_cast<std::uint32_t>(area.bottom - area.top)}};
}

Size Win32SetupWindow::outer_size() const {
    RECT rect{};
    if (!GetWindowRect(window_, &rect)) return {};
    return {static_cast<std::uint32_t>(rect.right - rect.left), static_cast<std::uint32_t>(rect.bottom - rect.top)};
}

void Win32SetupWindow::set_outer_position(Position position) {
    SetWindowPos(window_, nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HICON icon_from_rgba(const Icon& icon) {
    const std::size_t pixels = std::size_t{icon.width} * icon.height;
    if (icon.width == 0 || icon.height == 0 || icon.rgba.size() != pixels * 4) return nullptr;
    // Colour rows in blue, green, red, alpha; a monochrome mask beside them, its rows padded to
    // 16 bits, marks the fully transparent pixels for whatever ignores alpha.
    const std::size_t mask_row = (std::size_t{icon.width} + 15) / 16 * 2;
    std::vector<std::uint8_t> colour(icon.rgba.size());
    std::vector<std::uint8_t> mask(mask_row * icon.height, 0);
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* rgba = &icon.rgba[i * 4];
        std::uint8_t* bgra = &colour[i * 4];
        bgra[0] = rgba[2];
        bgra[1] = rgba[1];
        bgra[2] = rgba[0];
        bgra[3] = rgba[3];
        if (rgba[3] == 0) {
            const std::size_t x = i % icon.width;
            const std::size_t y = i / icon.width;
            mask[y * mask_row + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    return CreateIcon(GetModuleHandleW(nullptr), static_cast<int>(icon.width), static_cast<int>(icon.height), 1, 32,
                      mask.data(), colour.data());
}

}  // namespace zarn::toolkit::win32
