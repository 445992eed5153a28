// What other programs' windows look like from here: the process that owns a window, the
// desktop window, and the show, foreground and focus requests one program makes of another's
// window. Windows of the tree belong to this process unless a test says otherwise; the requests
// are recorded so they can be looked at.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/window/window.h"

namespace platform::window {

// The desktop window: no window of the tree, owned by the process setWindowProcessForTests
// names (windowProcessId answers 0 until then).
Hwnd desktopWindow();

// ShowWindow: show command 0 hides the window, any other shows it.
void showWindow(Hwnd hwnd, int command);
// Puts the window at the top and makes it the active window.
void setForegroundWindow(Hwnd hwnd);

struct WindowRequest {
    std::string call;  // "show", "foreground" or "focus"
    Hwnd hwnd = 0;
    int command = 0;  // the show command of "show"
    bool operator==(const WindowRequest&) const = default;
};
// The requests made since the last call (show, foreground, focus).
std::vector<WindowRequest> takeWindowRequests();
// SetFocus of another program's window: recorded, and the focus moves when the window is ours.
void focusWindow(Hwnd hwnd);

}  // namespace platform::window
