#include "viewer/selection/platform_windows.h"

#include "platform/window/window.h"

namespace vistrel {

namespace {

namespace win = platform::window;

win::Hwnd hwndOf(WindowHandle window) {
    return window > 0 && window <= WindowHandle(UINT32_MAX) ? static_cast<win::Hwnd>(window) : 0;
}

}  // namespace

void PlatformWindows::SetFocus(WindowHandle window) {
    if (const win::Hwnd h = hwndOf(window); win::isWindow(h)) win::setFocus(h);
}

bool PlatformWindows::SetWindowPos(WindowHandle window, WindowHandle insertAfter, std::int32_t,
                                   std::int32_t, std::int32_t, std::int32_t, std::uint32_t) {
    const win::Hwnd h = hwndOf(window);
    if (!win::isWindow(h)) return false;
    if (insertAfter == HWND_TOPMOST) return win::setWindowTopmost(h, true);
    if (insertAfter == HWND_NOTOPMOST) return win::setWindowTopmost(h, false);
    win::bringToTop(h);
    return true;
}

bool PlatformWindows::GetClientRect(WindowHandle window, WindowRect& rect) {
    const win::Hwnd h = hwndOf(window);
    if (!win::isWindow(h)) return false;
    const auto r = win::windowRect(h);
    rect = {0, 0, r.width(), r.bottom - r.top};
    return true;
}

bool PlatformWindows::ClientToScreen(WindowHandle window, WindowPoint& point) {
    const win::Hwnd h = hwndOf(window);
    if (!win::isWindow(h)) return false;
    const auto r = win::screenRect(h);
    point.x += r.left;
    point.y += r.top;
    return true;
}

bool PlatformWindows::ClipCursor(const WindowRect*) {
    return false;
}

}  // namespace vistrel
