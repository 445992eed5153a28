#include "viewer/dialog/select_printer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <set>
#include "platform/system/description.h"
#include "platform/testing/cupsd.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/strings.h"
#include "platform/text/text.h"
#include "platform/window/window.h"
#include "strings/strings.h"
#include "viewer/log/log.h"
#include "viewer/selection/enumeration.h"
#include "viewer/selection/ports.h"
#include "viewer/selection/tests/step_log.h"
#include "viewer/selection/vplist.h"
#include "viewer/state/module_state.h"

using namespace vistrel;
using namespace vistrel::dialog;
namespace ui = platform::ui;
using selection_test::capturedLog;
using selection_test::captureLog;
using selection_test::kLogHead;

namespace {

// The form, recorded: what the controller set last on every control.
class FakeView : public SelectPrinterView {
  public:
    void setText(Control c, const std::u16string& t) override { text[c] = t; }
    void setColour(Control c, std::uint32_t colour) override { colours[c] = colour; }
    void setEnabled(Control c, bool on) override { enabled[c] = on; }
    void focus(Control c) override { focused = c; }
    void setPrinters(const std::vector<std::u16string>& names) override {
        list = names;
        combo.clear();
    }
    std::u16string comboText() const override { return combo; }
    bool selectPrinter(const std::u16string& name) override {
        for (const auto& n : list)
            if (platform::text::equalsNoCase(n, name)) {
                combo = n;
                return true;
            }
        return false;
    }
    void setWaitCursor(bool on) override { waitCursor = on; }
    void startTimer() override { timer = true; }
    void stopTimer() override { timer = false; }
    void yield() override {
        ++yields;
        if (onYield) onYield();
    }
    void dismiss() override { ++closes; }

    bool on(Control c) const {
        auto it = enabled.find(c);
        return it != enabled.end() && it->second;
    }

    std::map<Control, std::u16string> text;
    std::map<Control, std::uint32_t> colours;
    std::map<Control, bool> enabled;
    Control focused = Control::Form;
    std::vector<std::u16string> list;
    std::u16string combo;
    bool waitCursor = false;
    bool timer = false;
    int yields = 0;
    int closes = 0;
    std::function<void()> onYield;
};

// Message boxes with scripted answers and a hook that runs while a box is open.
class FakeBoxes : public ui::MessageBoxes {
  public:
    int show(const std::u16string& text, const std::u16string& caption, unsigned style) override {
        shown.push_back({text, caption, style});
        if (whileOpen) whileOpen();
        if (!answers.empty()) {
            int a = answers.front();
            answers.erase(answers.begin());
            return a;
        }
        return ui::defaultAnswer(style);
    }
    struct Box {
        std::u16string text, caption;
        unsigned style;
    };
    std::vector<Box> shown;
    std::vector<int> answers;
    std::function<void()> whileOpen;
};

std::string printerJson(const std::string& device, const std::string& more = "",
                        const std::string& port = "USB001",
                        const std::string& driver = "HP Universal") {
    return R"({"device": ")" + device + R"(", "port": ")" + port + R"(", "driver": ")" + driver +
           R"(", "attributes": "0x40")" + more + "}";
}

const std::string kPorts =
    R"("ports": [{"name": "USB001", "monitor": "USB Monitor", "type": 3},
                 {"name": "USB002", "monitor": "USB Monitor", "type": 3},
                 {"name": "LPT3:", "monitor": "Local Port", "type": 7},
                 {"name": "WSD-1", "monitor": "WSD Port Monitor", "type": 3}])";

// A described machine, the module lists filled as the viewer fills them before the dialog,
// and a controller over fakes.
class Dialog : public ::testing::Test {
  public:
    void SetUp() override {
        resetModuleState();
        setLogEnabled(false);
        setLanguage(Language::English);
        services.boxes = &boxes;
        services.sleep = [this](int ms) {
            sleeps.push_back(ms);
            if (onSleep) onSleep();
        };
        services.seconds = [this] { return now += 0.25; };
        services.topmost = [this](bool on) { topmost.push_back(on); };
    }
    void TearDown() override {
        setLanguage(std::nullopt);
        resetModuleState();
    }

    // The machine: printers (JSON objects) and further top-level entries.
    void machine(const std::vector<std::string>& printers, const std::string& extra = "") {
        std::string json = R"({"printers": [)";
        for (std::size_t i = 0; i < printers.size(); ++i) json += (i ? "," : "") + printers[i];
        json += "], " + kPorts;
        if (!extra.empty()) json += ", " + extra;
        ASSERT_TRUE(platform::system::describeMachine(json + "}"));
        std::u16string server, message;
        GetAvailableprts(server);
        SetVirtualPrinter();
        GetAllPrinters(message);
    }

