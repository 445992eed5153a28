// The printer selection dialog on Qt: a thin modal form over the controller, with the library's
// own buttons and flat text box, and the viewer's printer chooser that shows it.
#pragma once

#include <QDialog>
#include <array>
#include <memory>
#include <string>

#include "viewer/control/parts.h"
#include "viewer/dialog/select_printer.h"

class QComboBox;
class QLayout;
class QTimer;

namespace vistrel::dialog {

class SelectPrinterDialog : public QDialog, public SelectPrinterView {
  public:
    SelectPrinterDialog(std::u16string& handBack, DialogProbes probes, QWidget* parent = nullptr);
    ~SelectPrinterDialog() override;

    SelectPrinterController& controller() { return *controller_; }
    // Why the dialog ended without handing back a printer: who cancelled it, or why nobody
    // could answer it.
    const std::u16string& noChoice() const { return noChoice_; }
    // The widget that stands for a control (for tests).
    QWidget* widgetOf(Control control) const;

    // SelectPrinterView
    void setText(Control control, const std::u16string& text) override;
    void setColour(Control control, std::uint32_t colour) override;
    void setEnabled(Control control, bool on) override;
    void focus(Control control) override;
    void setPrinters(const std::vector<std::u16string>& names) override;
    std::u16string comboText() const override;
    bool selectPrinter(const std::u16string& name) override;
    void setWaitCursor(bool on) override;
    void startTimer() override;
    void stopTimer() override;
    void yield() override;
    void dismiss() override;

  protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

  private:
    // The parts of the form, built in this order by the constructor.
    QLayout* buildPrinterList();
    QWidget* buildPanel();
    QWidget* buildStatus();
    QLayout* buildButtons();
    void connectEvents();
    void prepareScript();

    void runScript();
    void firstActivation();
    static constexpr int kActivationWaitMs = 250;

    std::array<QWidget*, kControlCount> widgets_{};
    QComboBox* combo_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* script_ = nullptr;
    std::unique_ptr<SelectPrinterController> controller_;
    bool waitCursor_ = false;
    bool closing_ = false;
    bool shown_ = false;
    bool activated_ = false;
    bool unattended_ = false;
    std::u16string noChoice_;
};

// Shows the printer selection modally at the screen's top-left corner over this thread's
// settings and lists, and returns when it closed with the chosen device name in the thread's
// SelectedPrinterName (empty when cancelled). A second showing while one is open is refused:
// the name stays empty. Without a QApplication nothing is shown. When no name was handed back
// the answer says why (empty when one was).
//
// Where nobody can click (the offscreen and minimal platforms) the dialog gives the automatic
// print its one chance and then cancels, and says so, unless the environment variable
// TESSEL_PRINTER_DIALOG_SCRIPT names a file for the dialog to watch while it is open: once the
// file exists and the dialog is idle, it runs the file's one command and renames the file to
// the same name with ".done" added:
//   "print"            press Print on the printer shown
//   "print <device>"   choose the device in the list, then press Print
//   "cancel"           press Cancel
std::u16string showPrinterSelection();

// The viewer's chooser over showPrinterSelection.
PrinterChooser qtPrinterChooser();

}  // namespace vistrel::dialog
