#include "platform/window/keyboard.h"

#include <map>
#include <vector>

namespace platform::window {

namespace {

constexpr std::uint32_t VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12;

struct KeyboardState {
    std::vector<std::pair<HookHandle, KeyboardHook>> hooks;  // oldest first
    std::map<std::uint32_t, std::uint16_t> keys;
    std::u16string clipboard;
    unsigned emptied = 0;
};

KeyboardState& state() {
    thread_local KeyboardState s;
    return s;
}

HookHandle nextHandle() {
    static std::uint32_t next = 0x10000;
    return ++next;
}

// The generic key a left or right key also moves.
std::uint32_t genericOf(std::uint32_t vk) {
    if (vk == 0xA0 || vk == 0xA1) return VK_SHIFT;
    if (vk == 0xA2 || vk == 0xA3) return VK_CONTROL;
    if (vk == 0xA4 || vk == 0xA5) return VK_MENU;
    return 0;
}

void press(std::uint32_t vk, bool down) {
    std::uint16_t& k = state().keys[vk];
    if (down && !(k & 0x8000)) k ^= 0x1;
    k = static_cast<std::uint16_t>(down ? (k | 0x8000) : (k & ~0x8000));
}

}  // namespace

HookHandle installKeyboardHook(KeyboardHook hook) {
    HookHandle h = nextHandle();
    state().hooks.emplace_back(h, std::move(hook));
    return h;
}

bool removeKeyboardHook(HookHandle handle) {
    auto& hooks = state().hooks;
    for (auto it = hooks.begin(); it != hooks.end(); ++it) {
        if (it->first == handle) {
            hooks.erase(it);
            return true;
        }
    }
    return false;
}

int keyboardHookCount() {
    return static_cast<int>(state().hooks.size());
}

bool deliverKeyEvent(const KeyEvent& event) {
    bool swallowed = false;
    // A copy: a hook may install or remove hooks while it runs.
    auto hooks = state().hooks;
    for (auto it = hooks.rbegin(); it != hooks.rend() && !swallowed; ++it)
        swallowed = it->second(event);
    if (event.code == 0) {
        const bool down = event.message == WM_KEYDOWN || event.message == WM_SYSKEYDOWN;
        const bool up = event.message == WM_KEYUP || event.message == WM_SYSKEYUP;
        if (down || up) setKeyDown(event.vkCode, down);
    }
    return swallowed;
}

std::uint16_t keyState(std::uint32_t vk) {
    auto it = state().keys.find(vk);
    return it == state().keys.end() ? 0 : it->second;
}

void setKeyDown(std::uint32_t vk, bool down) {
    press(vk, down);
    if (std::uint32_t generic = genericOf(vk)) press(generic, down);
}

void setClipboardText(std::u16string text) {
    state().clipboard = std::move(text);
}

std::u16string clipboardText() {
    return state().clipboard;
}

void emptyClipboard() {
    state().clipboard.clear();
    ++state().emptied;
}

unsigned clipboardEmptyCount() {
    return state().emptied;
}

void resetKeyboardForTests() {
    state() = KeyboardState{};
}

}  // namespace platform::window
