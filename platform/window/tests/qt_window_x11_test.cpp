// The Qt bridge on a real X display (a private Xvfb): while a thread has keyboard hooks on the
// display, the Qt event loop of a program that uses the bridge reads the display's key events
// for them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QWidget>
#include <vector>

#include "platform/testing/temp_machine.h"
#include "platform/testing/xvfb.h"
#include "platform/window/keyboard.h"
#include "platform/window/qt_window.h"
#include "platform/window/virtual_keys.h"

namespace {

namespace win = platform::window;

TEST(QtBridgeOnX11, TheQtLoopReadsTheDisplayForTheHooks) {
    platform::testing::TempMachine folder;
    platform::testing::XvfbDisplay display;
    TESSEL_START_XVFB(display, folder.path());
    win::resetKeyboardForTests();
    int argc = 1;
    char name[] = "qt_window_x11_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    // A host form on the bridge, as the programs that lock have.
    QWidget form;
    ASSERT_NE(win::attachWidget(&form), 0u);

    std::vector<std::uint32_t> pressed;
    const win::HookHandle hook = win::installKeyboardHook([&](const win::KeyEvent& e) {
        if (e.message == win::WM_KEYDOWN) pressed.push_back(e.vkCode);
        return false;
    });
    ASSERT_EQ(win::keyboardBackend(), "x11");
    const auto typed = display.type({"F1", "b"});
    ASSERT_EQ(typed.exitCode, 0) << typed.err;
    // Nothing but the event loop reads the display here.
    QElapsedTimer waited;
    waited.start();
    while (pressed.size() < 2 && waited.elapsed() < 20000) QApplication::processEvents();
    EXPECT_EQ(pressed, (std::vector<std::uint32_t>{win::VK_F1, win::letterKey('B')}));

    EXPECT_TRUE(win::removeKeyboardHook(hook));
    EXPECT_EQ(win::keyboardBackend(), "simulated");
}

}  // namespace
