#include "platform/window/window.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace platform::window;

class WindowTree : public ::testing::Test {
  protected:
    void SetUp() override { resetForTests(); }
    void TearDown() override { resetForTests(); }
};

TEST_F(WindowTree, TopmostBandsFollowTheRules) {
    const Hwnd a = createWindow(0, {0, 0, 100, 100});
    const Hwnd b = createWindow(0, {10, 10, 50, 50});
    const Hwnd c = createWindow(0, {20, 20, 60, 60});
    EXPECT_EQ(zOrder(), (std::vector<Hwnd>{c, b, a}));

    EXPECT_TRUE(setWindowTopmost(a, true));
    EXPECT_EQ(zOrder(), (std::vector<Hwnd>{a, c, b}));
    EXPECT_TRUE(setWindowTopmost(a, true));  // twice: still topmost, still on top
    EXPECT_TRUE(isTopmost(a));
    EXPECT_EQ(zOrder(), (std::vector<Hwnd>{a, c, b}));

    // A new normal window stays below the topmost band.
    const Hwnd d = createWindow(0, {0, 0, 10, 10});
    EXPECT_EQ(zOrder(), (std::vector<Hwnd>{a, d, c, b}));

    // Off on a window that never was topmost changes nothing.
    EXPECT_TRUE(setWindowTopmost(b, false));
    EXPECT_EQ(zOrder(), (std::vector<Hwnd>{a, d, c, b}));

    // Off puts it above all normal windows; place and size unchanged.
    EXPECT_TRUE(setWindowTopmost(a, false));
    EXPECT_FALSE(isTopmost(a));
    EXPECT_EQ(zOrder(), (std::vector<Hwnd>{a, d, c, b}));
    EXPECT_EQ(windowRect(a), (Rect{0, 0, 100, 100}));

    // Children and unknown handles are no top-level windows.
    const Hwnd child = createWindow(a, {0, 0, 5, 5});
    EXPECT_FALSE(setWindowTopmost(child, true));
    EXPECT_FALSE(setWindowTopmost(0xDEAD, true));
}

