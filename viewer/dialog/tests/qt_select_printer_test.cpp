// The printer selection form on Qt's offscreen platform, driven as an unattended run drives it.
#include "viewer/dialog/qt_select_printer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "platform/com/runtime.h"
#include "platform/system/description.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/window/qt_window.h"
#include "strings/strings.h"
#include "viewer/log/log.h"
#include "viewer/selection/enumeration.h"
#include "viewer/selection/ports.h"
#include "viewer/selection/tests/step_log.h"
#include "viewer/state/module_state.h"

using namespace vistrel;

namespace {

class QtDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        resetModuleState();
        setLogEnabled(false);
        setLanguage(Language::English);
        ASSERT_TRUE(platform::system::describeMachine(R"({"printers": [
            {"device": "A", "port": "USB001", "driver": "HP Universal", "attributes": "0x40"},
            {"device": "B", "port": "USB002", "driver": "HP Universal", "attributes": "0x40"}],
            "ports": [{"name": "USB001", "monitor": "USB Monitor", "type": 3},
                      {"name": "USB002", "monitor": "USB Monitor", "type": 3}],
            "defaultPrinter": "A"})"));
        std::u16string server, message;
        GetAvailableprts(server);
        ASSERT_TRUE(GetAllPrinters(message));
        unsetenv("TESSEL_PRINTER_DIALOG_SCRIPT");
    }
    void TearDown() override {
        unsetenv("TESSEL_PRINTER_DIALOG_SCRIPT");
        setLanguage(std::nullopt);
        resetModuleState();
    }
    // Points the dialog at a script file (not written yet).
    std::filesystem::path script() {
        const auto file = machine.path() / "dialog-script";
        setenv("TESSEL_PRINTER_DIALOG_SCRIPT", file.c_str(), 1);
        return file;
    }
    static void write(const std::filesystem::path& file, const char* command) {
        std::ofstream(file.string() + ".tmp") << command;
        std::filesystem::rename(file.string() + ".tmp", file);
    }
    std::u16string& chosen() { return printSettings().SelectedPrinterName; }
    // Runs `f` once, on the first tick at which the dialog is shown, idle, with a printer shown.
    void onceShownAndIdle(std::function<void(dialog::SelectPrinterDialog*)> f) {
        QObject::connect(&watch, &QTimer::timeout, &app, [this, f] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* form = dynamic_cast<dialog::SelectPrinterDialog*>(w);
                if (!form || !form->isVisible() || form->controller().busy() ||
                    form->controller().currentPrinterName().empty())
                    continue;
                watch.stop();
                f(form);
                return;
            }
        });
        watch.start(10);
    }

    int argc = 1;
    char name[16] = "qt_dialog_test";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
    platform::testing::TempMachine machine;
    QTimer watch;
};

TEST_F(QtDialog, AScriptChoosesAPrinterAndPrints) {
    const auto file = script();
    write(file, "print b");
    chosen() = u"stale";
    EXPECT_EQ(dialog::showPrinterSelection(), u"");  // a printer was chosen: nothing to say
    EXPECT_EQ(chosen(), u"B");
    EXPECT_TRUE(std::filesystem::exists(file.string() + ".done"));
}

TEST_F(QtDialog, AScriptCancels) {
    const auto file = script();
    write(file, "cancel");
    EXPECT_EQ(dialog::showPrinterSelection(),
              u"TESSEL_PRINTER_DIALOG_SCRIPT의 cancel로 프린터 선택 창을 취소했습니다.");
    EXPECT_EQ(chosen(), u"");
}

// Where nobody can click, the dialog cancels at once and says that nobody could answer it.
TEST_F(QtDialog, UnattendedWithoutAScriptCancelsUnlessThePartnerPrintsAtOnce) {
    EXPECT_EQ(dialog::showPrinterSelection(),
              u"화면이 없는 Qt 플랫폼(offscreen)이라 프린터 선택 창에 답할 사람이 없어 창을 바로 "
              u"취소했습니다.");
    EXPECT_EQ(chosen(), u"");
    printSettings().RunType = u"DunmereAttach";
    EXPECT_EQ(dialog::showPrinterSelection(), u"");
    EXPECT_EQ(chosen(), u"A");
}

