#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "viewer/forms/tests/button_form.h"
#include "viewer/forms/xbutton.h"

namespace {

using namespace vistrel::forms;
namespace window = platform::window;

// A button at screen (110, 120)-(190, 144) that records its events by name.
class ButtonInput : public ::testing::Test, public vistrel::forms::testing::ButtonForm {
  protected:
    ButtonInput() {
        button = place();
        button->setButtonType(2);
        button->show();
        auto record = [this](const char* name) { return [this, name] { seen.push_back(name); }; };
        button->events.click = record("Click");
        button->events.mouseOver = record("MouseOver");
        button->events.mouseOut = record("MouseOut");
        button->events.mouseDown = [this](short&, short&, float&, float&) {
            seen.push_back("MouseDown");
        };
        button->events.mouseUp = [this](short&, short&, float&, float&) {
            seen.push_back("MouseUp");
        };
        button->events.keyDown = [this](short& k, short&) {
            seen.push_back("KeyDown" + std::to_string(k) + "@" +
                           (window::focus() == button->hwnd() ? "self" : "other"));
        };
    }

    std::unique_ptr<XButton> button;
    std::vector<std::string> seen;
};

TEST_F(ButtonInput, PressReleaseAndClickByButton) {
    const struct {
        short button;
        int stateWhilePressed;
        std::vector<std::string> events;
    } cases[] = {
        {1, 2, {"MouseDown", "MouseUp", "Click"}},
        {2, 0, {"MouseDown", "MouseUp"}},  // right button: no look change, no Click
        {4, 2, {"MouseDown", "MouseUp"}},
    };
    for (const auto& c : cases) {
        seen.clear();
        button->mouseDown(c.button, 0, 5, 5);
        EXPECT_EQ(button->lastState(), c.stateWhilePressed) << c.button;
        button->mouseUp(c.button, 0, 5, 5);
        EXPECT_EQ(button->lastState(), 0);
        button->userClick();
        EXPECT_EQ(seen, c.events) << c.button;
    }
    seen.clear();
    button->setEnabled(false);
    button->mouseDown(1, 0, 5, 5);
    button->mouseUp(1, 0, 5, 5);
    button->userClick();
    EXPECT_EQ(seen, (std::vector<std::string>{"MouseDown", "MouseUp"}));
}

TEST_F(ButtonInput, SpaceBarClicksOnRelease) {
    button->keyDown(32, 0);
    EXPECT_EQ(button->lastState(), 2);
    button->keyUp(32, 0);
    EXPECT_EQ(button->lastState(), 0);
    button->keyDown(65, 0);
    button->keyUp(65, 0);
    button->keyDown(32, 0);
    button->keyUp(65, 0);  // another key's release
    EXPECT_EQ(seen, (std::vector<std::string>{"KeyDown32@other", "Click", "KeyDown65@other",
                                              "KeyDown32@other"}));
}

TEST_F(ButtonInput, ToggleTwiceReturnsToItsFirstState) {
    button->setCheckBoxBehaviour(true);
    for (bool expected : {true, false}) {
        button->mouseDown(1, 0, 5, 5);
        button->mouseUp(1, 0, 5, 5);
        button->userClick();
        EXPECT_EQ(button->value(), expected);
        EXPECT_EQ(button->lastState(), expected ? 2 : 0);
    }
    button->accessKeyPressed();
    EXPECT_TRUE(button->value());
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "Click"), 3);
}

TEST_F(ButtonInput, HoverStartsOnceAndEndsOnTheNextTick) {
    window::setCursorPos({150, 130});
    button->mouseMove(0, 0, 40, 10);
    EXPECT_TRUE(button->isOver());
    EXPECT_TRUE(button->overTimerRunning());
    const int paints = button->paintCount();
    button->mouseMove(0, 0, 41, 10);  // unforced and unchanged: nothing drawn, no event
    EXPECT_EQ(button->paintCount(), paints);
    window::advanceClock(XButton::kOverTimerInterval * 3);  // still over: the timer goes on
    EXPECT_TRUE(button->isOver());
    window::setCursorPos({50, 50});
    window::advanceClock(XButton::kOverTimerInterval);
    EXPECT_FALSE(button->isOver());
    EXPECT_FALSE(button->overTimerRunning());
    window::advanceClock(XButton::kOverTimerInterval * 5);
    EXPECT_EQ(seen, (std::vector<std::string>{"MouseOver", "MouseOut"}));
}

TEST_F(ButtonInput, DragWithTheLeftButtonDrawsDownWithoutHover) {
    window::setCursorPos({150, 130});
    button->mouseMove(1, 0, 40, 10);
    EXPECT_EQ(button->lastState(), 2);
    EXPECT_FALSE(button->isOver());
    EXPECT_FALSE(button->overTimerRunning());
    window::setCursorPos({10, 10});
    button->mouseMove(1, 0, -60, -60);
    EXPECT_EQ(button->lastState(), 0);
}

TEST_F(ButtonInput, ArrowKeysMoveTheFocusWithinTheForm) {
    const window::Hwnd before = window::createWindow(form, {0, 0, 10, 10});
    const window::Hwnd after = window::createWindow(form, {0, 0, 10, 10});
    window::setTabStop(before, true, 0);
    window::setTabStop(button->hwnd(), true, 1);
    window::setTabStop(after, true, 2);
    const struct {
        short key;
        window::Hwnd target;
    } cases[] = {{37, before}, {38, before}, {39, after}, {40, after}};
    for (const auto& c : cases) {
        window::setFocus(button->hwnd());
        EXPECT_TRUE(button->hasFocus());
        seen.clear();
        button->keyDown(c.key, 0);
        EXPECT_EQ(window::focus(), c.target) << c.key;
        EXPECT_FALSE(button->hasFocus());
        // KeyDown reaches the host before the focus moves.
        EXPECT_EQ(seen, (std::vector<std::string>{"KeyDown" + std::to_string(c.key) + "@self"}));
    }
}

TEST_F(ButtonInput, DoubleClickCaptureEndsWithTheReleaseOrTheFocus) {
    button->mouseDown(1, 0, 5, 5);
    button->mouseUp(1, 0, 5, 5);
    button->dblClick();
    EXPECT_EQ(window::capture(), button->hwnd());
    EXPECT_EQ(button->lastState(), 2);
    button->mouseUp(1, 0, 5, 5);
    EXPECT_EQ(window::capture(), 0u);

    window::setFocus(button->hwnd());
    button->dblClick();
    EXPECT_EQ(window::capture(), button->hwnd());
    window::setFocus(form);
    EXPECT_EQ(window::capture(), 0u);

    // A double click after a right press does nothing.
    button->mouseDown(2, 0, 5, 5);
    button->dblClick();
    EXPECT_EQ(window::capture(), 0u);
}

TEST_F(ButtonInput, FocusDrawsAndRemovesTheFocusRectangle) {
    const platform::gdi::Bitmap plain = button->surface();
    window::setFocus(button->hwnd());
    EXPECT_NE(button->surface().pixels(), plain.pixels());
    EXPECT_NE(button->surface().pixel(4, 4), plain.pixel(4, 4));  // the dotted frame's corner
    window::setFocus(0);
    EXPECT_EQ(button->surface().pixels(), plain.pixels());
}

}  // namespace
