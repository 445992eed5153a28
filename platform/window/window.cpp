#include "platform/window/window.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace platform::window {

namespace {

struct Window {
    Hwnd parent = 0;
    Rect rect;
    std::u16string name;
    bool visible = true;
    bool enabled = true;
    bool topmost = false;
    bool tabStop = false;
    int tabIndex = 0;
    std::optional<gdi::Region> region;
    std::vector<Hwnd> children;  // creation order; later ones lie above earlier ones
    std::thread::id thread;
    std::shared_ptr<NativeWindow> native;
    WindowProc proc;
    std::map<std::string, std::any, std::less<>> props;
    std::uint32_t process = static_cast<std::uint32_t>(::getpid());
};

struct Tree {
    std::recursive_mutex mutex;
    std::map<Hwnd, Window> windows;
    std::vector<Hwnd> zorder;  // top-level windows, top first
    Hwnd next = 0x10000;
    Point cursor;
    // Owners of handles outside the tree (the desktop, other programs' windows in tests).
    std::map<Hwnd, std::uint32_t> outsideOwners;
};

Tree& tree() {
    static Tree t;
    return t;
}

struct TimerEntry {
    unsigned id;
    unsigned interval;
    std::int64_t due;
    TimerProc proc;
};

struct ThreadState {
    Hwnd active = 0;
    Hwnd focus = 0;
    Hwnd capture = 0;
    std::map<int, FocusListener> focusListeners;
    int nextListener = 1;
    std::vector<TimerEntry> timers;
    unsigned nextTimer = 1;
    std::int64_t now = 0;
    bool failTimers = false;
};

ThreadState& state() {
    thread_local ThreadState s;
    return s;
}

Window* find(Hwnd hwnd) {
    auto& t = tree();
    auto it = t.windows.find(hwnd);
    return it == t.windows.end() ? nullptr : &it->second;
}

void placeTop(Hwnd hwnd, bool topmost) {
    auto& z = tree().zorder;
    z.erase(std::remove(z.begin(), z.end(), hwnd), z.end());
    auto pos = z.begin();
    if (!topmost)
        while (pos != z.end() && find(*pos) && find(*pos)->topmost) ++pos;
    z.insert(pos, hwnd);
}

// Tells every listener of the calling thread; a listener removed by an earlier one is not
// called.
void notifyFocus(Hwnd lost, Hwnd gained) {
    auto& listeners = state().focusListeners;
    std::vector<int> ids;
    for (const auto& entry : listeners) ids.push_back(entry.first);
    for (int id : ids) {
        auto it = listeners.find(id);
        if (it == listeners.end()) continue;
        FocusListener listener = it->second;
        listener(lost, gained);
    }
}

Hwnd hitChild(Hwnd hwnd, Point local) {
    Window* w = find(hwnd);
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        Window* c = find(*it);
        if (!c || !c->visible || !c->rect.contains(local.x, local.y)) continue;
        const Point inner{local.x - c->rect.left, local.y - c->rect.top};
        if (c->region && !c->region->contains(inner.x, inner.y)) continue;
        return hitChild(*it, inner);
    }
    return hwnd;
}

void collectTabStops(Hwnd hwnd, std::vector<Hwnd>& out) {
    Window* w = find(hwnd);
    if (!w) return;
    for (Hwnd c : w->children) {
        Window* cw = find(c);
        if (!cw || !cw->visible || !cw->enabled) continue;
        if (cw->tabStop) out.push_back(c);
        collectTabStops(c, out);
    }
}

}  // namespace

Hwnd createWindow(Hwnd parent, const Rect& rect, std::u16string name) {
    auto& t = tree();
    std::lock_guard lock(t.mutex);
    if (parent && !find(parent)) return 0;
    const Hwnd hwnd = t.next++;
    Window w;
    w.parent = parent;
    w.rect = rect;
    w.name = std::move(name);
    w.thread = std::this_thread::get_id();
    t.windows.emplace(hwnd, std::move(w));
    if (parent)
        find(parent)->children.push_back(hwnd);
    else
        placeTop(hwnd, false);
    return hwnd;
}

void destroyWindow(Hwnd hwnd) {
    auto& t = tree();
    std::vector<Hwnd> children;
    {
        std::lock_guard lock(t.mutex);
        Window* w = find(hwnd);
        if (!w) return;
        children = w->children;
    }
    for (Hwnd c : children) destroyWindow(c);
    // The window's last message, while it still exists.
    sendMessage(hwnd, kNcDestroy, 0, 0);
    std::lock_guard lock(t.mutex);
    Window* w = find(hwnd);
    if (!w) return;
    for (Hwnd c : std::vector<Hwnd>(w->children)) destroyWindow(c);
    w = find(hwnd);
    if (Window* p = find(w->parent))
        p->children.erase(std::remove(p->children.begin(), p->children.end(), hwnd),
                          p->children.end());
    t.zorder.erase(std::remove(t.zorder.begin(), t.zorder.end(), hwnd), t.zorder.end());
    t.windows.erase(hwnd);
    auto& s = state();
    if (s.active == hwnd) s.active = 0;
    if (s.capture == hwnd) s.capture = 0;
    if (s.focus == hwnd) {
        s.focus = 0;
        notifyFocus(hwnd, 0);
    }
}