TEST_F(WindowTree, WindowFromPointHonoursZOrderVisibilityAndRegions) {
    const Hwnd form = createWindow(0, {100, 100, 300, 200});
    const Hwnd button = createWindow(form, {10, 10, 90, 34});
    const Hwnd over = createWindow(0, {250, 150, 400, 400});
    setWindowRegion(button, platform::gdi::Region::ellipse({0, 0, 80, 24}));

    const struct {
        Point p;
        Hwnd expected;
    } cases[] = {
        {{150, 122}, button},  // the middle of the button
        {{110, 110}, form},    // the button's corner, outside its elliptic region
        {{260, 160}, over},    // above the form
        {{50, 50}, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(windowFromPoint(c.p), c.expected) << c.p.x;

    setVisible(over, false);
    EXPECT_EQ(windowFromPoint({260, 160}), form);
    setVisible(form, false);
    EXPECT_EQ(windowFromPoint({150, 122}), 0u);
    EXPECT_EQ(screenRect(button), (Rect{110, 110, 190, 134}));
}

TEST_F(WindowTree, TabOrderSkipsHiddenAndDisabledAndWraps) {
    const Hwnd form = createWindow(0, {0, 0, 100, 100});
    const Hwnd a = createWindow(form, {});
    const Hwnd b = createWindow(form, {});
    const Hwnd c = createWindow(form, {});
    const Hwnd d = createWindow(form, {});
    setTabStop(a, true, 2);
    setTabStop(b, true, 0);
    setTabStop(c, true, 1);
    setTabStop(d, true, 3);
    setEnabled(d, false);
    EXPECT_EQ(nextTabStop(b, false), c);
    EXPECT_EQ(nextTabStop(c, false), a);
    EXPECT_EQ(nextTabStop(a, false), b);  // d is disabled: wraps
    EXPECT_EQ(nextTabStop(b, true), a);
}

TEST_F(WindowTree, ActiveWindowFocusAndCaptureArePerThread) {
    const Hwnd mine = createWindow(0, {0, 0, 10, 10});
    EXPECT_EQ(setActiveWindow(mine), 0u);
    Hwnd theirs = 0;
    Hwnd seenThere = 1;
    std::thread other([&] {
        theirs = createWindow(0, {0, 0, 10, 10});
        setActiveWindow(theirs);
        seenThere = activeWindow();
        // Another thread's window cannot become this thread's active window.
        EXPECT_EQ(setActiveWindow(mine), 0u);
    });
    other.join();
    EXPECT_EQ(seenThere, theirs);
    EXPECT_EQ(activeWindow(), mine);

    std::vector<std::pair<Hwnd, Hwnd>> changes;
    const int id = addFocusListener([&](Hwnd lost, Hwnd gained) {
        changes.push_back({lost, gained});
    });
    const Hwnd child = createWindow(mine, {});
    setFocus(child);
    setCapture(child);
    EXPECT_EQ(capture(), child);
    destroyWindow(child);
    EXPECT_EQ(capture(), 0u);
    EXPECT_EQ(focus(), 0u);
    EXPECT_EQ(changes, (std::vector<std::pair<Hwnd, Hwnd>>{{0, child}, {child, 0}}));
    removeFocusListener(id);
    destroyWindow(mine);
    EXPECT_EQ(activeWindow(), 0u);
    destroyWindow(theirs);
}

TEST_F(WindowTree, AFocusListenerRemovedByAnotherIsNotCalled) {
    const Hwnd form = createWindow(0, {0, 0, 10, 10});
    int second = 0;
    int calls = 0;
    addFocusListener([&](Hwnd, Hwnd) {
        ++calls;
        removeFocusListener(second);
    });
    second = addFocusListener([&](Hwnd, Hwnd) { ++calls; });
    setFocus(form);
    EXPECT_EQ(calls, 1);
}

TEST_F(WindowTree, TimersRunOnTheFakeClockInDueOrder) {
    std::vector<int> fired;
    const unsigned slow = setTimer(100, [&] { fired.push_back(100); });
    unsigned fast = 0;
    fast = setTimer(40, [&] {
        fired.push_back(40);
        if (fired.size() > 2) killTimer(fast);
    });
    advanceClock(39);
    EXPECT_TRUE(fired.empty());
    advanceClock(161);                                           // t = 200
    EXPECT_EQ(fired, (std::vector<int>{40, 40, 100, 40, 100}));  // at 40, 80, 100, 120, 200
    EXPECT_EQ(clockNow(), 200);
    killTimer(slow);
    advanceClock(1000);
    EXPECT_EQ(fired.size(), 5u);
}

TEST_F(WindowTree, ProceduresPropertiesAndTheLastMessage) {
    const Hwnd top = createWindow(0, {0, 0, 100, 100});
    const Hwnd child = createWindow(top, {0, 0, 10, 10});
    EXPECT_EQ(sendMessage(top, 0x10, 1, 2), 0);  // no procedure yet

    std::vector<std::string> seen;
    auto recorder = [&](std::string name, std::int32_t answer) {
        return [&seen, name, answer](Hwnd, Message msg, std::int32_t w, std::int32_t l) {
            seen.push_back(name + ":" + std::to_string(msg) + "," + std::to_string(w) + "," +
                           std::to_string(l));
            return answer;
        };
    };
    WindowProc previous = recorder("stale", -1);
    ASSERT_TRUE(setWindowProc(top, recorder("first", 7), &previous));
    EXPECT_FALSE(previous);  // the window had none
    ASSERT_TRUE(setWindowProc(top, recorder("second", 8), &previous));
    EXPECT_EQ(sendMessage(top, 0x10, 1, 2), 8);
    EXPECT_EQ(callWindowProc(previous, top, 0x11, 3, 4), 7);
    EXPECT_EQ(callWindowProc(WindowProc{}, top, 0x11, 3, 4), 0);
    EXPECT_FALSE(setWindowProc(0x7777, recorder("none", 0)));
    EXPECT_EQ(seen, (std::vector<std::string>{"second:16,1,2", "first:17,3,4"}));

    ASSERT_TRUE(setProp(top, "1234#15C", 3));
    EXPECT_EQ(std::any_cast<int>(getProp(top, "1234#15C")), 3);
    ASSERT_TRUE(setProp(top, "1234", std::string("x")));
    EXPECT_EQ(propNames(top), (std::vector<std::string>{"1234", "1234#15C"}));
    removeProp(top, "1234");
    EXPECT_FALSE(getProp(top, "other").has_value());
    EXPECT_EQ(std::any_cast<int>(removeProp(top, "1234#15C")), 3);
    EXPECT_FALSE(getProp(top, "1234#15C").has_value());
    EXPECT_FALSE(setProp(0x7777, "k", 1));

    EXPECT_EQ(windowProcessId(top), currentProcessId());
    setWindowProcessForTests(child, currentProcessId() + 1);
    EXPECT_NE(windowProcessId(child), currentProcessId());
    EXPECT_EQ(windowProcessId(0x7777), 0u);

    // Destruction: children first, each still a window with its properties when its last
    // message arrives.
    seen.clear();
    setProp(child, "k", 5);
    setWindowProc(child, [&](Hwnd h, Message msg, std::int32_t, std::int32_t) {
        seen.push_back("child:" + std::to_string(msg) + "," + std::to_string(isWindow(h)) + "," +
                       std::to_string(std::any_cast<int>(getProp(h, "k"))));
        return 0;
    });
    destroyWindow(top);
    EXPECT_EQ(seen, (std::vector<std::string>{"child:130,1,5", "second:130,0,0"}));
    EXPECT_FALSE(isWindow(child));
    EXPECT_FALSE(getProp(child, "k").has_value());
}

TEST_F(WindowTree, TimersCanBeMadeToFail) {
    failTimersForTests(true);
    EXPECT_EQ(setTimer(50, [] {}), 0u);
    failTimersForTests(false);
    EXPECT_NE(setTimer(50, [] {}), 0u);
}

}  // namespace
