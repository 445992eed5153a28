#include "viewer/forms/qt_forms.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <vector>

#include "platform/gdi/text.h"
#include "viewer/forms/qt_keys.h"

namespace {

using namespace vistrel::forms;

class QtForms : public ::testing::Test {
  protected:
    int argc = 1;
    char name[14] = "qt_forms_test";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

TEST_F(QtForms, ButtonPaintsAndClicks) {
    QWidget form;
    form.resize(300, 200);
    auto* button = new QtXButton(&form, QStringLiteral("&Print"));
    button->setGeometry(10, 20, 80, 24);
    button->logic().setButtonType(3);
    int clicks = 0;
    button->logic().events.click = [&] { ++clicks; };
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(button->logic().width(), 80);
    EXPECT_EQ(button->logic().surface().pixel(30, 0), 0x733C00u);
    EXPECT_EQ(button->logic().accessKey(), u'p');

    const QPointF inside(20, 10);
    QMouseEvent press(QEvent::MouseButtonPress, inside, button->mapToGlobal(inside), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    EXPECT_EQ(button->logic().lastState(), 2);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, button->mapToGlobal(inside),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &release);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(button->grab().isNull());
}

TEST_F(QtForms, TextBoxMirrorsItsLogicAndForwardsKeys) {
    QWidget form;
    auto* box = new QtFlatTextBox(&form);
    box->setGeometry(5, 5, 120, 40);
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(box->inner()->geometry(), QRect(2, 2, 116, 36));
    box->logic().setText(u"Line 1\r\nLine 2");
    EXPECT_TRUE(box->inner()->toPlainText().startsWith(QStringLiteral("Line 1")));

    int changes = 0;
    box->logic().events.change = [&] { ++changes; };
    box->logic().events.keyPress = [](short& ascii) {
        if (ascii == 'x') ascii = 0;  // the host refuses this character
    };
    box->inner()->setFocus();
    for (QString t : {QStringLiteral("a"), QStringLiteral("x")}) {
        QKeyEvent key(QEvent::KeyPress, t == "a" ? Qt::Key_A : Qt::Key_X, Qt::NoModifier, t);
        QApplication::sendEvent(box->inner(), &key);
    }
    EXPECT_TRUE(box->inner()->toPlainText().contains('a'));
    EXPECT_FALSE(box->inner()->toPlainText().contains('x'));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(box->logic().text(), box->inner()->toPlainText().toStdU16String());
}

// What the host does with KeyDown's key code and KeyPress's character, by reference, decides
// what the inner text box receives.
TEST_F(QtForms, TextBoxPassesOnTheKeysItsHostLeaves) {
    struct Case {
        const char* name;
        short setCode;   // -1: KeyDown leaves the code
        short setAscii;  // -1: KeyPress leaves the character
        Qt::Key key;
        const char* text;
        const char* after;  // the box's text afterwards, from "ab" with the caret after "a"
    };
    const Case cases[] = {
        {"nothing changed", -1, -1, Qt::Key_X, "x", "axb"},
        {"another character", -1, 'y', Qt::Key_X, "x", "ayb"},
        {"character taken away", -1, 0, Qt::Key_X, "x", "ab"},
        {"character made a backspace", -1, 8, Qt::Key_X, "x", "b"},
        {"character made a tab: typed, the focus stays", -1, 9, Qt::Key_X, "x", "a\tb"},
        {"delete turned into a right arrow", 39, -1, Qt::Key_Delete, "", "ab"},
        {"delete taken away", 0, -1, Qt::Key_Delete, "", "ab"},
        {"backspace taken away", 0, -1, Qt::Key_Backspace, "\b", "ab"},
        {"a letter's code made delete: deletes, then types", 46, -1, Qt::Key_X, "x", "ax"},
        {"a letter's code taken away: the character still comes", 0, -1, Qt::Key_X, "x", "axb"},
    };
    for (const Case& c : cases) {
        QWidget form;
        auto* box = new QtFlatTextBox(&form);
        box->setGeometry(5, 5, 120, 40);
        form.show();
        QApplication::processEvents();
        box->logic().setText(u"ab");
        QTextCursor cursor = box->inner()->textCursor();
        cursor.setPosition(1);
        box->inner()->setTextCursor(cursor);
        box->inner()->setFocus();
        int downs = 0;
        box->logic().events.keyDown = [&](short& code, short&) {
            ++downs;
            if (c.setCode >= 0) code = c.setCode;
        };
        box->logic().events.keyPress = [&](short& ascii) {
            if (c.setAscii >= 0) ascii = c.setAscii;
        };
        QKeyEvent key(QEvent::KeyPress, c.key, Qt::NoModifier, QString::fromLatin1(c.text));
        QApplication::sendEvent(box->inner(), &key);
        EXPECT_EQ(box->inner()->toPlainText(), QString::fromLatin1(c.after)) << c.name;
        EXPECT_EQ(box->logic().text(), box->inner()->toPlainText().toStdU16String()) << c.name;
        EXPECT_EQ(downs, 1) << c.name;
    }
}

// Tab and Shift+Tab move the focus on, or back, as the platform's text box does: the host gets
// KeyDown with the Tab key's code and no KeyPress, and no tab goes into the text, whether
// another control takes the focus or the box is the only one. A host that takes the key's code
// away keeps the focus where it is.
TEST_F(QtForms, TabAndShiftTabMoveTheFocusAndTypeNothing) {
    const struct {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool secondControl;
        bool codeTakenAway;
        bool focusMoves;
    } cases[] = {
        {"Tab", Qt::Key_Tab, Qt::NoModifier, true, false, true},
        {"Shift+Tab", Qt::Key_Backtab, Qt::ShiftModifier, true, false, true},
        {"Tab, the only control", Qt::Key_Tab, Qt::NoModifier, false, false, false},
        {"Shift+Tab, the only control", Qt::Key_Backtab, Qt::ShiftModifier, false, false, false},
        {"Tab whose code the host takes away", Qt::Key_Tab, Qt::NoModifier, true, true, false},
    };
    for (const auto& c : cases) {
        QWidget form;
        auto* box = new QtFlatTextBox(&form);
        box->setGeometry(5, 5, 120, 40);
        QWidget* other = nullptr;
        if (c.secondControl) {
            other = new QtFlatTextBox(&form);
            other->setGeometry(5, 50, 120, 40);
        }
        form.show();
        QApplication::processEvents();
        box->logic().setText(u"ab");
        box->inner()->setFocus();
        ASSERT_EQ(form.focusWidget(), box->inner()) << c.name;
        std::vector<short> downs, presses;
        int changes = 0;
        box->logic().events.keyDown = [&](short& code, short&) {
            downs.push_back(code);
            if (c.codeTakenAway) code = 0;
        };
        box->logic().events.keyPress = [&](short& ascii) { presses.push_back(ascii); };
        box->logic().events.change = [&] { ++changes; };
        QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers, QStringLiteral("\t"));
        QApplication::sendEvent(box->inner(), &press);
        EXPECT_EQ(box->inner()->toPlainText(), QStringLiteral("ab")) << c.name;
        EXPECT_EQ(box->logic().text(), u"ab") << c.name;
        EXPECT_EQ(changes, 0) << c.name;
        EXPECT_EQ(downs, std::vector<short>{9}) << c.name;
        EXPECT_TRUE(presses.empty()) << c.name;
        QWidget* want = c.focusMoves ? static_cast<QtFlatTextBox*>(other)->inner() : box->inner();
        EXPECT_EQ(form.focusWidget(), want) << c.name;
    }
}

// Change comes once for each change of the text and never for an edit that leaves it as it
// was: a line break typed after the one that ends the text raises it once, with the new text.
TEST_F(QtForms, TextBoxRaisesChangeOnlyWhenItsTextChanged) {
    const struct {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char16_t* before;
        const char16_t* after;
    } cases[] = {
        {"Return", Qt::Key_Return, Qt::NoModifier, u"ab", u"ab\n"},
        {"Return after a line break", Qt::Key_Return, Qt::NoModifier, u"ab\n", u"ab\n\n"},
        {"keypad Enter after a line break", Qt::Key_Enter, Qt::KeypadModifier, u"ab\n", u"ab\n\n"},
        {"a letter after a line break", Qt::Key_C, Qt::NoModifier, u"ab\n", u"ab\nc"},
    };
    for (const auto& c : cases) {
        QWidget form;
        auto* box = new QtFlatTextBox(&form);
        box->setGeometry(5, 5, 120, 60);
        form.show();
        QApplication::processEvents();
        box->logic().setText(c.before);
        box->inner()->setFocus();
        box->inner()->moveCursor(QTextCursor::End);
        std::vector<std::u16string> changes;
        box->logic().events.change = [&] { changes.push_back(box->logic().text()); };
        const QString typed = c.key == Qt::Key_C ? QStringLiteral("c") : QStringLiteral("\r");
        QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers, typed);
        QApplication::sendEvent(box->inner(), &press);
        EXPECT_EQ(changes, std::vector<std::u16string>{c.after}) << c.name;
    }
    // Setting the text it already has changes nothing either.
    QWidget form;
    auto* box = new QtFlatTextBox(&form);
    box->logic().setText(u"same");
    int changes = 0;
    box->logic().events.change = [&] { ++changes; };
    box->logic().setText(u"same");
    EXPECT_EQ(changes, 0);
    box->logic().setText(u"other");
    EXPECT_EQ(changes, 1);
}

