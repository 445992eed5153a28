// The open and save dialogs on Qt (QFileDialog). Only programs with windows link this target
// (platform_ui_qt).
#pragma once

#include "platform/ui/filedialog.h"

namespace platform::ui {

class QtFileDialogs : public FileDialogs {
  public:
    std::vector<std::u16string> open(const FileDialogRequest& request) override;
    std::u16string save(const FileDialogRequest& request) override;
};

}  // namespace platform::ui
