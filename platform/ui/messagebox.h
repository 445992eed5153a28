// Message boxes, behind a service that programs replace: a window program installs the Qt
// implementation; libraries, tests and unattended runs use the headless one, which records
// every box, writes it to standard error and answers from a script (or with the first button).
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::ui {

// Styles and answers, with the platform's values.
enum MsgBoxStyle : unsigned {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
    vbSystemModal = 4096,
    MB_TOPMOST = 0x40000,
};

enum MsgBoxResult : int {
    vbOK = 1,
    vbCancel = 2,
    vbAbort = 3,
    vbRetry = 4,
    vbIgnore = 5,
    vbYes = 6,
    vbNo = 7,
};

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    virtual int show(const std::u16string& text, const std::u16string& caption, unsigned style) = 0;
};

// Shows a box through the current service.
int messageBox(const std::u16string& text, const std::u16string& caption = {},
               unsigned style = vbOKOnly);

// The service of this process; the headless one until a program installs another.
std::shared_ptr<MessageBoxes> messageBoxes();
void setMessageBoxes(std::shared_ptr<MessageBoxes> service);

// The answer a box gets when nobody is there to click: the default button of its style.
int defaultAnswer(unsigned style);

class HeadlessMessageBoxes : public MessageBoxes {
  public:
    struct Shown {
        std::u16string text;
        std::u16string caption;
        unsigned style = 0;
        int answer = 0;
    };

    explicit HeadlessMessageBoxes(bool logToStderr = true) : log_(logToStderr) {}
    int show(const std::u16string& text, const std::u16string& caption, unsigned style) override;

    // Answers for the next boxes, in order; after them, each box gets its default answer.
    void script(std::vector<int> answers);
    std::vector<Shown> shown() const;
    void clear();

  private:
    bool log_;
    mutable std::mutex mutex_;
    std::deque<int> answers_;
    std::vector<Shown> shown_;
};

}  // namespace platform::ui
