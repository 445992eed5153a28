// The keyboard lock of a kiosk: a keyboard hook that swallows the keys that would leave the
// running program, empties the clipboard at every key event, and raises an exit request the
// program polls.
#include "platform/window/keyboard.h"
#include "platform/window/virtual_keys.h"
#include "privileged/kestrum.h"

#include <vector>

namespace kestrum {

namespace win = platform::window;

namespace {

using win::letterKey;
using win::VK_APPS, win::VK_CONTROL, win::VK_DECIMAL, win::VK_ESCAPE, win::VK_F1, win::VK_F3,
    win::VK_F4, win::VK_F5, win::VK_F12, win::VK_LWIN, win::VK_MENU, win::VK_NUMPAD3,
    win::VK_NUMPAD6, win::VK_SHIFT, win::VK_SNAPSHOT;

// One copy per thread: the hook runs on the thread that installed it and reads its flags.
struct LockState {
    win::HookHandle hook = 0;
    bool ctrlP = false, passAll = false, printOnly = false, escapeExit = false, exitKey = false;
    win::KeyEvent last;
};

LockState& state() {
    thread_local LockState s;
    return s;
}

bool down(std::uint32_t vk) {
    return (win::keyState(vk) & 0x8000) != 0;
}

bool filtered(const win::KeyEvent& e) {
    const std::uint32_t vk = e.vkCode;
    const bool ctrl = down(VK_CONTROL);
    if (vk == VK_MENU || vk == VK_SNAPSHOT || vk == VK_LWIN || vk == VK_APPS) return true;
    if ((vk >= VK_F1 && vk <= VK_F3) || (vk >= VK_F5 && vk <= VK_F12)) return true;
    if (ctrl && (vk == letterKey('N') || vk == VK_DECIMAL || vk == letterKey('C') ||
                 vk == VK_NUMPAD3 || vk == VK_ESCAPE || vk == letterKey('F') || vk == VK_NUMPAD6))
        return true;
    return (e.flags & win::LLKHF_ALTDOWN) != 0;
}

// The exit rules for an event that passes: answers true to swallow it (F4).
bool exitKeys(LockState& s, const win::KeyEvent& e, bool locked) {
    // Shift counts only while held down: a toggled Shift must not turn Ctrl into an exit.
    if (e.vkCode == VK_ESCAPE) {
        s.exitKey = s.escapeExit;
    } else if (down(VK_CONTROL) && down(VK_SHIFT)) {
        s.exitKey = true;
    } else if (locked && e.vkCode == VK_F4) {
        s.exitKey = true;
        return true;
    }
    return false;
}

bool hookProc(const win::KeyEvent& e) {
    LockState& s = state();
    if (s.passAll) return false;
    win::emptyClipboard();
    s.ctrlP = false;
    if (e.code != 0 || (e.message != win::WM_KEYDOWN && e.message != win::WM_KEYUP &&
                        e.message != win::WM_SYSKEYDOWN && e.message != win::WM_SYSKEYUP))
        return false;
    s.last = e;
    if (s.printOnly) {
        exitKeys(s, e, false);
        return false;
    }
    if (filtered(e)) return true;
    // P with Ctrl held is recorded for the program to print; like every flag of the hook it
    // lasts until the next key event.
    if (e.vkCode == letterKey('P') && down(VK_CONTROL)) s.ctrlP = true;
    return exitKeys(s, e, true);
}

// What the hook swallows in its present mode, for a desktop that must take these keys away
// from other programs: the locked filter and F4; nothing in print-only or pass-all mode.
std::vector<win::SwallowedKey> swallowedKeys(const LockState& s) {
    if (s.passAll || s.printOnly) return {};
    std::vector<win::SwallowedKey> keys;
    for (std::uint32_t vk : {VK_SNAPSHOT, VK_LWIN, VK_APPS}) keys.push_back({vk});
    for (std::uint32_t vk = VK_F1; vk <= VK_F12; ++vk)
        keys.push_back({vk, false, false, vk == VK_F4});
    for (std::uint32_t vk : {letterKey('N'), VK_DECIMAL, letterKey('C'), VK_NUMPAD3, VK_ESCAPE,
                             letterKey('F'), VK_NUMPAD6})
        keys.push_back({vk, true});
    keys.push_back({0, false, true});  // any key with Alt held
    return keys;
}

void updateSwallowed() {
    if (state().hook != 0) win::setSwallowedKeys(swallowedKeys(state()));
}

}  // namespace

void lockKeyboard(bool lock) {
    LockState& s = state();
    if (lock) {
        if (s.hook != 0) return;  // already locked: one hook, which unlocking can remove
        s.hook = win::installKeyboardHook(hookProc);
        updateSwallowed();
    } else if (s.hook != 0) {
        win::removeKeyboardHook(s.hook);
        s.hook = 0;
    }
}

void setPassAll(bool v) {
    state().passAll = v;
    updateSwallowed();
}
void setPrintOnly(bool v) {
    state().printOnly = v;
    updateSwallowed();
}
void setEscapeExit(bool v) {
    state().escapeExit = v;
}
void setExitKey(bool v) {
    state().exitKey = v;
}
bool ctrlPFlag() {
    return state().ctrlP;
}
bool exitKeyFlag() {
    return state().exitKey;
}
bool keyboardLocked() {
    return state().hook != 0;
}

}  // namespace kestrum
