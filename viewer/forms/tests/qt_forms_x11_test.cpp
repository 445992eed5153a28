// The flat text box on a real X display (a private Xvfb): keys typed by xdotool through the
// display's test extension reach the host with the key codes of the platform's text box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <string>
#include <vector>

#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/testing/xvfb.h"
#include "viewer/forms/qt_forms.h"

namespace {

using namespace vistrel::forms;

TEST(FlatTextBoxOnX11, TheHostGetsThePlatformsKeyCodesFromRealKeys) {
    platform::testing::TempMachine folder;
    platform::testing::XvfbDisplay display;
    TESSEL_START_XVFB(display, folder.path());
    int argc = 1;
    char name[] = "qt_forms_x11_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));

    QWidget form;
    form.setGeometry(0, 0, 200, 100);
    auto* box = new QtFlatTextBox(&form);
    box->setGeometry(5, 5, 150, 60);
    form.show();
    form.activateWindow();
    box->inner()->setFocus();
    QElapsedTimer waited;
    waited.start();
    while (!(form.isActiveWindow() && box->inner()->hasFocus()) && waited.elapsed() < 20000)
        QApplication::processEvents();
    ASSERT_TRUE(box->inner()->hasFocus());

    std::vector<short> downs, ups, presses;
    box->logic().events.keyDown = [&](short& code, short&) { downs.push_back(code); };
    box->logic().events.keyUp = [&](short& code, short&) { ups.push_back(code); };
    box->logic().events.keyPress = [&](short& ascii) { presses.push_back(ascii); };
    // Num Lock goes on before the keypad's End key, which then types 1; Caps Lock is pressed
    // twice to leave it off. The keys go as typed, without xdotool's own modifier handling.
    const auto typed = platform::testing::runProgram(
        platform::testing::onPath("xdotool"),
        {"key", "--delay", "20", "shift", "ctrl", "alt", "Caps_Lock", "Caps_Lock", "Num_Lock",
         "Delete", "KP_End", "KP_Add", "KP_Enter"});
    ASSERT_EQ(typed.exitCode, 0) << typed.err;
    const std::vector<short> want = {16, 17, 18, 20, 20, 144, 46, 97, 107, 13};
    waited.restart();
    while (ups.size() < want.size() && waited.elapsed() < 20000) QApplication::processEvents();
    EXPECT_EQ(downs, want);
    EXPECT_EQ(ups, want);
    EXPECT_EQ(presses, (std::vector<short>{'1', '+', 13}));
}

}  // namespace

// Real Tab and Shift+Tab keys move the focus to the next box and back and type nothing; real
// Return keys after a line break raise Change once each, with the text they made.
TEST(FlatTextBoxOnX11, TabMovesTheFocusAndChangeComesOnlyWithNewText) {
    platform::testing::TempMachine folder;
    platform::testing::XvfbDisplay display;
    TESSEL_START_XVFB(display, folder.path());
    int argc = 1;
    char name[] = "qt_forms_x11_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    QWidget form;
    form.setGeometry(0, 0, 200, 150);
    auto* first = new QtFlatTextBox(&form);
    first->setGeometry(5, 5, 150, 60);
    auto* second = new QtFlatTextBox(&form);
    second->setGeometry(5, 75, 150, 60);
    first->logic().setText(u"ab\n");
    second->logic().setText(u"cd");
    form.show();
    form.activateWindow();
    first->inner()->setFocus();
    first->inner()->moveCursor(QTextCursor::End);
    QElapsedTimer waited;
    waited.start();
    while (!(form.isActiveWindow() && first->inner()->hasFocus()) && waited.elapsed() < 20000)
        QApplication::processEvents();
    ASSERT_TRUE(first->inner()->hasFocus());

    std::vector<std::u16string> changes;
    first->logic().events.change = [&] { changes.push_back(first->logic().text()); };
    second->logic().events.change = [&] {
        changes.push_back(u"second: " + second->logic().text());
    };
    const auto type = [&](std::vector<std::string> keys, QWidget* focusedAfter) {
        keys.insert(keys.begin(), {"key", "--delay", "20"});
        const auto typed =
            platform::testing::runProgram(platform::testing::onPath("xdotool"), keys);
        ASSERT_EQ(typed.exitCode, 0) << typed.err;
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 300 || (!focusedAfter->hasFocus() && settle.elapsed() < 20000))
            QApplication::processEvents();
    };
    type({"Tab"}, second->inner());
    EXPECT_TRUE(second->inner()->hasFocus());
    type({"shift+Tab"}, first->inner());
    EXPECT_TRUE(first->inner()->hasFocus());
    EXPECT_EQ(first->logic().text(), u"ab\n");
    EXPECT_EQ(second->logic().text(), u"cd");
    EXPECT_TRUE(changes.empty());

    first->inner()->moveCursor(QTextCursor::End);
    type({"Return", "KP_Enter"}, first->inner());
    EXPECT_EQ(changes, (std::vector<std::u16string>{u"ab\n\n", u"ab\n\n\n"}));
}