bool isWindow(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    return find(hwnd) != nullptr;
}

Hwnd parentOf(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    return w ? w->parent : 0;
}

Hwnd topLevelOf(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    if (!find(hwnd)) return 0;
    while (Window* w = find(hwnd)) {
        if (!w->parent) return hwnd;
        hwnd = w->parent;
    }
    return 0;
}

std::vector<Hwnd> childrenOf(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    return w ? w->children : std::vector<Hwnd>{};
}

std::u16string nameOf(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    return w ? w->name : std::u16string{};
}

void setVisible(Hwnd hwnd, bool on) {
    std::lock_guard lock(tree().mutex);
    if (Window* w = find(hwnd)) w->visible = on;
}

bool isVisible(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    if (!w) return false;
    for (; w; w = find(w->parent))
        if (!w->visible) return false;
    return true;
}

void setEnabled(Hwnd hwnd, bool on) {
    std::lock_guard lock(tree().mutex);
    if (Window* w = find(hwnd)) w->enabled = on;
}

bool isEnabled(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    return w && w->enabled;
}

void moveWindow(Hwnd hwnd, const Rect& rect) {
    std::lock_guard lock(tree().mutex);
    if (Window* w = find(hwnd)) w->rect = rect;
}

Rect windowRect(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    return w ? w->rect : Rect{};
}

Rect screenRect(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    if (!w) return {};
    Rect r = w->rect;
    for (Window* p = find(w->parent); p; p = find(p->parent))
        r = r.offset(p->rect.left, p->rect.top);
    return r;
}

void setWindowRegion(Hwnd hwnd, std::optional<gdi::Region> region) {
    std::lock_guard lock(tree().mutex);
    if (Window* w = find(hwnd)) w->region = std::move(region);
}

const gdi::Region* windowRegion(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    return w && w->region ? &*w->region : nullptr;
}

bool setWindowTopmost(Hwnd hwnd, bool on) {
    std::shared_ptr<NativeWindow> native;
    {
        std::lock_guard lock(tree().mutex);
        Window* w = find(hwnd);
        if (!w || w->parent) return false;
        if (!on && !w->topmost) return true;
        w->topmost = on;
        placeTop(hwnd, on);
        native = w->native;
    }
    if (native) native->setTopmost(on);
    return true;
}

bool isTopmost(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    return w && w->topmost;
}

std::vector<Hwnd> zOrder() {
    std::lock_guard lock(tree().mutex);
    return tree().zorder;
}

void bringToTop(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    if (w && !w->parent) placeTop(hwnd, w->topmost);
}

Hwnd activeWindow() {
    std::lock_guard lock(tree().mutex);
    auto& s = state();
    if (s.active && !find(s.active)) s.active = 0;
    return s.active;
}

Hwnd setActiveWindow(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    auto& s = state();
    const Hwnd previous = s.active;
    if (hwnd == 0) {
        s.active = 0;
        return previous;
    }
    Window* w = find(hwnd);
    if (!w || w->parent || w->thread != std::this_thread::get_id()) return 0;
    s.active = hwnd;
    return previous;
}

void setCursorPos(Point p) {
    std::lock_guard lock(tree().mutex);
    tree().cursor = p;
}

Point cursorPos() {
    std::lock_guard lock(tree().mutex);
    return tree().cursor;
}

Hwnd windowFromPoint(Point p) {
    std::lock_guard lock(tree().mutex);
    for (Hwnd top : tree().zorder) {
        Window* w = find(top);
        if (!w || !w->visible || !w->rect.contains(p.x, p.y)) continue;
        const Point local{p.x - w->rect.left, p.y - w->rect.top};
        if (w->region && !w->region->contains(local.x, local.y)) continue;
        return hitChild(top, local);
    }
    return 0;
}

Hwnd setCapture(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    auto& s = state();
    const Hwnd previous = s.capture;
    if (find(hwnd)) s.capture = hwnd;
    return previous;
}

void releaseCapture() {
    state().capture = 0;
}

Hwnd capture() {
    std::lock_guard lock(tree().mutex);
    auto& s = state();
    if (s.capture && !find(s.capture)) s.capture = 0;
    return s.capture;
}

Hwnd setFocus(Hwnd hwnd) {
    auto& s = state();
    const Hwnd previous = s.focus;
    {
        std::lock_guard lock(tree().mutex);
        if (hwnd && !find(hwnd)) return 0;
    }
    if (previous == hwnd) return previous;
    s.focus = hwnd;
    notifyFocus(previous, hwnd);
    return previous;
}

Hwnd focus() {
    std::lock_guard lock(tree().mutex);
    auto& s = state();
    if (s.focus && !find(s.focus)) s.focus = 0;
    return s.focus;
}

int addFocusListener(FocusListener listener) {
    auto& s = state();
    const int id = s.nextListener++;
    s.focusListeners[id] = std::move(listener);
    return id;
}

void removeFocusListener(int id) {
    state().focusListeners.erase(id);
}