    DialogProbes probes() {
        DialogProbes p = DialogProbes::machine();
        p.virtualDriver = [this](std::u16string_view name, std::u16string& company,
                                 std::u16string& product) {
            company = u"Capture Co";
            product = u"Capture";
            return virtualNames.count(std::u16string(name)) > 0;
        };
        p.postscript = [this](std::u16string_view name, std::u16string& company,
                              std::u16string& driver) {
            company = u"PS Co";
            driver = u"PS Driver";
            return postscriptNames.count(std::u16string(name)) > 0;
        };
        if (jobs) p.queuedJobs = jobs;
        return p;
    }

    // Loads and activates the dialog over this thread's values.
    SelectPrinterController& open() {
        controller = std::make_unique<SelectPrinterController>(view, services, probes(),
                                                               printSettings().SelectedPrinterName);
        controller->load(DialogSnapshot::current());
        controller->activate();
        return *controller;
    }

    // The dialog over the kiosk's CUPS queues, the probes run as before it opens, with printer
    // errors checked and TCP/IP printers allowed.
    void openOnCups() {
        ASSERT_TRUE(platform::system::describeMachine(R"({"spooler": "cups"})"));
        std::u16string server, message;
        GetAvailableprts(server);
        SetVirtualPrinter();
        ASSERT_TRUE(GetAllPrinters(message)) << platform::text::toUtf8(message);
        printSettings().PrinterErrorCheck = true;
        printSettings().UseTcpIpPrinter = true;
        open();
    }

    void choose(const std::u16string& name) {
        ASSERT_TRUE(view.selectPrinter(name));
        controller->selectionChanged();
    }

    std::u16string verdict() const {
        auto it = view.text.find(Control::Frame2);
        return it == view.text.end() ? u"" : it->second;
    }

    platform::testing::TempMachine temp;
    FakeView view;
    FakeBoxes boxes;
    DialogServices services;
    std::vector<int> sleeps;
    std::function<void()> onSleep;
    std::vector<bool> topmost;
    double now = 0;
    std::set<std::u16string> virtualNames, postscriptNames;
    std::function<std::int32_t(std::u16string_view)> jobs;
    std::unique_ptr<SelectPrinterController> controller;
};

const std::u16string kAvailable = u"Information - Available";
const std::u16string kUnavailable = u"Information - Unavailable";

