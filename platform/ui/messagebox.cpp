#include "platform/ui/messagebox.h"

#include <cstdio>

#include "platform/text/text.h"
#include "platform/ui/service.h"

namespace platform::ui {

namespace {

using Slot = ServiceSlot<MessageBoxes, HeadlessMessageBoxes>;

}  // namespace

int messageBox(const std::u16string& text, const std::u16string& caption, unsigned style) {
    return messageBoxes()->show(text, caption, style);
}

std::shared_ptr<MessageBoxes> messageBoxes() {
    return Slot::instance().get();
}

void setMessageBoxes(std::shared_ptr<MessageBoxes> replacement) {
    Slot::instance().set(std::move(replacement));
}

int defaultAnswer(unsigned style) {
    static const int firstButtons[][3] = {
        {vbOK, vbOK, vbOK},             // vbOKOnly
        {vbOK, vbCancel, vbCancel},     // vbOKCancel
        {vbAbort, vbRetry, vbIgnore},   // vbAbortRetryIgnore
        {vbYes, vbNo, vbCancel},        // vbYesNoCancel
        {vbYes, vbNo, vbNo},            // vbYesNo
        {vbRetry, vbCancel, vbCancel},  // vbRetryCancel
    };
    unsigned buttons = style & 0x0F;
    if (buttons > 5) buttons = 0;
    unsigned which = (style >> 8) & 0x0F;
    if (which > 2) which = 0;
    return firstButtons[buttons][which];
}

int HeadlessMessageBoxes::show(const std::u16string& text, const std::u16string& caption,
                               unsigned style) {
    std::lock_guard lock(mutex_);
    int answer = defaultAnswer(style);
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    shown_.push_back({text, caption, style, answer});
    if (log_)
        std::fprintf(stderr, "[message box] %s: %s\n", text::toUtf8(caption).c_str(),
                     text::toUtf8(text).c_str());
    return answer;
}

void HeadlessMessageBoxes::script(std::vector<int> answers) {
    std::lock_guard lock(mutex_);
    answers_.assign(answers.begin(), answers.end());
}

std::vector<HeadlessMessageBoxes::Shown> HeadlessMessageBoxes::shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

void HeadlessMessageBoxes::clear() {
    std::lock_guard lock(mutex_);
    shown_.clear();
    answers_.clear();
}

}  // namespace platform::ui
