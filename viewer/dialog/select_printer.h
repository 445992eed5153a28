// The printer selection dialog without its widgets: the controller owns the dialog's state
// (the printer shown, its verdict, kind and queue, whether the form may close), runs the
// selection step and the print button road, and talks to the form, the machine and the user
// only through the small interfaces below, so every rule runs headless in tests.
//
// Guards the controller keeps on top of the form's rules:
//  - one step at a time: while a selection step or the print road runs (they let pending
//    events run and show message boxes), the timer, the buttons, the keys and the close
//    command do nothing;
//  - Cancel and Refresh are enabled again on every way out of a selection step;
//  - the automatic print of the partner run type runs at most once, and only while the shown
//    printer's verdict admits it;
//  - the queue test reads the printer's job count again after every wait;
//  - the hand-back name is emptied when the dialog loads, and a close through the window's own
//    close command counts as cancel;
//  - the settings and the printer list are a snapshot taken at load.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/messagebox.h"
#include "viewer/selection/policy.h"
#include "viewer/selection/pravo.h"
#include "viewer/state/print_settings.h"
#include "viewer/state/selection_lists.h"

namespace vistrel::dialog {

// The form's controls as the controller addresses them.
enum class Control {
    Form,
    cboPrinters,
    txtStatus,
    cmdPrint,
    cmdCancel,
    cmdRefresh,
    cmdTest,
    prnSetup,
    Frame1,
    Frame2,
    lblKind,
    lblJob,
    lblPortName,
    lblChangable,
    lblSpool,  // lblSpool, lblKeep and lblIntranet are on the form but nothing fills them
    lblKeep,
    lblMonitor,
    lblPortType,
    lblDescription,
    lblIntranet,
    lblDriverName,
    lblDPIVal,
    lblBiDirectionV,
    lblAdvancedFeaturesV,
    lblLabel1,
    lblLabel2,
    lblLabel3,
    lblLabel4,
    lblLabel5,
    lblLabel6,
    lblLabel7,
    lblLabel8,
    lblLabel9,
    lblLabel10,
    Label2,
    lblDriver,
    lblDPI,
    lblBiDirection,
    lblAdvancedFeatures,
};
inline constexpr int kControlCount = int(Control::lblAdvancedFeatures) + 1;

// The form as the controller drives it. Setting the combo box's text from here never runs the
// selection step by itself; the controller runs it.
class SelectPrinterView {
  public:
    virtual ~SelectPrinterView() = default;
    // Caption or text of a control; line breaks are "\r\n".
    virtual void setText(Control control, const std::u16string& text) = 0;
    // 0x00BBGGRR.
    virtual void setColour(Control control, std::uint32_t colour) = 0;
    virtual void setEnabled(Control control, bool on) = 0;
    virtual void focus(Control control) = 0;
    virtual void setPrinters(const std::vector<std::u16string>& names) = 0;
    virtual std::u16string comboText() const = 0;
    // Selects the entry equal to the name (case ignored); false when the list has none.
    virtual bool selectPrinter(const std::u16string& name) = 0;
    virtual void setWaitCursor(bool on) = 0;
    virtual void startTimer() = 0;
    virtual void stopTimer() = 0;
    // Lets pending events run once.
    virtual void yield() = 0;
    // The form goes away; the modal show returns.
    virtual void dismiss() = 0;
};

// What the dialog needs of the user's session.
struct DialogServices {
    platform::ui::MessageBoxes* boxes = nullptr;  // null: this process's service
    std::function<void(int milliseconds)> sleep;  // null: the thread sleeps
    std::function<double()> seconds;              // monotonic; null: the steady clock
    std::function<void(bool on)> topmost;         // keep-on-top on / off; null: nothing
};

// The keep-on-top control the form hosts: "PANELET.PaneletCtrl.1" created through COM from its
// registration, whose setOn and setOff act on the thread's active window. When the control
// cannot be made (not registered, its library missing) the step log says so once and the
// switch does nothing.
inline constexpr std::u16string_view kKeepOnTopProgId = u"PANELET.PaneletCtrl.1";
std::function<void(bool on)> hostKeepOnTop();

// What the dialog asks of the machine besides the admissibility policy.
struct DialogProbes {
    AdmissionProbes admission;
    // Virtual driver probe: company and product names.
    std::function<bool(std::u16string_view printer, std::u16string& company,
                       std::u16string& product)>
        virtualDriver;
    // PostScript probe: company and driver names.
    std::function<bool(std::u16string_view printer, std::u16string& company,
                       std::u16string& driver)>
        postscript;
    // Jobs in the printer's queue now (read anew at every call).
    std::function<std::int32_t(std::u16string_view printer)> queuedJobs;
    // The runtime's printer, used when no listed printer is the default.
    std::function<std::u16string()> runtimePrinter;

