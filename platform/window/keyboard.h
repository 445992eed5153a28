// The low-level keyboard hook of a desktop session, the keys' state and the clipboard, as the
// calling thread sees them.
//
// Hooks run on the thread that installed them, newest first, for every key event delivered to
// that thread; a hook that swallows an event stops it there. Events come from deliverKeyEvent:
// tests call it with synthetic events, and a desktop backend calls it from the installing
// thread's message loop.
//
// The one desktop backend is X11, used when the thread's program runs on Qt's xcb platform
// (keyboardBackend() tells): while the thread has hooks, a connection of its own to the display
// grabs the keys the hooks swallow (setSwallowedKeys) on the root window, with and without the
// lock modifiers, observes every key event of the display and delivers it to the hooks, and
// emptying the clipboard gives up the display's CLIPBOARD and PRIMARY selections. Its events
// are read by pumpDesktopKeyboard, which the thread's message loop runs (the Qt bridge does it
// on its own loop). A key that another client (a window manager) has grabbed already stays
// with that client; the keyboard log says so. A display that does not answer within a few
// seconds (connecting, its set-up or any later round trip), or that goes away while the hooks
// sit on it, is let go and the hooks go on with the simulated session; the log says so once.
// Offscreen, minimal and Wayland programs keep the simulated session: Wayland offers an
// unprivileged client no global grab.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::window {

constexpr std::uint32_t WM_KEYDOWN = 0x100, WM_KEYUP = 0x101, WM_SYSKEYDOWN = 0x104,
                        WM_SYSKEYUP = 0x105;
constexpr std::uint32_t LLKHF_ALTDOWN = 0x20;

// One event as the hook sees it: the hook code, the message and the key record.
struct KeyEvent {
    int code = 0;  // 0: an action to act on
    std::uint32_t message = WM_KEYDOWN;
    std::uint32_t vkCode = 0, scanCode = 0, flags = 0, time = 0;
    std::uintptr_t extraInfo = 0;
};

// Answers true to swallow the event.
using KeyboardHook = std::function<bool(const KeyEvent&)>;
using HookHandle = std::uint32_t;  // 0 is no hook

HookHandle installKeyboardHook(KeyboardHook hook);
// False when the handle names no hook of the calling thread.
bool removeKeyboardHook(HookHandle handle);
// The number of hooks the calling thread has installed.
int keyboardHookCount();

// Delivers an event to the calling thread's hooks and updates the key state from it (a key
// goes down on WM_KEYDOWN/WM_SYSKEYDOWN, up on the key-up messages). True when a hook
// swallowed it.
bool deliverKeyEvent(const KeyEvent& event);

// The state of a virtual key as GetKeyState answers it: 0x8000 while the key is down, 0x1 when
// it is toggled (each press flips it). VK_CONTROL (0x11) and VK_SHIFT (0x10) follow their left
// and right keys too.
std::uint16_t keyState(std::uint32_t vk);
// Sets a key's down state directly (as if pressed or released outside the hooks' sight).
void setKeyDown(std::uint32_t vk, bool down);

// The clipboard's text; emptying it clears the text and counts the call.
void setClipboardText(std::u16string text);
std::u16string clipboardText();
void emptyClipboard();
unsigned clipboardEmptyCount();

// A key the thread's hooks swallow: the virtual key (0: every key) with the modifiers that must
// be down with it.
struct SwallowedKey {
    std::uint32_t vk = 0;
    bool ctrl = false;
    bool alt = false;
    bool unlessCtrlShift = false;  // passes while Ctrl and Shift are both down
};
// Tells the desktop backend what the thread's hooks swallow now (they decide anew at every
// event; this is what must never reach another client). Kept while the thread has hooks.
void setSwallowedKeys(std::vector<SwallowedKey> keys);

// "x11" while the calling thread's hooks sit on a real X11 display, else "simulated".
std::string keyboardBackend();
// Whether hooks installed now would go to an X11 display: the program runs on Qt's xcb
// platform (QT_QPA_PLATFORM names xcb first, or is unset outside a Wayland session, with a
// DISPLAY to connect to).
bool desktopIsX11();
// Reads the display's pending key events and delivers them to the thread's hooks (nothing
// without a desktop backend); with sync, after a round trip to the display. The number of key
// events delivered.
int pumpDesktopKeyboard(bool sync = false);
// The descriptor that becomes readable when the display has sent events, -1 without a desktop
// backend; a message loop that is no Qt loop waits on it and then runs pumpDesktopKeyboard.
int desktopKeyboardFd();
// Where the keyboard's notes go (a grab another client holds, a display that cannot be
// reached); default: standard error, prefixed "[keyboard] ".
void setKeyboardLog(std::function<void(const std::string&)> log);
// A message loop that wants to run pumpDesktopKeyboard itself: called with true when the
// calling thread gets a desktop backend, false when it goes (the Qt bridge installs one).
void setDesktopKeyboardWatcher(std::function<void(bool on)> watcher);

// Forgets the calling thread's hooks, key state and clipboard (tests).
void resetKeyboardForTests();

}  // namespace platform::window
