// Two window helpers of the printer dialogs: keep a window above others (or not), and confine
// the mouse cursor to a window. They act through the window operations a host supplies.
#pragma once

#include <cstdint>

namespace vistrel {

// Window handles as the host's window layer numbers them.
using WindowHandle = std::intptr_t;

struct WindowRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const WindowRect&) const = default;
};

struct WindowPoint {
    std::int32_t x = 0, y = 0;
};

// Insert-after places of SetWindowPos.
inline constexpr WindowHandle HWND_TOP = 0;
inline constexpr WindowHandle HWND_TOPMOST = -1;
inline constexpr WindowHandle HWND_NOTOPMOST = -2;
// No size, no move, no activation, show the window.
inline constexpr std::uint32_t kTopmostPositionFlags = 0x53;

// What the helpers need of the window layer.
class WindowOperations {
  public:
    virtual ~WindowOperations() = default;
    virtual void SetFocus(WindowHandle window) = 0;
    virtual bool SetWindowPos(WindowHandle window, WindowHandle insertAfter, std::int32_t x,
                              std::int32_t y, std::int32_t cx, std::int32_t cy,
                              std::uint32_t flags) = 0;
    virtual bool GetClientRect(WindowHandle window, WindowRect& rect) = 0;
    virtual bool ClientToScreen(WindowHandle window, WindowPoint& point) = 0;
    // nullptr releases the cursor.
    virtual bool ClipCursor(const WindowRect* rect) = 0;
};

// The flag follows the runtime's Booleans: -1 (True) topmost, 0 (False) not topmost, any other
// value the top of the order without the topmost style.
void SetWindowTopmost(WindowOperations& windows, WindowHandle window, std::int16_t topmost);

// Only while IsPrintOnly and UseIntranet are off and this thread's CursorLock is on; otherwise
// False at once. Window 0 releases the cursor; any other window confines it to the window's
// client area on the screen. The result is the success of the confinement.
bool ClipCursorToWindow(WindowOperations& windows, WindowHandle window);

}  // namespace vistrel