    // The probes of this machine over this thread's port table and virtual-printer list.
    static DialogProbes machine();
};

// The settings and lists the dialog works from, taken once when it loads.
struct DialogSnapshot {
    PrintSettings settings;
    std::vector<std::u16string> printerNames;
    std::vector<VirtualPrinterRecord> virtualPrinters;

    // This thread's module values.
    static DialogSnapshot current();
};

class SelectPrinterController {
  public:
    // `handBack` is where the chosen device name goes (the thread's SelectedPrinterName).
    SelectPrinterController(SelectPrinterView& view, DialogServices services, DialogProbes probes,
                            std::u16string& handBack);
    ~SelectPrinterController();
    SelectPrinterController(const SelectPrinterController&) = delete;
    SelectPrinterController& operator=(const SelectPrinterController&) = delete;

    // Form events.
    void load(DialogSnapshot snapshot);
    void activate();
    void selectionChanged();  // the user picked a printer in the list
    void printClicked();
    void cancelClicked();
    void refreshClicked();
    void testClicked() {}
    void setupClicked();
    void keyDown(int keyCode);
    void timerTick();
    // The window's own close command: true when the form may go (it then counts as cancel).
    bool closeRequested();

    // State, for the form and for tests.
    const std::u16string& currentPrinterName() const { return current_; }
    bool isOk() const { return isOk_; }
    bool changable() const { return changable_; }
    bool admitted() const { return admitted_; }
    bool printEnabled() const { return printEnabled_; }
    bool busy() const { return busy_; }
    bool closed() const { return closed_; }
    bool mayClose() const { return mayClose_; }
    std::int32_t printerKind() const { return admission_.PrinterKind; }
    std::int16_t queuedJobCount() const { return queued_; }
    const std::u16string& statusText() const { return status_; }

  private:
    class Busy;
    void selectionStep();
    // The parts of selectionStep, in the order it runs them.
    void lockForSelection();
    double announceSelection(const std::u16string& chosen);
    bool showVerdict();
    bool refuseCapturingPrinter();
    void getSelectedPrinterInfo();
    // The parts of getSelectedPrinterInfo, in the order it runs them.
    void showPrinterFeatures(printers::CPrinterInfo& info);
    void runPolicy(printers::CPrinterInfo& info);
    std::u16string checkPrinterStatus(printers::CPrinterInfo& info);
    void applyDenyLists(const std::u16string& driverName, const std::u16string& portName,
                        std::u16string& statusText);
    std::u16string fillKindInfo(std::int32_t jobCount);
    std::u16string findDefaultPrinter();
    void printRoad();
    void restoreButtons();
    void setVerdict(int stringId);
    void setStatus(const std::u16string& text);
    void setStatusColour(std::uint32_t colour);
    void setKind(const std::optional<std::u16string>& caption, std::uint32_t colour);
    void enable(Control control, bool on);
    void topmost(bool on);
    double seconds() const;
    int box(const std::u16string& text, const std::u16string& title, unsigned style);
    void unload();

    SelectPrinterView& view_;
    DialogServices services_;
    DialogProbes probes_;
    std::u16string& handBack_;
    DialogSnapshot snap_;
    std::unique_ptr<PravoPrinter> tables_;

    bool activatedOnce_ = false;
    AdmissionRecord admission_;
    bool isOk_ = false;
    std::u16string current_;
    std::int16_t queued_ = 0;
    bool changable_ = false;
    bool isVirtual_ = false;
    bool mayClose_ = false;

    std::u16string status_;
    std::uint32_t kindColour_ = 0;
    bool printEnabled_ = false;
    bool admitted_ = false;
    bool busy_ = false;
    bool closed_ = false;
    bool timerOn_ = false;
    bool autoPrintDone_ = false;
    float elapsed_ = 0;
};

// The partner run type that prints at once.
inline constexpr std::u16string_view kAutoPrintRunType = u"DunmereAttach";

}  // namespace vistrel::dialog
