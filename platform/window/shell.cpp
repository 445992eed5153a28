#include "platform/window/shell.h"

#include <unistd.h>

#include <map>
#include <mutex>
#include <utility>

namespace platform::window {

namespace {

constexpr Hwnd kDesktop = 0xFFFF0010;

struct Shell {
    std::mutex mutex;
    std::vector<WindowRequest> requests;
};

Shell& shell() {
    static Shell s;
    return s;
}

void note(WindowRequest request) {
    std::lock_guard lock(shell().mutex);
    shell().requests.push_back(std::move(request));
}

}  // namespace

Hwnd desktopWindow() {
    return kDesktop;
}

void showWindow(Hwnd hwnd, int command) {
    note({"show", hwnd, command});
    if (isWindow(hwnd)) setVisible(hwnd, command != 0);
}

void setForegroundWindow(Hwnd hwnd) {
    note({"foreground", hwnd, 0});
    if (isWindow(hwnd) && topLevelOf(hwnd) == hwnd) {
        bringToTop(hwnd);
        setActiveWindow(hwnd);
    }
}

void focusWindow(Hwnd hwnd) {
    note({"focus", hwnd, 0});
    if (isWindow(hwnd)) setFocus(hwnd);
}

std::vector<WindowRequest> takeWindowRequests() {
    std::lock_guard lock(shell().mutex);
    return std::exchange(shell().requests, {});
}

}  // namespace platform::window
