#include "platform/window/qt_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <QWindow>

namespace {

using namespace platform::window;

TEST(QtWindow, WidgetFollowsTheTreeAndItsTopmostSwitch) {
    int argc = 1;
    char name[] = "qt_window_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    auto* form = new QWidget;
    form->setGeometry(40, 50, 200, 100);
    auto* child = new QWidget(form);
    child->setGeometry(5, 6, 20, 10);
    form->show();
    const Hwnd hwnd = attachWidget(form);
    const Hwnd inner = attachWidget(child);
    EXPECT_EQ(parentOf(inner), hwnd);
    EXPECT_EQ(widgetOf(inner), child);
    EXPECT_EQ(windowRect(inner), (Rect{5, 6, 25, 16}));
    child->move(7, 8);
    EXPECT_EQ(windowRect(inner), (Rect{7, 8, 27, 18}));

    // Activation of the real window makes it the thread's active window.
    form->activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(activeWindow(), hwnd);

    ASSERT_TRUE(setWindowTopmost(hwnd, true));
    ASSERT_NE(form->windowHandle(), nullptr);
    EXPECT_TRUE(form->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(form->isVisible());
    setWindowTopmost(hwnd, false);
    EXPECT_FALSE(form->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    delete form;
    EXPECT_FALSE(isWindow(hwnd));
    EXPECT_FALSE(isWindow(inner));
}

}  // namespace
