#include "platform/window/keyboard.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/window/virtual_keys.h"
#include "platform/window/x11_keyboard.h"

namespace platform::window {

namespace {

struct KeyboardState {
    std::vector<std::pair<HookHandle, KeyboardHook>> hooks;  // oldest first
    std::map<std::uint32_t, std::uint16_t> keys;
    std::u16string clipboard;
    unsigned emptied = 0;
    std::vector<SwallowedKey> swallowed;
    std::unique_ptr<x11::Keyboard> desktop;
    bool pumping = false;  // the desktop is delivering its events
};

struct Hooks {
    std::mutex mutex;
    std::function<void(const std::string&)> log;
    std::function<void(bool)> watcher;
};

Hooks& hooks() {
    static Hooks h;
    return h;
}

void log(const std::string& line) {
    std::function<void(const std::string&)> f;
    {
        std::lock_guard lock(hooks().mutex);
        f = hooks().log;
    }
    if (f)
        f(line);
    else
        std::fprintf(stderr, "[keyboard] %s\n", line.c_str());
}

void watch(bool on) {
    std::function<void(bool)> f;
    {
        std::lock_guard lock(hooks().mutex);
        f = hooks().watcher;
    }
    if (f) f(on);
}

KeyboardState& state() {
    thread_local KeyboardState s;
    return s;
}

void closeDesktop() {
    if (!state().desktop) return;
    state().desktop.reset();
    watch(false);
}

// A display that went away (or stopped answering) is let go once, and the hooks go on with the
// simulated session.
void dropLostDesktop() {
    if (!state().desktop || state().pumping || !state().desktop->lost()) return;
    log("the X display " + state().desktop->display() +
        " went away; the keyboard lock stays simulated");
    closeDesktop();
}

HookHandle nextHandle() {
    static std::uint32_t next = 0x10000;
    return ++next;
}

// The generic key a left or right key also moves.
std::uint32_t genericOf(std::uint32_t vk) {
    if (vk == VK_LSHIFT || vk == VK_RSHIFT) return VK_SHIFT;
    if (vk == VK_LCONTROL || vk == VK_RCONTROL) return VK_CONTROL;
    if (vk == VK_LMENU || vk == VK_RMENU) return VK_MENU;
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
    if (state().hooks.size() == 1 && !state().desktop && desktopIsX11()) {
        state().desktop = x11::Keyboard::open(log);
        if (state().desktop) {
            state().desktop->grab(state().swallowed);
            watch(true);
            dropLostDesktop();
        }
    }
    return h;
}

bool removeKeyboardHook(HookHandle handle) {
    auto& hooks = state().hooks;
    for (auto it = hooks.begin(); it != hooks.end(); ++it) {
        if (it->first == handle) {
            hooks.erase(it);
            if (hooks.empty()) {
                closeDesktop();
                state().swallowed.clear();
            }
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
    if (state().desktop) state().desktop->emptyClipboard();
    dropLostDesktop();
}

void setSwallowedKeys(std::vector<SwallowedKey> keys) {
    state().swallowed = std::move(keys);
    if (state().desktop) state().desktop->grab(state().swallowed);
    dropLostDesktop();
}

std::string keyboardBackend() {
    return state().desktop ? "x11" : "simulated";
}

bool desktopIsX11() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) {
        // The first platform of the list, without its options.
        const std::string first(platform, std::strcspn(platform, ";:"));
        return first == "xcb";
    }
    const char* session = std::getenv("XDG_SESSION_TYPE");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return !(session && std::strcmp(session, "wayland") == 0 && wayland && *wayland);
}

int pumpDesktopKeyboard(bool sync) {
    if (!state().desktop) return 0;
    state().pumping = true;
    const int delivered =
        state().desktop->pump(sync, [](const KeyEvent& e) { deliverKeyEvent(e); });
    state().pumping = false;
    dropLostDesktop();
    return delivered;
}

int desktopKeyboardFd() {
    return state().desktop ? state().desktop->fd() : -1;
}

void setKeyboardLog(std::function<void(const std::string&)> f) {
    std::lock_guard lock(hooks().mutex);
    hooks().log = std::move(f);
}

void setDesktopKeyboardWatcher(std::function<void(bool on)> watcher) {
    std::lock_guard lock(hooks().mutex);
    hooks().watcher = std::move(watcher);
}

unsigned clipboardEmptyCount() {
    return state().emptied;
}

void resetKeyboardForTests() {
    closeDesktop();
    state() = KeyboardState{};
}

}  // namespace platform::window