TEST_F(QtDialog, ASecondShowingWhileOneIsOpenIsRefused) {
    const auto file = script();
    bool nestedReturned = false;
    std::u16string nestedChoice = u"unset";
    std::u16string nestedWhy;
    QTimer::singleShot(0, &app, [&] {
        nestedWhy = dialog::showPrinterSelection();
        nestedReturned = true;
        nestedChoice = chosen();
        // The first dialog is still open and still works.
        write(file, "print");
    });
    dialog::showPrinterSelection();
    EXPECT_TRUE(nestedReturned);
    EXPECT_EQ(nestedChoice, u"");
    EXPECT_EQ(nestedWhy, u"프린터 선택 창이 이미 열려 있습니다.");
    EXPECT_EQ(chosen(), u"A");
}

TEST_F(QtDialog, TheFormShowsTheVerdict) {
    const auto file = script();
    QString verdict;
    // Once the first selection has run, read the form and press Print.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* form = dynamic_cast<dialog::SelectPrinterDialog*>(w);
            if (!form || form->controller().busy() ||
                form->controller().currentPrinterName().empty())
                continue;
            verdict = form->findChild<QWidget*>("Frame2")->property("title").toString();
            watch.stop();
            write(file, "print");
        }
    });
    watch.start(10);
    dialog::showPrinterSelection();
    EXPECT_EQ(verdict, QStringLiteral("Information - Available"));
    EXPECT_EQ(chosen(), u"A");
}

TEST_F(QtDialog, TheCloseCommandWaitsForThePrintButtonAndEscapeCancels) {
    script();  // no file: the dialog waits
    bool closedByCommand = true, stillShown = false;
    onceShownAndIdle([&](dialog::SelectPrinterDialog* form) {
        closedByCommand = form->close();
        stillShown = form->isVisible();
        auto* combo = form->findChild<QComboBox*>("cboPrinters");
        combo->setFocus();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(combo, &escape);
    });
    chosen() = u"stale";
    dialog::showPrinterSelection();
    EXPECT_FALSE(closedByCommand);
    EXPECT_TRUE(stillShown);
    EXPECT_EQ(chosen(), u"");
}

// The information panel read back as an operator reads it: every caption with the value that
// stands beside it, for a printer whose fields all differ.
TEST_F(QtDialog, EachCaptionOfThePanelStandsBesideTheValueItNames) {
    ASSERT_TRUE(platform::system::describeMachine(R"({"printers": [
        {"device": "Counter", "port": "IP_10.1.2.3", "driver": "Kyocera Classic",
         "attributes": "0x840", "dpi": 600,
         "jobs": [{"id": 4, "document": "one"}, {"id": 5, "document": "two"}]}],
        "ports": [{"name": "IP_10.1.2.3", "monitor": "Standard TCP/IP Port",
                   "description": "Front desk", "type": 3}],
        "defaultPrinter": "Counter"})"));
    std::u16string server, message;
    GetAvailableprts(server);
    ASSERT_TRUE(GetAllPrinters(message));
    const auto file = script();
    std::map<QString, QString> panel;
    QString listCaption;
    QString listBuddy;
    onceShownAndIdle([&](dialog::SelectPrinterDialog* form) {
        auto* grid = qobject_cast<QGridLayout*>(form->findChild<QWidget*>("Frame2")->layout());
        for (int row = 0; grid && row < grid->rowCount(); ++row) {
            QLayoutItem* captionItem = grid->itemAtPosition(row, 0);
            QLayoutItem* valueItem = grid->itemAtPosition(row, 1);
            auto* caption = captionItem ? qobject_cast<QLabel*>(captionItem->widget()) : nullptr;
            auto* value = valueItem ? qobject_cast<QLabel*>(valueItem->widget()) : nullptr;
            ASSERT_TRUE(caption && value) << row;
            panel[caption->text()] = value->text();
        }
        auto* list = form->findChild<QLabel*>("lblLabel1");
        listCaption = list->text();
        listBuddy = list->buddy() ? list->buddy()->objectName() : QString();
        write(file, "cancel");
    });
    dialog::showPrinterSelection();

    EXPECT_EQ(listCaption, QStringLiteral("Printer List: "));
    EXPECT_EQ(listBuddy, QStringLiteral("cboPrinters"));
    const std::map<QString, QString> expected = {
        {QStringLiteral("Type:"), QStringLiteral("Available")},
        {QStringLiteral("Port Name:"), QStringLiteral("IP_10.1.2.3")},
        {QStringLiteral("Printing Job(s):"), QStringLiteral("2 Printing...")},
        {QStringLiteral("Changable:"), QString()},
        {QStringLiteral("Printer Spooling:"), QString()},
        {QStringLiteral("Printed Doc.:"), QString()},
        {QStringLiteral("Printer Driver:"), QStringLiteral("Kyocera Classic")},
        {QStringLiteral("Monitor Name:"), QStringLiteral("Standard TCP/IP Port")},
        {QStringLiteral("Port Type:"), QStringLiteral("Write Read")},
        {QStringLiteral("Port Info.:"), QStringLiteral("Front desk")},
        {QStringLiteral("Intranet:"), QString()},
        {QStringLiteral("Resolution:"), QStringLiteral("600 DPI")},
        {QStringLiteral("Bidirectional Support:"), QStringLiteral("Use")},
        {QStringLiteral("Advanced Printing Features:"), QStringLiteral("Not use")},
    };
    for (const auto& [caption, value] : expected) {
        ASSERT_TRUE(panel.count(caption)) << caption.toStdString();
        EXPECT_EQ(panel[caption], value) << caption.toStdString();
    }
    EXPECT_EQ(panel.size(), expected.size());
}

