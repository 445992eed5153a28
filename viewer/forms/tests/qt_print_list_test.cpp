// The printer list form on real widgets (offscreen): it lists the printers, its custom print
// button hands back the selected one, and its timer puts it on top once.
#include "viewer/forms/qt_print_list.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>

#include "platform/testing/temp_machine.h"
#include "platform/window/qt_window.h"
#include "strings/strings.h"
#include "viewer/forms/qt_forms.h"
#include "viewer/state/module_state.h"

namespace {

using namespace vistrel;
using namespace vistrel::forms;

void click(QWidget* button) {
    const QPointF inside(10, 10);
    QMouseEvent press(QEvent::MouseButtonPress, inside, button->mapToGlobal(inside), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, button->mapToGlobal(inside),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &release);
}

TEST(QtPrintListForm, ListsChoosesAndGoesOnTop) {
    platform::testing::TempMachine machine;
    int argc = 1;
    char name[20] = "qt_print_list_test";
    char* argv[2] = {name, nullptr};
    QApplication app(argc, argv);
    resetModuleState();
    setLanguage(Language::English);
    moduleState().print.SelectedPrinterName = u"stale";

    QtPrintList form(nullptr, {[] {
                                   return std::vector<std::u16string>{u"A", u"B", u"C"};
                               },
                               nullptr});
    EXPECT_EQ(moduleState().print.SelectedPrinterName, u"");
    EXPECT_EQ(form.windowTitle(), ">>> Printer list which the issue is possible <<<");
    auto* list = form.findChild<QComboBox*>("cboPrinters");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(list->currentText(), "A");
    EXPECT_EQ(form.findChild<QLineEdit*>("lstPrint")->text(), "C");
    form.show();
    QApplication::processEvents();

    auto* timer = form.findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 1000);
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection));
    EXPECT_FALSE(timer->isActive());
    EXPECT_TRUE(platform::window::isTopmost(platform::window::attachWidget(&form)));

    list->setCurrentIndex(1);
    auto* print = form.findChild<QtXButton*>("cmdPrint");
    ASSERT_NE(print, nullptr);
    EXPECT_EQ(print->logic().caption(), u"OK");
    click(print);
    EXPECT_EQ(moduleState().print.SelectedPrinterName, u"B");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    setLanguage(std::nullopt);
    resetModuleState();
}

}  // namespace
