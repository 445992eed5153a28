// Window handles in place of the platform's window manager: a tree of windows with their
// rectangles, visibility, regions and the z-order of top-level windows in two bands (topmost
// above normal); per thread the active window, the focus, the mouse capture and the thread
// timers; the cursor position and the window under a point. Real windows (the Qt bridge in
// qt_window.h) attach to it and follow its topmost changes; tests drive it alone, with
// synthetic input and a fake clock.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdi/gdi.h"

namespace platform::window {

using Hwnd = std::uint32_t;  // 0 is no window
using gdi::Point;
using gdi::Rect;

// What a real window does when the tree changes it.
class NativeWindow {
  public:
    virtual ~NativeWindow() = default;
    virtual void setTopmost(bool on) = 0;
};

// A window in the calling thread. `rect` is in the parent's client coordinates (the screen's
// for a top-level window). A new top-level window goes to the top of the normal band, a new
// child above its siblings. Windows start visible and enabled.
Hwnd createWindow(Hwnd parent, const Rect& rect, std::u16string name = {});
// Destroys the window and its children; their focus, capture and activity end with them.
void destroyWindow(Hwnd hwnd);
bool isWindow(Hwnd hwnd);
Hwnd parentOf(Hwnd hwnd);
Hwnd topLevelOf(Hwnd hwnd);
std::vector<Hwnd> childrenOf(Hwnd hwnd);  // in creation order
std::u16string nameOf(Hwnd hwnd);

void setVisible(Hwnd hwnd, bool on);
// Visible itself and all its ancestors.
bool isVisible(Hwnd hwnd);
void setEnabled(Hwnd hwnd, bool on);
bool isEnabled(Hwnd hwnd);
void moveWindow(Hwnd hwnd, const Rect& rect);
Rect windowRect(Hwnd hwnd);  // in the parent's coordinates
Rect screenRect(Hwnd hwnd);

// The window's region in its own coordinates: the window takes it and owns it; nullopt shows
// the whole rectangle again.
void setWindowRegion(Hwnd hwnd, std::optional<gdi::Region> region);
const gdi::Region* windowRegion(Hwnd hwnd);

// The one topmost switch: on puts a top-level window at the top of the topmost band; off takes
// a topmost window out of the band and puts it above all normal windows, and leaves a normal
// window where it is. Neither moves, resizes, shows or activates the window. False when the
// handle is no top-level window.
bool setWindowTopmost(Hwnd hwnd, bool on);
bool isTopmost(Hwnd hwnd);
// Top-level windows, the top one first.
std::vector<Hwnd> zOrder();
// Puts the window at the top of its band.
void bringToTop(Hwnd hwnd);

// The active window of the calling thread (a top-level window of that thread).
Hwnd activeWindow();
// Activates a top-level window of the calling thread (0 for none); returns the previous one.
Hwnd setActiveWindow(Hwnd hwnd);

void setCursorPos(Point p);
Point cursorPos();
// The deepest visible window whose rectangle and region contain the screen point, searching
// top-level windows from the top of the z-order and children from the top.
Hwnd windowFromPoint(Point p);

// Mouse capture of the calling thread.
Hwnd setCapture(Hwnd hwnd);
void releaseCapture();
Hwnd capture();

// Keyboard focus of the calling thread. Listeners hear (lost, gained) on every change.
Hwnd setFocus(Hwnd hwnd);
Hwnd focus();
using FocusListener = std::function<void(Hwnd lost, Hwnd gained)>;
int addFocusListener(FocusListener listener);
void removeFocusListener(int id);

// Tab order: windows with a tab stop, by tab index then creation order, among the visible and
// enabled descendants of one top-level window.
void setTabStop(Hwnd hwnd, bool on, int tabIndex = 0);
// The next (or previous) tab stop after `from` in its top-level window, wrapping around; 0 when
// there is none.
Hwnd nextTabStop(Hwnd from, bool previous);

// Thread timers on the thread's clock. The clock only moves by advanceClock (tests, or the Qt
// bridge's pump with real time); due timers run in order of their due time.
using TimerProc = std::function<void()>;
unsigned setTimer(unsigned intervalMs, TimerProc proc);
void killTimer(unsigned id);
void advanceClock(std::int64_t ms);
std::int64_t clockNow();

// Gives a window a real counterpart that follows its topmost state.
void setNative(Hwnd hwnd, std::shared_ptr<NativeWindow> native);

// Window procedures. A window starts with none, which answers every message with 0. Messages
// are sent on the caller's thread; the procedure is called outside the tree's lock, so it may
// change the tree, its own procedure and its properties.
using Message = std::uint32_t;
constexpr Message kNcDestroy = 0x0082;  // the last message a window receives, children first
using WindowProc =
    std::function<std::int32_t(Hwnd hwnd, Message msg, std::int32_t wParam, std::int32_t lParam)>;
// Replaces the window's procedure, handing back the one it had; false when there is no window.
bool setWindowProc(Hwnd hwnd, WindowProc proc, WindowProc* previous = nullptr);
WindowProc windowProc(Hwnd hwnd);
// Runs a procedure (an empty one answers 0).
std::int32_t callWindowProc(const WindowProc& proc, Hwnd hwnd, Message msg, std::int32_t wParam,
                            std::int32_t lParam);
// Runs the window's current procedure; 0 when there is no window.
std::int32_t sendMessage(Hwnd hwnd, Message msg, std::int32_t wParam = 0, std::int32_t lParam = 0);

// Named properties of a window, any value; they go with the window. setProp is false when
// there is no window; getProp and removeProp answer an empty value for a missing property.
bool setProp(Hwnd hwnd, std::string_view key, std::any value);
std::any getProp(Hwnd hwnd, std::string_view key);
std::any removeProp(Hwnd hwnd, std::string_view key);
// The names of the window's properties, in order.
std::vector<std::string> propNames(Hwnd hwnd);

// The process that owns the window (0 for no window), and the calling process.
std::uint32_t windowProcessId(Hwnd hwnd);
std::uint32_t currentProcessId();
// Makes a window stand for one of another process (tests).
void setWindowProcessForTests(Hwnd hwnd, std::uint32_t processId);
// While on, setTimer on the calling thread fails and answers 0 (tests).
void failTimersForTests(bool on);

// Forgets every window and the calling thread's state (tests).
void resetForTests();

}  // namespace platform::window