// The key codes and characters the host gets are those of the platform's text box: the
// modifier and lock keys have their own codes, Delete types no character, and the keypad's keys
// are told apart from the main keyboard's.
TEST_F(QtForms, TextBoxHandsTheHostThePlatformsKeyCodes) {
    constexpr auto kKeypad = Qt::KeypadModifier;
    const struct {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* text;
        short code;
        short ascii;  // -1: no KeyPress
    } cases[] = {
        {"Shift", Qt::Key_Shift, Qt::ShiftModifier, "", 16, -1},
        {"Ctrl", Qt::Key_Control, Qt::ControlModifier, "", 17, -1},
        {"Alt", Qt::Key_Alt, Qt::AltModifier, "", 18, -1},
        {"Caps Lock", Qt::Key_CapsLock, Qt::NoModifier, "", 20, -1},
        {"Num Lock", Qt::Key_NumLock, kKeypad, "", 144, -1},
        {"Delete", Qt::Key_Delete, Qt::NoModifier, "\x7f", 46, -1},
        {"keypad Delete", Qt::Key_Delete, kKeypad, "\x7f", 46, -1},
        {"Backspace", Qt::Key_Backspace, Qt::NoModifier, "\b", 8, 8},
        {"Enter", Qt::Key_Return, Qt::NoModifier, "\r", 13, 13},
        {"keypad Enter", Qt::Key_Enter, kKeypad, "\r", 13, 13},
        {"Esc", Qt::Key_Escape, Qt::NoModifier, "\x1b", 27, 27},
        {"Shift+Tab", Qt::Key_Backtab, Qt::ShiftModifier, "", 9, -1},
        {"1", Qt::Key_1, Qt::NoModifier, "1", 49, '1'},
        {"keypad 0", Qt::Key_0, kKeypad, "0", 96, '0'},
        {"keypad 1", Qt::Key_1, kKeypad, "1", 97, '1'},
        {"keypad 5", Qt::Key_5, kKeypad, "5", 101, '5'},
        {"keypad 9", Qt::Key_9, kKeypad, "9", 105, '9'},
        {"keypad *", Qt::Key_Asterisk, kKeypad, "*", 106, '*'},
        {"keypad +", Qt::Key_Plus, kKeypad, "+", 107, '+'},
        {"keypad -", Qt::Key_Minus, kKeypad, "-", 109, '-'},
        {"keypad .", Qt::Key_Period, kKeypad, ".", 110, '.'},
        {"keypad , (a comma layout's point)", Qt::Key_Comma, kKeypad, ",", 110, ','},
        {"keypad /", Qt::Key_Slash, kKeypad, "/", 111, '/'},
        {"keypad 1 without Num Lock", Qt::Key_End, kKeypad, "", 35, -1},
        {"keypad 5 without Num Lock", Qt::Key_Clear, kKeypad, "", 12, -1},
        {"keypad 0 without Num Lock", Qt::Key_Insert, kKeypad, "", 45, -1},
        {"A", Qt::Key_A, Qt::ShiftModifier, "A", 65, 'A'},
        {"F5", Qt::Key_F5, Qt::NoModifier, "", 116, -1},
        {"Page Down", Qt::Key_PageDown, Qt::NoModifier, "", 34, -1},
    };
    QWidget form;
    auto* box = new QtFlatTextBox(&form);
    box->setGeometry(5, 5, 120, 40);
    form.show();
    QApplication::processEvents();
    box->inner()->setFocus();
    std::vector<short> downs, ups, presses;
    box->logic().events.keyDown = [&](short& code, short&) { downs.push_back(code); };
    box->logic().events.keyUp = [&](short& code, short&) { ups.push_back(code); };
    box->logic().events.keyPress = [&](short& ascii) { presses.push_back(ascii); };
    for (const auto& c : cases) {
        downs.clear();
        ups.clear();
        presses.clear();
        const QString text = QString::fromLatin1(c.text);
        QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers, text);
        QApplication::sendEvent(box->inner(), &press);
        QKeyEvent release(QEvent::KeyRelease, c.key, c.modifiers, text);
        QApplication::sendEvent(box->inner(), &release);
        EXPECT_EQ(downs, std::vector<short>{c.code}) << c.name;
        EXPECT_EQ(ups, std::vector<short>{c.code}) << c.name;
        EXPECT_EQ(presses, c.ascii < 0 ? std::vector<short>{} : std::vector<short>{c.ascii})
            << c.name;
    }
}

