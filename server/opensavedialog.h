// OpenSaveDialog: the open, save and folder dialogs of the server's window, over the
// platform's dialog service. The caller sets the properties, calls ShowOpen, ShowSave or
// SaveFolder with an owner window and reads the chosen names back.
//
// The answer of a file dialog is written into a name buffer laid out as the common dialogs of
// the platform fill it (a single path; or, for a multiple selection, the folder and the file
// names, separated by NUL in the explorer style or by blanks in the old style), and read back
// from it by parseSelectionBuffer. The event members are entry points for a dialog hook that a
// caller may attach; the dialogs themselves raise nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/dialogs.h"

namespace tessel::server {

inline constexpr std::int32_t OFN_ALLOWMULTISELECT = 0x200;
inline constexpr std::int32_t OFN_EXPLORER = 0x80000;

// Characters added after FileName for the name buffer of each dialog. The title (the chosen
// file's name) has no limit of its own: a file system name of any length is taken.
inline constexpr std::size_t kOpenNameSpace = 4096;
inline constexpr std::size_t kSaveNameSpace = 1024;

inline constexpr std::u16string_view kSaveFolderTitle = u"저장할 폴더를 선택하세요.";

// "desc|pattern|desc|pattern" as the dialog takes it: every "|" a NUL, and two NULs appended.
std::u16string dialogFilterBuffer(std::u16string_view filter);

// What a name buffer holds after a multiple selection.
struct Selection {
    bool single = true;
    std::u16string fileName;            // the single file, or the folder of several
    std::vector<std::u16string> files;  // the names in the folder (several only)
};

// Reads a name buffer filled by a dialog with multiple selection allowed. explorer: the
// separator is NUL, else a blank. The buffer is cut before the first run of four separators
// (for blanks, when there is none, at its first NUL) and split at the separator: one piece is
// a single file; otherwise the first piece is the folder and every following non-empty piece a
// name.
Selection parseSelectionBuffer(std::u16string_view buffer, bool explorer);

// The name buffer that a dialog fills for the chosen paths ("/" separators, one folder),
// padded with NULs to `size` characters. Without multiSelect, or with a single path, it holds
// that path; otherwise the folder, then the names, separated as parseSelectionBuffer reads
// them. Empty when the names do not fit in `size` characters (the dialog fails then).
std::u16string selectionBuffer(const std::vector<std::u16string>& paths, bool multiSelect,
                               bool explorer, std::size_t size);

class OpenSaveDialog {
  public:
    using OwnerWindow = platform::ui::OwnerWindow;

    // Handlers of the events; any may be empty.
    struct Events {
        std::function<void(OwnerWindow)> OnInitDialog, OnFileChange, OnFolderChange, OnTypeChange;
        std::function<void(bool& cancel)> OnConfirmOK;
        std::function<void()> OnDialogClose;
        std::function<void(OwnerWindow, std::intptr_t, std::intptr_t)> OnWMCommand;
    };

    const std::u16string& Filter() const { return filter_; }
    void Filter(std::u16string v) { filter_ = std::move(v); }
    std::int32_t FilterIndex() const { return filterIndex_; }
    void FilterIndex(std::int32_t v) { filterIndex_ = v; }
    const std::u16string& FileName() const { return fileName_; }
    void FileName(std::u16string v) { fileName_ = std::move(v); }
    const std::u16string& FileTitle() const { return fileTitle_; }
    const std::u16string& InitialDir() const { return initialDir_; }
    void InitialDir(std::u16string v) { initialDir_ = std::move(v); }
    const std::u16string& DialogTitle() const { return dialogTitle_; }
    void DialogTitle(std::u16string v) { dialogTitle_ = std::move(v); }
    std::int32_t Flags() const { return flags_; }
    void Flags(std::int32_t v) { flags_ = v; }
    const std::u16string& DefExt() const { return defExt_; }
    // Every "." of the text is removed.
    void DefExt(std::u16string_view v);
    const std::u16string& TemplateName() const { return templateName_; }
    void TemplateName(std::u16string v) { templateName_ = std::move(v); }
    // Kept for callers; the platform's dialogs take no extended flags.
    std::int32_t FlagsEx() const { return flagsEx_; }
    void FlagsEx(std::int32_t v) { flagsEx_ = v; }
    std::int16_t FileCount() const { return fileCount_; }
    // The name at a zero-based index of a multiple selection; outside the list raises
    // platform::text::Error 9 "Subscript out of range".
    const std::u16string& Files(std::int16_t index) const;

    // True when the user chose; False on cancel, and then nothing changes.
    bool ShowOpen(OwnerWindow owner);
    bool ShowSave(OwnerWindow owner);
    // The chosen folder, "" on cancel.
    std::u16string SaveFolder(OwnerWindow owner);

    std::int32_t InitDialog(OwnerWindow dialog);
    std::int32_t FileChange(OwnerWindow dialog);
    std::int32_t FolderChange(OwnerWindow dialog);
    std::int32_t TypeChange(OwnerWindow dialog);
    void DialogClose();
    void WMCommand(OwnerWindow dialog, std::intptr_t wParam, std::intptr_t lParam);
    // True unless a handler cancelled.
    bool ConfirmOK();

    Events events;

  private:
    platform::ui::FileDialogRequest request(platform::ui::FileDialogRequest::Kind kind,
                                            OwnerWindow owner) const;

    std::u16string filter_;
    std::int32_t filterIndex_ = 0;
    std::u16string fileName_;
    std::u16string fileTitle_;
    std::u16string initialDir_;
    std::u16string dialogTitle_;
    std::int32_t flags_ = 0;
    std::u16string defExt_;
    std::u16string templateName_;
    std::int32_t flagsEx_ = 0;
    std::int16_t fileCount_ = 0;
    std::vector<std::u16string> files_;
};

}  // namespace tessel::server
