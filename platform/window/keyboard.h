// The low-level keyboard hook of a desktop session, the keys' state and the clipboard, as the
// calling thread sees them.
//
// Hooks run on the thread that installed them, newest first, for every key event delivered to
// that thread; a hook that swallows an event stops it there. Events come from deliverKeyEvent:
// tests call it with synthetic events, and a desktop backend would call it from the installing
// thread's message loop. Such a backend needs a grab of the keyboard devices: evdev with
// EVIOCGRAB and a uinput device to re-emit the keys that pass (root, or membership of the input
// group), or an X11 keyboard grab in an X session. Wayland offers an unprivileged client none
// of these, so no backend is built here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

// Forgets the calling thread's hooks, key state and clipboard (tests).
void resetKeyboardForTests();

}  // namespace platform::window
