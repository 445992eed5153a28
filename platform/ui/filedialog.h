// Open and save dialogs, behind a service that programs replace like the message boxes: a
// window program installs the Qt implementation; libraries, tests and unattended runs use the
// headless one, which records every request and answers from a script (cancel when unscripted).
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

struct FileDialogRequest {
    std::u16string title;
    // The platform's filter text: names and patterns alternating, separated by "|" (or NUL),
    // several patterns of one entry separated by ";": "Images (*.jpg)|*.jpg|All|*.*".
    std::u16string filter;
    std::u16string defaultName;  // save dialogs: the name first offered
    bool multiple = false;       // open dialogs: several files may be chosen
    void* owner = nullptr;       // the owner window's QWidget, or none
};

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // The chosen files (one unless the request allows several); empty when cancelled.
    virtual std::vector<std::u16string> open(const FileDialogRequest& request) = 0;
    // The chosen file; empty when cancelled.
    virtual std::u16string save(const FileDialogRequest& request) = 0;
};

// Through the current service.
std::vector<std::u16string> openFileDialog(const FileDialogRequest& request);
std::u16string saveFileDialog(const FileDialogRequest& request);

// The service of this process; the headless one until a program installs another.
std::shared_ptr<FileDialogs> fileDialogs();
void setFileDialogs(std::shared_ptr<FileDialogs> service);

// A filter text in Qt's form: "Name (patterns)" entries joined by ";;", the patterns of one
// entry separated by blanks. A name that already ends with its patterns in parentheses keeps
// them once; a name without a pattern is dropped.
//   "A|*.jpg|B|*.png"  ->  "A (*.jpg);;B (*.png)"
std::u16string qtFilterOf(std::u16string_view filter);

class HeadlessFileDialogs : public FileDialogs {
  public:
    struct Shown {
        bool save = false;
        FileDialogRequest request;
    };

    explicit HeadlessFileDialogs(bool logToStderr = true) : log_(logToStderr) {}
    std::vector<std::u16string> open(const FileDialogRequest& request) override;
    std::u16string save(const FileDialogRequest& request) override;

    // Answers for the next dialogs, in order (an empty answer is a cancel); after them, every
    // dialog is cancelled.
    void script(std::vector<std::vector<std::u16string>> answers);
    std::vector<Shown> shown() const;

  private:
    std::vector<std::u16string> answer(bool save, const FileDialogRequest& request);
    bool log_;
    mutable std::mutex mutex_;
    std::deque<std::vector<std::u16string>> answers_;
    std::vector<Shown> shown_;
};

}  // namespace platform::ui
