// The control on a real (offscreen) window: the form's stay-on-top state follows setOn and
// setOff, and the form keeps its place.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include "platform/com/runtime.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/window/qt_window.h"

namespace {

namespace com = platform::com;
namespace window = platform::window;

TEST(PaneletOnQt, TheActiveFormStaysOnTopBetweenSetOnAndSetOff) {
    platform::testing::TempMachine machine;
    auto r = platform::testing::runProgram(REGSVR, {"-s", PANELET_LIBRARY});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    int argc = 1;
    char name[] = "panelet_qt_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QWidget dialog;
    dialog.setGeometry(50, 60, 300, 200);
    dialog.show();
    const window::Hwnd hwnd = window::attachWidget(&dialog);
    dialog.activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(window::activeWindow(), hwnd);

    auto control = com::createObject(u"PANELET.PaneletCtrl.1");
    ASSERT_TRUE(control);
    com::call(*control, u"setOn", {});
    ASSERT_NE(dialog.windowHandle(), nullptr);
    EXPECT_TRUE(dialog.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.geometry(), QRect(50, 60, 300, 200));
    com::call(*control, u"setOff", {});
    EXPECT_FALSE(dialog.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(dialog.isVisible());
    control.reset();
}

}  // namespace
