#include "viewer/selection/window_helpers.h"

#include "viewer/state/module_state.h"

namespace vistrel {

void SetWindowTopmost(WindowOperations& windows, WindowHandle window, std::int16_t topmost) {
    const WindowHandle after = topmost == -1  ? HWND_TOPMOST
                               : topmost == 0 ? HWND_NOTOPMOST
                                              : HWND_TOP;
    windows.SetFocus(window);
    windows.SetWindowPos(window, after, 0, 0, 0, 0, kTopmostPositionFlags);
}

bool ClipCursorToWindow(WindowOperations& windows, WindowHandle window) {
    const auto& state = moduleState();
    if (state.print.IsPrintOnly || state.print.UseIntranet || !state.lists.CursorLock) return false;
    if (window == 0) return windows.ClipCursor(nullptr);
    WindowRect rect;
    if (!windows.GetClientRect(window, rect)) return false;
    WindowPoint corner{rect.left, rect.top};
    if (!windows.ClientToScreen(window, corner)) return false;
    rect.left = corner.x;
    rect.top = corner.y;
    rect.right += rect.left;
    rect.bottom += rect.top;
    return windows.ClipCursor(&rect);
}

}  // namespace vistrel
