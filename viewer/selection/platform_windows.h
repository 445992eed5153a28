// The window helpers' operations over the platform's window layer (platform::window), for the
// library's own forms: handles are the layer's handles.
#pragma once

#include "viewer/selection/window_helpers.h"

namespace vistrel {

class PlatformWindows : public WindowOperations {
  public:
    void SetFocus(WindowHandle window) override;
    // Only the z-order of the window changes (the layer neither moves, sizes nor activates a
    // window for a topmost change).
    bool SetWindowPos(WindowHandle window, WindowHandle insertAfter, std::int32_t x, std::int32_t y,
                      std::int32_t cx, std::int32_t cy, std::uint32_t flags) override;
    bool GetClientRect(WindowHandle window, WindowRect& rect) override;
    bool ClientToScreen(WindowHandle window, WindowPoint& point) override;
    // The layer cannot confine the cursor: always False.
    bool ClipCursor(const WindowRect* rect) override;
};

}  // namespace vistrel