TEST_F(QtDialog, ItOpensAtTheTopLeftCornerAndLogsTheTimeTheStepTook) {
    selection_test::captureLog(machine.path() / "bin");
    QPoint shownAt(-1, -1);
    QSize shownSize;
    // Where the form stands once it is shown (the script file never comes: it waits).
    const auto file = script();
    onceShownAndIdle([&](dialog::SelectPrinterDialog* form) {
        shownAt = form->pos();
        shownSize = form->size();
        write(file, "cancel");
    });
    dialog::showPrinterSelection();
    EXPECT_EQ(shownAt, QPoint(0, 0));
    EXPECT_FALSE(shownSize.isEmpty());

    // The step's time is measured: the line names a number of seconds above zero.
    const std::string log = selection_test::capturedLog();
    const std::string head = "A 설정 정보 구하기 완료(F)(";
    const auto at = log.find(head);
    ASSERT_NE(at, std::string::npos) << log;
    const auto end = log.find("초)", at);
    ASSERT_NE(end, std::string::npos);
    const std::string seconds = log.substr(at + head.size(), end - at - head.size());
    EXPECT_GT(std::stod(seconds), 0.0) << seconds;
    resetLog();
}

// The form hosts the keep-on-top control from its registration: while the form is shown it is
// the active window, and the control keeps it above the others.
TEST_F(QtDialog, TheRegisteredKeepOnTopControlKeepsTheShownFormOnTop) {
    auto r = platform::testing::runProgram(REGSVR, {"-s", PANELET_LIBRARY});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    selection_test::captureLog(machine.path() / "bin");
    const auto file = script();
    bool onTop = false, onTopWhenClosed = true;
    onceShownAndIdle([&](dialog::SelectPrinterDialog* form) {
        EXPECT_EQ(platform::window::activeWindow(), platform::window::attachWidget(form));
        QObject::connect(form, &QDialog::finished, &app, [&, form] {
            onTopWhenClosed = form->windowHandle()->flags() & Qt::WindowStaysOnTopHint;
        });
        onTop = form->windowHandle() && (form->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
        write(file, "print");
    });
    dialog::showPrinterSelection();
    EXPECT_TRUE(onTop);
    EXPECT_FALSE(onTopWhenClosed);
    EXPECT_EQ(chosen(), u"A");
    bool loaded = false;
    for (const auto& library : platform::com::loadedLibraries())
        loaded = loaded || library.filename() == "libPanelet.so";
    EXPECT_TRUE(loaded);
    EXPECT_EQ(selection_test::capturedLog().find("PANELET"), std::string::npos);
    resetLog();
}

// Without the control the dialog works as before, not kept on top, and the log says why once.
TEST_F(QtDialog, WithoutTheKeepOnTopControlTheDialogWorksAndTheLogSaysSoOnce) {
    selection_test::captureLog(machine.path() / "bin");
    const auto file = script();
    write(file, "print b");
    dialog::showPrinterSelection();
    EXPECT_EQ(chosen(), u"B");
    const std::string log = selection_test::capturedLog();
    const std::string line =
        "맨 위 고정 컨트롤(PANELET.PaneletCtrl.1)을 만들 수 없어 고정 없이 엽니다: ";
    const auto at = log.find(line);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find(line, at + 1), std::string::npos);
    EXPECT_EQ(log.find("PaneletCtrl"), at + line.find("PaneletCtrl"));
    resetLog();
}

}  // namespace
