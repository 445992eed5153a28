// The printer list form: a plain chooser that lists the installed printers, lets the user
// confirm one or cancel, and hands the chosen device name back in the thread's
// SelectedPrinterName. It admits every printer; nothing in the library opens it, so whoever
// shows it reads SelectedPrinterName afterwards.
//
// The logic talks to its widgets through PrintListView and to the window layer through
// WindowOperations; the Qt form (viewer/forms/qt_print_list.h) is a thin view over it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "viewer/selection/window_helpers.h"

namespace vistrel {

class PrintListView {
  public:
    virtual ~PrintListView() = default;
    virtual void setCaption(const std::u16string& text) = 0;
    virtual void setFrameCaption(const std::u16string& text) = 0;
    virtual void setInstruction(const std::u16string& text) = 0;  // the dark blue line
    virtual void setContact(const std::u16string& text) = 0;      // the red line
    virtual void setPrintCaption(const std::u16string& text) = 0;
    virtual void setCancelCaption(const std::u16string& text) = 0;
    virtual void setPrintEnabled(bool on) = 0;
    // The name box below the list: its font and its text.
    virtual double nameFontSize() = 0;
    virtual void setNameFont(const std::u16string& face, std::int16_t charset,
                             std::optional<std::int16_t> size) = 0;
    virtual void setNameText(const std::u16string& text) = 0;
    // The drop-down list of device names.
    virtual void clearPrinters() = 0;
    virtual void addPrinter(const std::u16string& deviceName) = 0;
    virtual void selectPrinter(int index) = 0;
    virtual std::u16string selectedPrinter() = 0;  // the list's text: "" when it is empty
    virtual WindowHandle handle() = 0;
    virtual void stopTimer() = 0;
    virtual void closeForm() = 0;
};

struct PrintListParts {
    // The installed printers' device names in the system's order; null: the spooler's.
    std::function<std::vector<std::u16string>()> printers;
    // Lets the host's event loop run once; null: nothing.
    std::function<void()> yield;
};

class PrintListForm {
  public:
    static constexpr unsigned kTimerInterval = 1000;  // ms after loading, the form goes on top

    PrintListForm(PrintListView& view, WindowOperations& windows, PrintListParts parts = {});

    // Form load. Each step that fails is passed over. SelectedPrinterName is emptied first, so
    // a form closed by its close box hands back no printer.
    void load();
    // The timer's tick: topmost once, then the timer stops.
    void timerTick();
    void printClick();
    void cancelClick();
    bool timerEnabled() const { return timerEnabled_; }

  private:
    void yield();
    PrintListView& view_;
    WindowOperations& windows_;
    PrintListParts parts_;
    bool timerEnabled_ = true;
};

}  // namespace vistrel
