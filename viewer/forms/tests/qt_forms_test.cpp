#include "viewer/forms/qt_forms.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>

#include "platform/gdi/text.h"

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

}  // namespace