TEST_F(Dialog, VerdictRows) {
    struct Row {
        const char* name;
        std::string printer;
        std::function<void(PrintSettings&)> settings;
        bool print, setup, test;
        std::u16string verdict;
        const char16_t* statusHas;  // "" for no check
    };
    auto none = [](PrintSettings&) {};
    const std::vector<Row> rows = {
        {"admitted local printer", printerJson("P"), none, true, true, false, kAvailable,
         u"local printer"},
        {"test button follows TestEnable", printerJson("P"),
         [](PrintSettings& s) { s.TestEnable = true; }, true, true, true, kAvailable, u""},
        {"file printer refused", printerJson("P", "", "FILE:"), none, false, false, false,
         kUnavailable, u""},
        {"no rights: refused unless local user mode",
         printerJson("P", R"(, "canAdminister": false)"), none, false, false, false, kUnavailable,
         u"manage a printer"},
        {"no rights on the intranet", printerJson("P", R"(, "canAdminister": false)"),
         [](PrintSettings& s) { s.UseIntranet = true; }, true, true, false, kAvailable, u""},
        {"no rights with AccessAll", printerJson("P", R"(, "canAdminister": false)"),
         [](PrintSettings& s) { s.AccessAll = true; }, true, true, false, kAvailable, u""},
        {"denied driver in local user mode", printerJson("P"),
         [](PrintSettings& s) {
             s.EmulateLocal = true;
             s.DenyDriverList = {u"hp universal"};
         },
         true, false, false, kUnavailable, u"(로컬사용자모드)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        resetModuleState();
        machine({row.printer}, R"("defaultPrinter": "P")");
        row.settings(printSettings());
        view = FakeView{};
        open();
        EXPECT_EQ(controller->currentPrinterName(), u"P");
        EXPECT_EQ(view.on(Control::cmdPrint), row.print);
        EXPECT_EQ(view.on(Control::prnSetup), row.setup);
        EXPECT_EQ(view.on(Control::cmdTest), row.test);
        EXPECT_EQ(verdict(), row.verdict);
        if (*row.statusHas) {
            EXPECT_NE(controller->statusText().find(row.statusHas), std::u16string::npos)
                << platform::text::toUtf8(controller->statusText());
        }
        // Whatever the verdict, the user can always cancel or look again.
        EXPECT_TRUE(view.on(Control::cmdCancel));
        EXPECT_TRUE(view.on(Control::cmdRefresh));
        EXPECT_TRUE(view.on(Control::cboPrinters));
        EXPECT_FALSE(view.waitCursor);
        EXPECT_FALSE(controller->busy());
        EXPECT_TRUE(view.timer);
    }
}

TEST_F(Dialog, VirtualOrPostscriptProbeRefusesButCancelStaysReachable) {
    machine({printerJson("V"), printerJson("PS"), printerJson("OK", "", "USB002")});
    virtualNames = {u"V"};
    postscriptNames = {u"PS"};
    open();
    choose(u"V");
    EXPECT_EQ(verdict(), kUnavailable);
    EXPECT_EQ(controller->statusText(),
              u"The printer to be selected is a virtual printer not to issue the certificate.\r\n"
              u"\r\nPrinter Name:  V\r\nCompany Name:  Capture Co\r\nProduct Name:  Capture");
    EXPECT_TRUE(view.on(Control::cmdCancel));
    EXPECT_TRUE(view.on(Control::cmdRefresh));
    EXPECT_FALSE(view.waitCursor);
    choose(u"PS");
    EXPECT_EQ(verdict(), kUnavailable);
    EXPECT_EQ(controller->statusText(),
              u"The printer to be selected is a postscript support printer which a certificate "
              u"issue is prohibited.\r\n\r\nCompany Name:  PS Co\r\nDriver Name:  PS Driver");
    EXPECT_TRUE(view.on(Control::cmdCancel));
    choose(u"OK");
    EXPECT_EQ(verdict(), kAvailable);

    // PostScript printers allowed: no probe, admitted.
    resetModuleState();
    machine({printerJson("PS")});
    printSettings().UsePostscriptPrinter = true;
    view = FakeView{};
    open();
    choose(u"PS");
    EXPECT_EQ(verdict(), kAvailable);
}

TEST_F(Dialog, StatusChecks) {
    struct Row {
        const char* name;
        std::uint32_t status;
        bool errorCheck;
        bool tonerLowEnable;
        std::vector<int> answers;
        bool ok;
        std::size_t questions;
        const char16_t* statusHas;
    };
    const std::vector<Row> rows = {
        {"ready", 0, true, false, {}, true, 0, u""},
        {"paused and error together is no error", 3, true, false, {}, true, 0, u""},
        {"paper jam alone is an error", 8, true, false, {}, false, 0, u"cannot be issued"},
        {"error status not read without the check", 8, false, false, {}, true, 0, u""},
        {"toner low, print anyway", 0x20000, true, false, {ui::vbYes}, true, 1, u""},
        {"toner low, refused", 0x20000, true, false, {ui::vbNo}, false, 1, u"Toner Low"},
        {"toner low allowed by the settings", 0x20000, true, true, {}, true, 0, u""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        resetModuleState();
        machine({printerJson("P", R"(, "status": )" + std::to_string(row.status))},
                R"("defaultPrinter": "P")");
        printSettings().PrinterErrorCheck = row.errorCheck;
        printSettings().TownerLowEnable = row.tonerLowEnable;
        view = FakeView{};
        boxes = FakeBoxes{};
        boxes.answers = row.answers;
        topmost.clear();
        open();
        EXPECT_EQ(controller->isOk(), row.ok);
        EXPECT_EQ(boxes.shown.size(), row.questions);
        if (row.questions) {
            EXPECT_EQ(boxes.shown[0].caption, u"Towner Low");
            EXPECT_EQ(boxes.shown[0].style, unsigned(ui::vbYesNo | ui::vbQuestion));
            // The dialog leaves the top while the question is open, and comes back after it.
            EXPECT_EQ(topmost, (std::vector<bool>{true, true, true, false, true}));
        }
        if (*row.statusHas) {
            EXPECT_NE(controller->statusText().find(row.statusHas), std::u16string::npos)
                << platform::text::toUtf8(controller->statusText());
        }
        // Without the check the status is red even for an admitted printer.
        if (!row.errorCheck) {
            EXPECT_EQ(view.colours[Control::txtStatus], kColourRed);
        }
    }
}

TEST_F(Dialog, DenyLists) {
    struct Row {
        const char* name;
        std::vector<std::u16string> drivers, ports;
        bool ok;
        const char16_t* message;
    };
    const std::vector<Row> rows = {
        {"never filled", {}, {}, true, u""},
        {"driver in another case",
         {u"other", u"HP UNIVERSAL"},
         {},
         false,
         u"관리자에 의하여 인쇄가 제한되어 있는 프린터입니다."},
        {"driver by containment is not enough", {u"HP"}, {}, true, u""},
        {"port",
         {},
         {u"usb001"},
         false,
         u"관리자에 의하여 인쇄가 제한되어 있는 프린터 포트입니다."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        resetModuleState();
        machine({printerJson("P")}, R"("defaultPrinter": "P")");
        printSettings().DenyDriverList = row.drivers;
        printSettings().DenyPortList = row.ports;
        view = FakeView{};
        open();
        EXPECT_EQ(controller->isOk(), row.ok);
        if (*row.message) {
            EXPECT_EQ(controller->statusText(), row.message);
        }
    }
}

TEST_F(Dialog, ReselectingDoesNothingAndRefreshRunsAgain) {
    machine({printerJson("P")}, R"("defaultPrinter": "P")");
    open();
    int steps = 0;
    view.onYield = [&] { ++steps; };
    controller->selectionChanged();
    EXPECT_EQ(steps, 0);
    controller->refreshClicked();
    EXPECT_EQ(steps, 2);  // the step lets pending events run twice
    EXPECT_EQ(controller->currentPrinterName(), u"P");
}

TEST_F(Dialog, DefaultPrinterSelection) {
    machine({printerJson("A"), printerJson("B", "", "USB002")}, R"("defaultPrinter": "b")");
    open();
    EXPECT_EQ(view.combo, u"B");
    EXPECT_EQ(controller->currentPrinterName(), u"B");
    EXPECT_EQ(view.focused, Control::cmdPrint);

    // No default and no runtime printer: nothing is selected, nothing runs.
    resetModuleState();
    machine({printerJson("A")});
    view = FakeView{};
    controller = std::make_unique<SelectPrinterController>(
        view, services,
        [&] {
            auto p = probes();
            p.runtimePrinter = [] { return std::u16string(); };
            return p;
        }(),
        printSettings().SelectedPrinterName);
    controller->load(DialogSnapshot::current());
    controller->activate();
    EXPECT_EQ(view.combo, u"");
    EXPECT_EQ(controller->currentPrinterName(), u"");
    EXPECT_FALSE(view.on(Control::cmdPrint));
}

// The properties button leaves the top and comes back, around stopping the timer.
TEST_F(Dialog, PropertiesButtonSwitchesTheTopOffAndOn) {
    machine({printerJson("P")}, R"("defaultPrinter": "P")");
    open();
    topmost.clear();
    controller->setupClicked();
    EXPECT_EQ(topmost, (std::vector<bool>{false, true}));
}

// The switch the form is given when the keep-on-top control is registered: the control from
// libPanelet.so, acting on the thread's active window and on no other.
TEST_F(Dialog, TheHostedKeepOnTopControlActsOnTheActiveWindow) {
    auto r = platform::testing::runProgram(REGSVR, {"-s", PANELET_LIBRARY});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    namespace window = platform::window;
    window::resetForTests();
    const window::Hwnd form = window::createWindow(0, {0, 0, 300, 200}, u"frmSelectPrinter");
    const window::Hwnd other = window::createWindow(0, {10, 10, 100, 100}, u"other");
    window::setActiveWindow(form);
    captureLog(temp.path() / "bin");
    const auto keepOnTop = hostKeepOnTop();
    keepOnTop(true);
    EXPECT_TRUE(window::isTopmost(form));
    EXPECT_FALSE(window::isTopmost(other));
    EXPECT_EQ(window::windowRect(form), (platform::gdi::Rect{0, 0, 300, 200}));
    keepOnTop(false);
    EXPECT_FALSE(window::isTopmost(form));
    window::setActiveWindow(0);
    keepOnTop(true);  // no active window: nothing happens
    EXPECT_FALSE(window::isTopmost(form));
    EXPECT_FALSE(window::isTopmost(other));
    EXPECT_EQ(capturedLog(), "");
    resetLog();
    window::resetForTests();
}

TEST_F(Dialog, PrintHandsBackTheChosenPrinter) {
    machine({printerJson("P")}, R"("defaultPrinter": "P")");
    open();
    topmost.clear();
    controller->printClicked();
    EXPECT_EQ(printSettings().SelectedPrinterName, u"P");
    EXPECT_EQ(view.closes, 1);
    EXPECT_TRUE(controller->closed());
    EXPECT_EQ(topmost, std::vector<bool>{false});
    EXPECT_TRUE(sleeps.empty());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Dialog, PrintRoadRefusals) {
    struct Row {
        const char* name;
        std::string printer;
        std::function<void(PrintSettings&)> before;  // settings at load
        std::function<void(Dialog&)> setup;          // probes after the step
        std::u16string title;
        std::u16string text;
        std::size_t sleeps;
    };
    const std::u16string settingsText =
        u"The printer to be selected is the shared printer. \r\nThe shared printer does not "
        u"support due to an output security riskiness of Internet issue document.\r\n\r\nShould "
        u"use a TCP/IP network printer or local printer which is connected directly at PC.";
    const std::vector<Row> rows = {
        {"virtual", printerJson("P"), [](PrintSettings&) {},
         [](Dialog& d) { d.virtualNames = {u"P"}; }, u"Virtual Printer: P",
         u"The printer to be selected is a virtual printer not to issue the certificate.\r\n\r\n"
         u"Printer Name:  P\r\nCompany Name:  Capture Co\r\nProduct Name:  Capture",
         0},
        {"postscript", printerJson("P"), [](PrintSettings&) {},
         [](Dialog& d) { d.postscriptNames = {u"P"}; }, u"Postscript Supported Printer: P",
         u"The printer to be selected is a postscript support printer which a certificate issue "
         u"is prohibited.\r\n\r\nCompany Name:  PS Co\r\nDriver Name:  PS Driver",
         0},
        {"no rights in local user mode", printerJson("P", R"(, "canAdminister": false)"),
         [](PrintSettings& s) { s.EmulateLocal = true; }, [](Dialog&) {}, u"Not Supported Printer",
         settingsText, 0},
        {"queue never empties", printerJson("P", R"(, "jobs": [{"id": 7, "document": "other"}])"),
         [](PrintSettings&) {}, [](Dialog&) {}, u"Printer Selection",
         u"The selected printer is printing another document.\r\nOutput after we choose printer "
         u"or you finish the printing of the document.",
         3},
        {"no rights with the spooler on reaches the last check",
         printerJson("P", R"(, "canAdminister": false, "jobs": [{"id": 7}])"),
         [](PrintSettings& s) {
             s.EmulateLocal = true;
             s.UseSpooler = true;
         },
         [](Dialog&) {}, u"Not Supported Printer", settingsText, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        resetModuleState();
        machine({row.printer}, R"("defaultPrinter": "P")");
        virtualNames.clear();
        postscriptNames.clear();
        view = FakeView{};
        boxes = FakeBoxes{};
        sleeps.clear();
        row.before(printSettings());
        // Probed after the step, so the step itself admits the printer.
        open();
        row.setup(*this);
        controller->printClicked();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].caption, row.title);
        EXPECT_EQ(boxes.shown[0].text, row.text);
        EXPECT_EQ(boxes.shown[0].style, unsigned(ui::vbOKOnly | ui::vbExclamation));
        EXPECT_EQ(sleeps.size(), row.sleeps);
        EXPECT_TRUE(printSettings().SelectedPrinterName.empty());
        // The dialog stays open with the buttons back.
        EXPECT_FALSE(controller->closed());
        EXPECT_TRUE(view.on(Control::cmdPrint));
        EXPECT_TRUE(view.on(Control::prnSetup));
        EXPECT_FALSE(controller->busy());
        // Now the close command closes it, as a cancel.
        EXPECT_TRUE(controller->closeRequested());
        EXPECT_TRUE(printSettings().SelectedPrinterName.empty());
        EXPECT_TRUE(controller->closed());
    }
}

TEST_F(Dialog, QueueIsReadAgainAfterEveryWait) {
    machine({printerJson("P", R"(, "jobs": [{"id": 7}])")}, R"("defaultPrinter": "P")");
    open();
    EXPECT_EQ(controller->queuedJobCount(), 1);
    // The other job leaves the queue during the second wait.
    onSleep = [&] {
        if (sleeps.size() == 2) machine({printerJson("P")}, R"("defaultPrinter": "P")");
    };
    controller->printClicked();
    EXPECT_EQ(sleeps, (std::vector<int>{500, 500}));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(printSettings().SelectedPrinterName, u"P");
}

TEST_F(Dialog, SpoolerSettingSkipsTheQueueTest) {
    machine({printerJson("P", R"(, "jobs": [{"id": 7}])")}, R"("defaultPrinter": "P")");
    printSettings().UseSpooler = true;
    open();
    controller->printClicked();
    EXPECT_TRUE(sleeps.empty());
    EXPECT_EQ(printSettings().SelectedPrinterName, u"P");
}

TEST_F(Dialog, CloseAndCancelRules) {
    machine({printerJson("P")}, R"("defaultPrinter": "P")");
    printSettings().SelectedPrinterName = u"Left from the last issue";
    open();
    // Loading forgets the last issue's printer.
    EXPECT_TRUE(printSettings().SelectedPrinterName.empty());
    // Before the print button the close command is refused.
    EXPECT_FALSE(controller->closeRequested());
    EXPECT_FALSE(controller->closed());
    // Escape cancels.
    controller->keyDown(13);
    EXPECT_FALSE(controller->closed());
    controller->keyDown(27);
    EXPECT_TRUE(controller->closed());
    EXPECT_TRUE(printSettings().SelectedPrinterName.empty());
    EXPECT_EQ(view.closes, 1);
}

TEST_F(Dialog, NothingRunsWhileAStepRuns) {
    machine({printerJson("A"), printerJson("B", "", "USB002")}, R"("defaultPrinter": "A")");
    printSettings().RunType = u"DunmereAttach";
    open();
    ASSERT_TRUE(controller->admitted());
    // Another printer is chosen; while its step lets events run, everything else waits.
    int inside = 0;
    view.onYield = [&] {
        if (!controller->busy()) return;
        ++inside;
        controller->timerTick();
        controller->printClicked();
        controller->cancelClicked();
        controller->refreshClicked();
        controller->setupClicked();
        controller->keyDown(27);
        EXPECT_FALSE(controller->closeRequested());
    };
    choose(u"B");
    EXPECT_EQ(inside, 2);
    EXPECT_FALSE(controller->closed());
    EXPECT_TRUE(printSettings().SelectedPrinterName.empty());
    EXPECT_EQ(controller->currentPrinterName(), u"B");

    // Nor while a refusal box of the print road is open.
    view.onYield = nullptr;
    virtualNames = {u"B"};
    boxes.whileOpen = [&] {
        controller->timerTick();
        controller->cancelClicked();
        EXPECT_FALSE(controller->closeRequested());
    };
    controller->printClicked();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_FALSE(controller->closed());
}

TEST_F(Dialog, AutomaticPrint) {
    struct Row {
        const char* name;
        std::u16string runType;
        bool prints;
    };
    for (const Row& row : {Row{"partner run type", u"DunmereAttach", true},
                           Row{"in small letters", u"dunmereattach", true},
                           Row{"any other run type", u"Other", false}}) {
        SCOPED_TRACE(row.name);
        resetModuleState();
        machine({printerJson("P")}, R"("defaultPrinter": "P")");
        printSettings().RunType = row.runType;
        view = FakeView{};
        open();
        controller->timerTick();
        EXPECT_EQ(controller->closed(), row.prints);
        EXPECT_EQ(printSettings().SelectedPrinterName, row.prints ? u"P" : u"");
        EXPECT_FALSE(view.timer);
    }
}

TEST_F(Dialog, AutomaticPrintWaitsForAnAdmittedPrinterAndRunsOnce) {
    machine({printerJson("F", "", "FILE:"), printerJson("Q", R"(, "jobs": [{"id": 1}])", "USB002")},
            R"("defaultPrinter": "F")");
    printSettings().RunType = u"DunmereAttach";
    open();
    ASSERT_FALSE(controller->isOk());
    // A refused printer is never printed to by the timer, however often it ticks.
    for (int i = 0; i < 5; ++i) controller->timerTick();
    EXPECT_FALSE(controller->closed());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(view.timer);

    // An admitted printer whose queue stays full: one automatic attempt, one refusal.
    choose(u"Q");
    ASSERT_TRUE(controller->admitted());
    controller->timerTick();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(sleeps.size(), 3u);
    for (int i = 0; i < 5; ++i) controller->timerTick();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_FALSE(view.timer);
    // The properties button does not start it again.
    controller->setupClicked();
    EXPECT_FALSE(view.timer);
}

TEST_F(Dialog, SettingsAreASnapshotTakenAtLoad) {
    machine({printerJson("P", R"(, "canAdminister": false)")}, R"("defaultPrinter": "P")");
    printSettings().AccessAll = true;
    controller = std::make_unique<SelectPrinterController>(view, services, probes(),
                                                           printSettings().SelectedPrinterName);
    controller->load(DialogSnapshot::current());
    // A new issue's parameters arrive while the dialog is open.
    printSettings().AccessAll = false;
    printSettings().DenyDriverList = {u"HP Universal"};
    controller->activate();
    EXPECT_TRUE(controller->isOk());
    controller->printClicked();
    EXPECT_EQ(printSettings().SelectedPrinterName, u"P");
}

TEST_F(Dialog, KindInformation) {
    const std::u16string br = u"\r\n";
    const std::u16string available = u"This printer is the printer which the issue is possible.";
    const std::u16string check =
        u"Check the paper and the toner of the printer before you issue the certificate.";
    const std::u16string refused =
        u"The virtual printer does not support due to an output security riskiness of Internet "
        u"issue document.";
    const std::u16string local = u"The local printer which can issue the certificate.";
    const std::u16string busy =
        u" However, because of the document to be the printing, after the printing is completed "
        u"You can issue your certificate.";
    const std::string network =
        R"({"device": "\\\\srv\\P", "port": "\\\\srv\\P", "driver": "HP Universal",
            "attributes": "0x10")";
    struct Row {
        const char* name;
        std::string printer;
        std::function<void(PrintSettings&)> settings;
        std::uint32_t kindColour;
        std::u16string kindCaption;
        std::u16string status;
        std::uint32_t jobColour = kColourBlack;
        std::u16string changable = u"";
    };
    const std::vector<Row> rows = {
        {"local", printerJson("P"), [](PrintSettings&) {}, kColourBlack, u"Available",
         local + br + br + check},
        {"local with a queue", printerJson("P", R"(, "jobs": [{"id": 7}])"), [](PrintSettings&) {},
         kColourBlack, u"Available", local + br + br + check + busy, kColourRed},
        {"file", printerJson("P", "", "FILE:"), [](PrintSettings&) {}, kColourRed, u"Unavailable",
         refused},
        {"network allowed", network + "}", [](PrintSettings& s) { s.UseNetworkPrinter = true; },
         kColourBlack, u"Available", available + br + br + check},
        {"network allowed with a queue", network + R"(, "jobs": [{"id": 7}]})",
         [](PrintSettings& s) { s.UseNetworkPrinter = true; }, kColourBlack, u"Available",
         available + br + br + check + busy, kColourRed},
        // Refused by its kind but admitted by the policy: the user-defined note.
        {"network not allowed", network + "}", [](PrintSettings&) {}, kColourBlue,
         u"Enable(User defined)",
         u"Network share printer to be selected can not change the attribute of the printer. "
         u"But can issue the certificate because we become an exception processing." +
             br + u"(" + refused + u")"},
        {"tcp/ip allowed", printerJson("P", "", "WSD-1"),
         [](PrintSettings& s) { s.UseTcpIpPrinter = true; }, kColourBlack, u"Available",
         available + br + br + check},
        {"redirected port", printerJson("P", "", "LPT3:"), [](PrintSettings&) {}, kColourRed,
         u"Port Redirected Printer", u"The port redirected printer not to issue the certificate."},
        {"shared without rights", network + R"(, "canAdminister": false})",
         [](PrintSettings& s) { s.UseNetworkPrinter = true; }, kColourRed,
         u"Shared printer which a printer setting up change impossible.", refused, kColourBlack,
         u"Unavailable"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        resetModuleState();
        machine({row.printer});
        row.settings(printSettings());
        view = FakeView{};
        open();
        choose(view.list.at(0));
        EXPECT_EQ(view.colours[Control::lblKind], row.kindColour);
        EXPECT_EQ(view.text[Control::lblKind], row.kindCaption);
        EXPECT_EQ(controller->statusText(), row.status)
            << platform::text::toUtf8(controller->statusText());
        EXPECT_EQ(view.colours[Control::lblJob], row.jobColour);
        EXPECT_EQ(view.text[Control::lblChangable], row.changable);
    }
}

TEST_F(Dialog, StepLogLines) {
    machine({printerJson("P")}, R"("defaultPrinter": "P")");
    printSettings().PrinterErrorCheck = true;
    captureLog(temp.path() / "bin");
    open();
    controller->printClicked();
    ASSERT_TRUE(controller->closed());
    const std::string log = capturedLog();
    resetLog();

    // The dialog's own lines, in this order, each with its indentation; the probes' lines fall
    // between them. A level of -2 leaves the indentation unchecked.
    const std::vector<std::pair<int, std::string>> expected = {
        {2, "프린터 선택 창 Form Load"},
        {3, "프린터 목록 구성"},
        {4, "P"},
        {3, "프린터 목록 구성 완료"},
        {2, "프린터 선택 창 Form Activate"},
        {3, "기본 프린터 설정"},
        {4, "기본 프린터 구하기"},
        {5, "기본 프린터 - P"},
        {4, "기본 프린터 구하기 완료 - P"},
        {1, "P 설정 정보 구하기(F)"},
        {4, "스풀러 새로 고침"},
        {4, "스풀러 새로 고침 완료"},
        {4, "인쇄된 문서 보관하기 초기화"},
        {4, "인쇄된 문서 보관하기 초기화 완료"},
        {4, "프린터 설정 정보 구하기(F):P"},
        {5, "GetSelectedPrinterInfo GetPrintable(F) :True,PrinterErrorCheck:True"},
        {5, "inf.Status :0"},
        {5, "프린터 설정 정보 구하기isOK:True"},
        {5, "DenyPrinterDriver Count:-1"},
        {5, "DenyPrinterPort Count:-1"},
        {4, "프린터 설정 정보 구하기 완료(F) isOK:True"},
        {-2, "GetSelectedPrinterInfo isOk : True,m_Intranet:False,Changable:True,isKeep:False"},
        {-2, "P 설정 정보 구하기 완료(F)(0.25초)"},
        {2, "프린터 선택 창 Form Activate 완료"},
        {3, "출력 버튼 클릭"},
        {4, "가상 프린터 체크 시작"},
        {4, "가상 프린터 체크 완료"},
        {3, "출력 버튼 클릭 완료"},
    };
    const std::string head = kLogHead;
    std::size_t at = 0;
    for (const auto& [level, text] : expected) {
        std::size_t found = std::string::npos;
        for (std::size_t from = at; from < log.size();) {
            const std::size_t end = log.find("\r\n", from);
            if (end == std::string::npos) break;
            const std::string line = log.substr(from, end - from);
            from = end + 2;
            if (line.compare(0, head.size(), head) != 0) continue;
            const std::size_t textAt = line.find_first_not_of(' ', head.size());
            if (textAt == std::string::npos || line.substr(textAt) != text) continue;
            if (level != -2) {
                EXPECT_EQ(textAt - head.size(), std::size_t(2 * (level + 1))) << text;
            }
            found = from;
            break;
        }
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << text;
        at = found;
    }
}

// On a kiosk whose printers are its CUPS queues, the dialog shows what the queues report: a
// stopped queue as paused, a queue whose printer reports media-empty as out of paper.
TEST_F(Dialog, RealCupsQueuesShowTheirStatus) {
    TESSEL_REQUIRE_CUPSD();
    platform::testing::CupsKiosk kiosk;
    ASSERT_EQ(kiosk.problem(), "");
    const auto& cupsd = kiosk.cupsd;
    ASSERT_EQ(cupsd.run("cupsdisable", {"Tessel_USB"}).exitCode, 0);
    ASSERT_EQ(cupsd.setStateReasons("Tessel_Socket", {"media-empty-error"}), "");
    openOnCups();
    if (HasFatalFailure()) return;
    struct Row {
        const char16_t* queue;
        std::u16string status;
    } rows[] = {
        {u"Tessel_USB", u"The certificate cannot be issued on this printer: Paused"},
        {u"Tessel_Socket", u"The certificate cannot be issued on this printer: Paper Out"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(platform::text::toUtf8(row.queue));
        choose(row.queue);
        EXPECT_EQ(controller->statusText(), row.status);
        EXPECT_FALSE(controller->isOk());
        EXPECT_EQ(view.colours[Control::txtStatus], kColourRed);
    }
    // Resumed and refilled, both queues are ready again (each chosen anew).
    ASSERT_EQ(cupsd.run("cupsenable", {"Tessel_USB"}).exitCode, 0);
    ASSERT_EQ(cupsd.setStateReasons("Tessel_Socket", {"none"}), "");
    for (const char16_t* queue : {u"Tessel_USB", u"Tessel_Socket"}) {
        choose(queue);
        EXPECT_TRUE(controller->isOk()) << platform::text::toUtf8(controller->statusText());
    }
}

// A queue that rejects jobs cannot print now: the dialog shows it as not available and does
// not admit it, until it accepts jobs again.
TEST_F(Dialog, ARejectingCupsQueueIsNotAdmitted) {
    TESSEL_REQUIRE_CUPSD();
    platform::testing::CupsKiosk kiosk;
    ASSERT_EQ(kiosk.problem(), "");
    const auto& cupsd = kiosk.cupsd;
    ASSERT_EQ(cupsd.run("cupsreject", {"Tessel_Socket"}).exitCode, 0);
    openOnCups();
    if (HasFatalFailure()) return;
    choose(u"Tessel_Socket");
    EXPECT_EQ(controller->statusText(),
              u"The certificate cannot be issued on this printer: Not Available");
    EXPECT_FALSE(controller->isOk());
    ASSERT_EQ(cupsd.run("cupsaccept", {"Tessel_Socket"}).exitCode, 0);
    choose(u"Tessel_USB");
    choose(u"Tessel_Socket");
    EXPECT_TRUE(controller->isOk()) << platform::text::toUtf8(controller->statusText());
}

}  // namespace
