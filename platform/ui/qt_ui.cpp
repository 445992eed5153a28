#include "platform/ui/qt_ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QSystemTrayIcon>

namespace platform::ui {

int QtMessageBoxes::show(const std::u16string& text, const std::u16string& caption,
                         unsigned style) {
    QMessageBox box;
    box.setText(QString::fromStdU16String(text));
    box.setWindowTitle(
        QString::fromStdU16String(caption.empty() ? std::u16string(u"TesselServer") : caption));
    switch (style & 0x70) {
        case vbCritical:
            box.setIcon(QMessageBox::Critical);
            break;
        case vbQuestion:
            box.setIcon(QMessageBox::Question);
            break;
        case vbExclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case vbInformation:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    static const std::vector<std::pair<QMessageBox::StandardButton, int>> sets[] = {
        {{QMessageBox::Ok, vbOK}},
        {{QMessageBox::Ok, vbOK}, {QMessageBox::Cancel, vbCancel}},
        {{QMessageBox::Abort, vbAbort},
         {QMessageBox::Retry, vbRetry},
         {QMessageBox::Ignore, vbIgnore}},
        {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}, {QMessageBox::Cancel, vbCancel}},
        {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}},
        {{QMessageBox::Retry, vbRetry}, {QMessageBox::Cancel, vbCancel}},
    };
    unsigned which = style & 0x0F;
    if (which > 5) which = 0;
    const auto& buttons = sets[which];
    unsigned defaultIndex = (style >> 8) & 0x0F;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        QPushButton* b = box.addButton(buttons[i].first);
        if (i == defaultIndex) box.setDefaultButton(b);
    }
    if (style & (vbSystemModal | MB_TOPMOST)) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    int clicked = box.exec();
    for (const auto& [button, answer] : buttons)
        if (clicked == button) return answer;
    return defaultAnswer(style);
}

namespace {

QWidget* ownerWidget(OwnerWindow owner) {
    // Without an owner the dialog belongs to the window the user is working in.
    return owner ? QWidget::find(static_cast<WId>(owner)) : QApplication::activeWindow();
}

QString q(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

}  // namespace

std::u16string QtDialogs::inputBox(const std::u16string& prompt, const std::u16string& title,
                                   const std::u16string& defaultText) {
    bool ok = false;
    QString typed = QInputDialog::getText(QApplication::activeWindow(), q(title), q(prompt),
                                          QLineEdit::Normal, q(defaultText), &ok);
    return ok ? typed.toStdU16String() : std::u16string();
}

std::optional<FileDialogAnswer> QtDialogs::fileDialog(const FileDialogRequest& request) {
    QFileDialog dialog(ownerWidget(request.owner), q(request.title), q(request.initialDir));
    QStringList filters;
    for (const FileFilter& f : request.filters) filters << q(qtNameFilter(f));
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        int index = request.filterIndex >= 1 && request.filterIndex <= filters.size()
                        ? request.filterIndex - 1
                        : 0;
        dialog.selectNameFilter(filters[index]);
    }
    if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(q(request.defaultExtension));
    if (!request.fileName.empty()) dialog.selectFile(q(request.fileName));
    if (request.kind == FileDialogRequest::Kind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (request.flags)
            dialog.setOption(QFileDialog::DontConfirmOverwrite,
                             (*request.flags & OFN_OVERWRITEPROMPT) == 0);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles
                                               : QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    FileDialogAnswer answer;
    for (const QString& path : dialog.selectedFiles())
        answer.paths.push_back(path.toStdU16String());
    if (answer.paths.empty()) return std::nullopt;
    if (!request.flags) return answer;
    // The extension bit tells whether the chosen name ends in another extension than the
    // default one.
    std::int32_t flags = *request.flags & ~OFN_EXTENSIONDIFFERENT;
    if (!request.defaultExtension.empty() &&
        QFileInfo(dialog.selectedFiles().front())
                .suffix()
                .compare(q(request.defaultExtension), Qt::CaseInsensitive) != 0)
        flags |= OFN_EXTENSIONDIFFERENT;
    answer.flags = flags;
    return answer;
}

std::optional<std::u16string> QtDialogs::folderDialog(const FolderDialogRequest& request) {
    QString folder =
        QFileDialog::getExistingDirectory(ownerWidget(request.owner), q(request.title));
    if (folder.isEmpty()) return std::nullopt;
    return folder.toStdU16String();
}

QtTrayIcon::QtTrayIcon() = default;
QtTrayIcon::~QtTrayIcon() = default;

bool QtTrayIcon::available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::add(const std::u16string& tip) {
    if (!available()) return;
    if (!icon_) {
        icon_ = std::make_unique<QSystemTrayIcon>();
        icon_->setIcon(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
        QObject::connect(icon_.get(), &QSystemTrayIcon::activated,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::DoubleClick && activated_) activated_();
                         });
        if (menu_) icon_->setContextMenu(menu_.get());
    }
    icon_->setToolTip(QString::fromStdU16String(tip.substr(0, kMaxTip)));
    icon_->show();
    shown_ = true;
}

void QtTrayIcon::modify(const std::u16string& tip) {
    if (icon_) icon_->setToolTip(QString::fromStdU16String(tip.substr(0, kMaxTip)));
}

void QtTrayIcon::remove() {
    if (icon_) icon_->hide();
    shown_ = false;
}

void QtTrayIcon::setMenu(std::vector<MenuItem> items) {
    menu_ = std::make_unique<QMenu>();
    for (auto& item : items) {
        QAction* action = menu_->addAction(QString::fromStdU16String(item.caption));
        action->setVisible(item.visible);
        auto run = item.action;
        QObject::connect(action, &QAction::triggered, [run] {
            if (run) run();
        });
    }
    if (icon_) icon_->setContextMenu(menu_.get());
}

}  // namespace platform::ui
