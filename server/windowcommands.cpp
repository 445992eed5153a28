#include "server/windowcommands.h"

#include "platform/ui/messagebox.h"
#include "server/controller.h"
#include "server/opensavedialog.h"

namespace tessel::server {

void WindowCommands::cmdCertView_Click() {
    viewer_.show();
}

void WindowCommands::iniViewer_LoadCompleted() {
    platform::ui::messageBox(u"iniViewer_LoadCompleted");
}

void WindowCommands::Command2_Click() {
    OpenSaveDialog dialog;
    dialog.DialogTitle(std::u16string(kLogFileDialogTitle));
    dialog.Filter(std::u16string(kLogFileFilter));
    dialog.InitialDir(programFolder_ + u"/testdata");
    if (dialog.ShowOpen(view_.ownerWindow())) view_.setFilePath(dialog.FileName());
}

}  // namespace tessel::server
