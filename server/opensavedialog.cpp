#include "server/opensavedialog.h"

#include "platform/text/text.h"

namespace tessel::server {

namespace text = platform::text;
namespace ui = platform::ui;

namespace {

std::u16string upToNul(std::u16string_view s) {
    return std::u16string(s.substr(0, s.find(u'\0')));
}

std::u16string nameOf(std::u16string_view path) {
    std::size_t slash = path.find_last_of(u'/');
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

std::u16string folderOf(std::u16string_view path) {
    std::size_t slash = path.find_last_of(u'/');
    if (slash == std::u16string_view::npos) return {};
    return std::u16string(path.substr(0, slash == 0 ? 1 : slash));
}

}  // namespace

std::u16string dialogFilterBuffer(std::u16string_view filter) {
    std::u16string out(filter);
    for (char16_t& c : out)
        if (c == u'|') c = u'\0';
    out.append(2, u'\0');
    return out;
}

Selection parseSelectionBuffer(std::u16string_view buffer, bool explorer) {
    const char16_t sep = explorer ? u'\0' : u' ';
    std::size_t cut = buffer.find(std::u16string(4, sep));
    std::u16string_view used = cut == std::u16string_view::npos ? buffer : buffer.substr(0, cut);
    if (!explorer && cut == std::u16string_view::npos) used = used.substr(0, used.find(u'\0'));

    std::vector<std::u16string_view> pieces;
    for (std::size_t start = 0;;) {
        std::size_t end = used.find(sep, start);
        pieces.push_back(used.substr(start, end == std::u16string_view::npos ? end : end - start));
        if (end == std::u16string_view::npos) break;
        start = end + 1;
    }
    if (!explorer) pieces.back() = pieces.back().substr(0, pieces.back().find(u'\0'));

    Selection s;
    if (pieces.size() == 1) {
        s.fileName = std::u16string(pieces[0]);
        return s;
    }
    s.single = false;
    s.fileName = std::u16string(pieces[0]);
    for (std::size_t i = 1; i < pieces.size(); ++i)
        if (!pieces[i].empty()) s.files.emplace_back(pieces[i]);
    return s;
}

std::u16string selectionBuffer(const std::vector<std::u16string>& paths, bool multiSelect,
                               bool explorer, std::size_t size) {
    std::u16string names;
    if (!multiSelect || paths.size() == 1) {
        if (!paths.empty()) names = paths.front();
    } else if (!paths.empty()) {
        const char16_t sep = explorer ? u'\0' : u' ';
        names = folderOf(paths.front());
        for (const std::u16string& p : paths) {
            names += sep;
            names += nameOf(p);
        }
        // The explorer list ends with an empty name.
        if (explorer) names += u'\0';
    }
    if (names.size() + 1 > size) return {};
    names.resize(size, u'\0');
    return names;
}

void OpenSaveDialog::DefExt(std::u16string_view v) {
    defExt_.clear();
    for (char16_t c : v)
        if (c != u'.') defExt_ += c;
}

const std::u16string& OpenSaveDialog::Files(std::int16_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= files_.size())
        throw text::Error(9, u"Subscript out of range");
    return files_[static_cast<std::size_t>(index)];
}

ui::FileDialogRequest OpenSaveDialog::request(ui::FileDialogRequest::Kind kind,
                                              OwnerWindow owner) const {
    ui::FileDialogRequest r;
    r.kind = kind;
    r.owner = owner;
    r.title = dialogTitle_;
    r.filters = ui::fileFiltersOf(dialogFilterBuffer(filter_));
    r.filterIndex = filterIndex_;
    r.initialDir = initialDir_;
    r.fileName = fileName_;
    r.defaultExtension = defExt_;
    r.multiSelect = kind == ui::FileDialogRequest::Kind::Open && (flags_ & OFN_ALLOWMULTISELECT);
    r.flags = flags_;
    return r;
}

bool OpenSaveDialog::ShowOpen(OwnerWindow owner) {
    auto answer = ui::dialogs()->fileDialog(request(ui::FileDialogRequest::Kind::Open, owner));
    if (!answer || answer->paths.empty()) return false;
    const bool multi = flags_ & OFN_ALLOWMULTISELECT;
    const bool explorer = flags_ & OFN_EXPLORER;
    std::u16string buffer =
        selectionBuffer(answer->paths, multi, explorer, fileName_.size() + kOpenNameSpace);
    if (buffer.empty()) return false;
    std::u16string title = nameOf(answer->paths.front());
    if (answer->flags) flags_ = *answer->flags;

    if (!multi) {
        fileCount_ = 1;
        fileName_ = upToNul(buffer);
        fileTitle_ = title;
        return true;
    }
    files_.clear();
    fileCount_ = 0;
    Selection s = parseSelectionBuffer(buffer, explorer);
    fileName_ = s.fileName;
    if (s.single) {
        fileCount_ = 1;
        fileTitle_ = title;
    } else {
        files_ = std::move(s.files);
        fileCount_ = static_cast<std::int16_t>(files_.size());
    }
    return true;
}

bool OpenSaveDialog::ShowSave(OwnerWindow owner) {
    auto answer = ui::dialogs()->fileDialog(request(ui::FileDialogRequest::Kind::Save, owner));
    if (!answer || answer->paths.empty()) return false;
    std::u16string buffer =
        selectionBuffer({answer->paths.front()}, false, false, fileName_.size() + kSaveNameSpace);
    if (buffer.empty()) return false;
    std::u16string title = nameOf(answer->paths.front());
    fileCount_ = 1;
    files_.clear();
    fileName_ = upToNul(buffer);
    fileTitle_ = title;
    if (answer->flags) flags_ = *answer->flags;
    return true;
}

std::u16string OpenSaveDialog::SaveFolder(OwnerWindow owner) {
    auto folder = ui::dialogs()->folderDialog({owner, std::u16string(kSaveFolderTitle)});
    return folder ? upToNul(*folder) : std::u16string();
}

std::int32_t OpenSaveDialog::InitDialog(OwnerWindow dialog) {
    if (events.OnInitDialog) events.OnInitDialog(dialog);
    return 0;
}
std::int32_t OpenSaveDialog::FileChange(OwnerWindow dialog) {
    if (events.OnFileChange) events.OnFileChange(dialog);
    return 0;
}
std::int32_t OpenSaveDialog::FolderChange(OwnerWindow dialog) {
    if (events.OnFolderChange) events.OnFolderChange(dialog);
    return 0;
}
std::int32_t OpenSaveDialog::TypeChange(OwnerWindow dialog) {
    if (events.OnTypeChange) events.OnTypeChange(dialog);
    return 0;
}
void OpenSaveDialog::DialogClose() {
    if (events.OnDialogClose) events.OnDialogClose();
}
void OpenSaveDialog::WMCommand(OwnerWindow dialog, std::intptr_t wParam, std::intptr_t lParam) {
    if (events.OnWMCommand) events.OnWMCommand(dialog, wParam, lParam);
}
bool OpenSaveDialog::ConfirmOK() {
    bool cancel = false;
    if (events.OnConfirmOK) events.OnConfirmOK(cancel);
    return !cancel;
}

}  // namespace tessel::server