void setTabStop(Hwnd hwnd, bool on, int tabIndex) {
    std::lock_guard lock(tree().mutex);
    if (Window* w = find(hwnd)) {
        w->tabStop = on;
        w->tabIndex = tabIndex;
    }
}

Hwnd nextTabStop(Hwnd from, bool previous) {
    std::lock_guard lock(tree().mutex);
    const Hwnd top = topLevelOf(from);
    if (!top) return 0;
    std::vector<Hwnd> stops;
    collectTabStops(top, stops);
    std::stable_sort(stops.begin(), stops.end(),
                     [](Hwnd a, Hwnd b) { return find(a)->tabIndex < find(b)->tabIndex; });
    if (stops.empty()) return 0;
    auto it = std::find(stops.begin(), stops.end(), from);
    if (it == stops.end()) return previous ? stops.back() : stops.front();
    const auto n = static_cast<long>(stops.size());
    long i = it - stops.begin();
    i = previous ? (i + n - 1) % n : (i + 1) % n;
    return stops[static_cast<std::size_t>(i)];
}

unsigned setTimer(unsigned intervalMs, TimerProc proc) {
    auto& s = state();
    if (s.failTimers) return 0;
    const unsigned id = s.nextTimer++;
    const unsigned interval = std::max(intervalMs, 10u);
    s.timers.push_back({id, interval, s.now + interval, std::move(proc)});
    return id;
}

void killTimer(unsigned id) {
    auto& t = state().timers;
    t.erase(std::remove_if(t.begin(), t.end(), [id](const TimerEntry& e) { return e.id == id; }),
            t.end());
}

void advanceClock(std::int64_t ms) {
    auto& s = state();
    const std::int64_t end = s.now + std::max<std::int64_t>(ms, 0);
    for (;;) {
        // The earliest due timer up to the end; a proc may kill or add timers.
        auto due = std::min_element(s.timers.begin(), s.timers.end(),
                                    [](const TimerEntry& a, const TimerEntry& b) {
                                        return a.due < b.due || (a.due == b.due && a.id < b.id);
                                    });
        if (due == s.timers.end() || due->due > end) break;
        s.now = due->due;
        due->due += due->interval;
        TimerProc proc = due->proc;
        proc();
    }
    s.now = end;
}

std::int64_t clockNow() {
    return state().now;
}

void setNative(Hwnd hwnd, std::shared_ptr<NativeWindow> native) {
    std::lock_guard lock(tree().mutex);
    if (Window* w = find(hwnd)) w->native = std::move(native);
}

bool setWindowProc(Hwnd hwnd, WindowProc proc, WindowProc* previous) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    if (!w) return false;
    if (previous) *previous = w->proc;
    w->proc = std::move(proc);
    return true;
}

WindowProc windowProc(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    return w ? w->proc : WindowProc{};
}

std::int32_t callWindowProc(const WindowProc& proc, Hwnd hwnd, Message msg, std::int32_t wParam,
                            std::int32_t lParam) {
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

std::int32_t sendMessage(Hwnd hwnd, Message msg, std::int32_t wParam, std::int32_t lParam) {
    const WindowProc proc = windowProc(hwnd);
    return callWindowProc(proc, hwnd, msg, wParam, lParam);
}

bool setProp(Hwnd hwnd, std::string_view key, std::any value) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    if (!w) return false;
    w->props.insert_or_assign(std::string(key), std::move(value));
    return true;
}

std::any getProp(Hwnd hwnd, std::string_view key) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    if (!w) return {};
    auto it = w->props.find(key);
    return it == w->props.end() ? std::any{} : it->second;
}

std::any removeProp(Hwnd hwnd, std::string_view key) {
    std::lock_guard lock(tree().mutex);
    Window* w = find(hwnd);
    if (!w) return {};
    auto it = w->props.find(key);
    if (it == w->props.end()) return {};
    std::any value = std::move(it->second);
    w->props.erase(it);
    return value;
}

std::vector<std::string> propNames(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    std::vector<std::string> names;
    if (Window* w = find(hwnd))
        for (const auto& entry : w->props) names.push_back(entry.first);
    return names;
}

std::uint32_t windowProcessId(Hwnd hwnd) {
    std::lock_guard lock(tree().mutex);
    if (Window* w = find(hwnd)) return w->process;
    auto it = tree().outsideOwners.find(hwnd);
    return it == tree().outsideOwners.end() ? 0 : it->second;
}

std::uint32_t currentProcessId() {
    return static_cast<std::uint32_t>(::getpid());
}

void setWindowProcessForTests(Hwnd hwnd, std::uint32_t processId) {
    std::lock_guard lock(tree().mutex);
    if (Window* w = find(hwnd))
        w->process = processId;
    else
        tree().outsideOwners[hwnd] = processId;
}

void failTimersForTests(bool on) {
    state().failTimers = on;
}

void resetForTests() {
    auto& t = tree();
    std::lock_guard lock(t.mutex);
    t.windows.clear();
    t.zorder.clear();
    t.cursor = {};
    state() = ThreadState{};
}

}  // namespace platform::window
