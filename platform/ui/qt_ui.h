// Qt implementations of the user-interface services: message boxes (QMessageBox), input boxes
// and file and folder dialogs (QInputDialog, QFileDialog) and the tray icon (QSystemTrayIcon, a
// no-op when the desktop has no tray, as under the offscreen platform). Only programs with windows
// link this target (platform_ui_qt).
#pragma once

#include <memory>

#include "platform/ui/dialogs.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/tray.h"

class QSystemTrayIcon;
class QMenu;

namespace platform::ui {

class QtMessageBoxes : public MessageBoxes {
  public:
    int show(const std::u16string& text, const std::u16string& caption, unsigned style) override;
};

// The owner handle of a request is the native window id of a widget (QWidget::winId).
class QtDialogs : public Dialogs {
  public:
    std::u16string inputBox(const std::u16string& prompt, const std::u16string& title,
                            const std::u16string& defaultText) override;
    std::optional<FileDialogAnswer> fileDialog(const FileDialogRequest& request) override;
    std::optional<std::u16string> folderDialog(const FolderDialogRequest& request) override;
};

class QtTrayIcon : public TrayIcon {
  public:
    QtTrayIcon();
    ~QtTrayIcon() override;
    void add(const std::u16string& tip) override;
    void modify(const std::u16string& tip) override;
    void remove() override;
    void setMenu(std::vector<MenuItem> items) override;
    void onActivated(std::function<void()> action) override { activated_ = std::move(action); }
    bool shown() const override { return shown_; }
    bool trayAvailable() const override { return available(); }
    // False when the desktop has no tray: then the icon is never shown.
    static bool available();

  private:
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::unique_ptr<QMenu> menu_;
    std::function<void()> activated_;
    bool shown_ = false;
};

}  // namespace platform::ui
