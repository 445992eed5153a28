// The main window's remaining buttons: show the viewer form, choose a log file into the path
// box, and the buttons that do nothing.
#pragma once

#include <string>
#include <string_view>

#include "platform/ui/dialogs.h"

namespace tessel::server {

class ViewerHost;

inline constexpr std::u16string_view kLogFileDialogTitle = u"SignedTesselExe 로그 파일 선택";
inline constexpr std::u16string_view kLogFileFilter = u"txt Files|*.txt|log Files|*.log";

// The window as the buttons see it.
class CommandView {
  public:
    virtual ~CommandView() = default;
    // The window that owns the dialogs.
    virtual platform::ui::OwnerWindow ownerWindow() const = 0;
    // The path box.
    virtual void setFilePath(const std::u16string& path) = 0;
};

class WindowCommands {
  public:
    WindowCommands(std::u16string programFolder, CommandView& view, ViewerHost& viewer)
        : programFolder_(std::move(programFolder)), view_(view), viewer_(viewer) {}

    // "증명서 보기": shows the viewer form, not modal.
    void cmdCertView_Click();
    // "파일 선택": the open dialog for a log file in the program's testdata folder; the chosen
    // file goes into the path box.
    void Command2_Click();
    // Shows the message box "iniViewer_LoadCompleted". Nothing calls it.
    void iniViewer_LoadCompleted();
    void cmdServerSend_Click() {}
    void cmdXml_Click() {}
    void Command1_Click() {}
    void Command3_Click() {}

  private:
    std::u16string programFolder_;
    CommandView& view_;
    ViewerHost& viewer_;
};

}  // namespace tessel::server