// A code the host puts in place of the key's own becomes the Qt key that does the same: each
// code maps back to itself.
TEST(QtKeys, EveryCodeWithAQtKeyMapsBackToItself) {
    int mapped = 0;
    for (short code = 1; code < 256; ++code) {
        const int qt = qtKeyOf(code);
        if (qt == Qt::Key_unknown) continue;
        ++mapped;
        EXPECT_TRUE(keyCodeOf(qt, false) == code || keyCodeOf(qt, true) == code) << code;
    }
    EXPECT_GT(mapped, 80);
}

// Click comes from the left button pressed and released over the text box, and from nothing
// else; the mouse events themselves go to the host for every button.
TEST_F(QtForms, TextBoxClickIsTheLeftButtonOverIt) {
    QWidget form;
    auto* box = new QtFlatTextBox(&form);
    box->setGeometry(5, 5, 120, 40);
    form.show();
    QApplication::processEvents();
    int clicks = 0, ups = 0;
    box->logic().events.click = [&] { ++clicks; };
    box->logic().events.mouseUp = [&](short&, short&, float&, float&) { ++ups; };
    QWidget* surface = box->inner()->viewport();
    const auto send = [&](QEvent::Type type, Qt::MouseButton button, QPointF at) {
        QMouseEvent event(type, at, surface->mapToGlobal(at), button,
                          type == QEvent::MouseButtonPress ? Qt::MouseButtons(button)
                                                           : Qt::MouseButtons(Qt::NoButton),
                          Qt::NoModifier);
        QApplication::sendEvent(surface, &event);
    };
    const QPointF inside(10, 10), outside(500, 10);
    struct Case {
        const char* name;
        Qt::MouseButton button;
        QPointF pressAt, releaseAt;
        int clicks;
    };
    const Case cases[] = {
        {"left, inside", Qt::LeftButton, inside, inside, 1},
        {"right, inside", Qt::RightButton, inside, inside, 0},
        {"middle, inside", Qt::MiddleButton, inside, inside, 0},
        {"left, released outside", Qt::LeftButton, inside, outside, 0},
    };
    for (const Case& c : cases) {
        clicks = ups = 0;
        send(QEvent::MouseButtonPress, c.button, c.pressAt);
        send(QEvent::MouseButtonRelease, c.button, c.releaseAt);
        EXPECT_EQ(clicks, c.clicks) << c.name;
        EXPECT_EQ(ups, 1) << c.name;
    }
    // A release without its press is no click.
    clicks = 0;
    send(QEvent::MouseButtonRelease, Qt::LeftButton, inside);
    EXPECT_EQ(clicks, 0);
}

}  // namespace
