#include "platform/ui/qt_filedialog.h"

#include <QFileDialog>
#include <QWidget>

namespace platform::ui {

namespace {

QString qs(const std::u16string& s) {
    return QString::fromStdU16String(s);
}

QWidget* ownerOf(const FileDialogRequest& request) {
    return static_cast<QWidget*>(request.owner);
}

}  // namespace

std::vector<std::u16string> QtFileDialogs::open(const FileDialogRequest& request) {
    const QString filter = qs(qtFilterOf(request.filter));
    std::vector<std::u16string> chosen;
    if (request.multiple) {
        for (const QString& file :
             QFileDialog::getOpenFileNames(ownerOf(request), qs(request.title), {}, filter))
            chosen.push_back(file.toStdU16String());
    } else {
        const QString file =
            QFileDialog::getOpenFileName(ownerOf(request), qs(request.title), {}, filter);
        if (!file.isEmpty()) chosen.push_back(file.toStdU16String());
    }
    return chosen;
}

std::u16string QtFileDialogs::save(const FileDialogRequest& request) {
    // The dialog asks before it overwrites a file.
    return QFileDialog::getSaveFileName(ownerOf(request), qs(request.title),
                                        qs(request.defaultName), qs(qtFilterOf(request.filter)))
        .toStdU16String();
}

}  // namespace platform::ui
