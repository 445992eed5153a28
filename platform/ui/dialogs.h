// Input boxes and the file and folder dialogs, behind a service that programs replace, as the
// message boxes are: a window program installs the Qt implementation; libraries, tests and
// unattended runs use the headless one, which records every request and answers from a
// script. Without a script an input box answers its default text (the OK button) and every
// file or folder dialog is cancelled.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

// A window that owns a dialog; 0 for none.
using OwnerWindow = std::uintptr_t;

struct FileFilter {
    std::u16string description;  // "txt Files"
    std::u16string patterns;     // "*.txt", several joined by ";"
};

// Filters written the platform's way, names and patterns alternating, separated by "|" (or
// NUL), the patterns of one entry separated by ";": "Images (*.jpg)|*.jpg|All|*.*". A name that
// ends with its own patterns in parentheses loses them (the dialog shows them once); an entry
// without a pattern is dropped.
std::vector<FileFilter> fileFiltersOf(std::u16string_view text);

// One filter as Qt writes it: "Name (patterns)", the patterns separated by blanks.
std::u16string qtNameFilter(const FileFilter& filter);

// The whole filter text in Qt's form, entries joined by ";;":
//   "A|*.jpg|B|*.png"  ->  "A (*.jpg);;B (*.png)"
std::u16string qtFilterOf(std::u16string_view text);

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    OwnerWindow owner = 0;
    std::u16string title;
    std::vector<FileFilter> filters;
    int filterIndex = 1;  // one-based; 0 or out of range: the first filter
    std::u16string initialDir;
    std::u16string fileName;          // the name proposed
    std::u16string defaultExtension;  // without a dot
    bool multiSelect = false;         // Open only
    // The caller's OFN_ flags; nullopt for a caller that gives none. With flags the Qt dialogs
    // ask before a save over an existing file only under OFN_OVERWRITEPROMPT, and answer with
    // the flags, OFN_EXTENSIONDIFFERENT set or cleared; without, a save always asks first.
    std::optional<std::int32_t> flags = std::nullopt;
};

inline constexpr std::int32_t OFN_OVERWRITEPROMPT = 0x2;
inline constexpr std::int32_t OFN_EXTENSIONDIFFERENT = 0x400;

struct FileDialogAnswer {
    // Full paths with "/" separators; several only for a multiple selection, all in one folder.
    std::vector<std::u16string> paths;
    // The flags as the dialog gives them back; nullopt: the caller's flags unchanged.
    std::optional<std::int32_t> flags = std::nullopt;
};

struct FolderDialogRequest {
    OwnerWindow owner = 0;
    std::u16string title;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // What the user typed; the empty text when the box was cancelled.
    virtual std::u16string inputBox(const std::u16string& prompt, const std::u16string& title,
                                    const std::u16string& defaultText) = 0;
    // nullopt when the dialog was cancelled.
    virtual std::optional<FileDialogAnswer> fileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::u16string> folderDialog(const FolderDialogRequest& request) = 0;
};

// Through the current service.
std::u16string inputBox(const std::u16string& prompt, const std::u16string& title = {},
                        const std::u16string& defaultText = {});

// The service of this process; the headless one until a program installs another.
std::shared_ptr<Dialogs> dialogs();
void setDialogs(std::shared_ptr<Dialogs> service);

class HeadlessDialogs : public Dialogs {
  public:
    struct InputShown {
        std::u16string prompt, title, defaultText, answer;
    };

    explicit HeadlessDialogs(bool logToStderr = true) : log_(logToStderr) {}

    std::u16string inputBox(const std::u16string& prompt, const std::u16string& title,
                            const std::u16string& defaultText) override;
    std::optional<FileDialogAnswer> fileDialog(const FileDialogRequest& request) override;
    std::optional<std::u16string> folderDialog(const FolderDialogRequest& request) override;

    // Answers for the next boxes or dialogs of each sort, in order (nullopt: cancelled).
    void scriptInput(std::vector<std::u16string> answers);
    void scriptFiles(std::vector<std::optional<FileDialogAnswer>> answers);
    void scriptFolders(std::vector<std::optional<std::u16string>> answers);

    std::vector<InputShown> inputs() const;
    std::vector<FileDialogRequest> fileRequests() const;
    std::vector<FolderDialogRequest> folderRequests() const;

  private:
    bool log_;
    mutable std::mutex mutex_;
    std::deque<std::u16string> inputAnswers_;
    std::deque<std::optional<FileDialogAnswer>> fileAnswers_;
    std::deque<std::optional<std::u16string>> folderAnswers_;
    std::vector<InputShown> inputs_;
    std::vector<FileDialogRequest> fileRequests_;
    std::vector<FolderDialogRequest> folderRequests_;
};

}  // namespace platform::ui
