#include "platform/ui/dialogs.h"

#include <cstdio>

#include "platform/text/text.h"
#include "platform/ui/service.h"

namespace platform::ui {

namespace {

using Slot = ServiceSlot<Dialogs, HeadlessDialogs>;

}  // namespace

std::u16string inputBox(const std::u16string& prompt, const std::u16string& title,
                        const std::u16string& defaultText) {
    return dialogs()->inputBox(prompt, title, defaultText);
}

std::shared_ptr<Dialogs> dialogs() {
    return Slot::instance().get();
}

void setDialogs(std::shared_ptr<Dialogs> replacement) {
    Slot::instance().set(std::move(replacement));
}

std::u16string HeadlessDialogs::inputBox(const std::u16string& prompt, const std::u16string& title,
                                         const std::u16string& defaultText) {
    std::lock_guard lock(mutex_);
    std::u16string answer = defaultText;
    if (!inputAnswers_.empty()) {
        answer = std::move(inputAnswers_.front());
        inputAnswers_.pop_front();
    }
    inputs_.push_back({prompt, title, defaultText, answer});
    if (log_)
        std::fprintf(stderr, "[input box] %s: %s -> %s\n", text::toUtf8(title).c_str(),
                     text::toUtf8(prompt).c_str(), text::toUtf8(answer).c_str());
    return answer;
}

std::optional<FileDialogAnswer> HeadlessDialogs::fileDialog(const FileDialogRequest& request) {
    std::lock_guard lock(mutex_);
    fileRequests_.push_back(request);
    std::optional<FileDialogAnswer> answer;
    if (!fileAnswers_.empty()) {
        answer = std::move(fileAnswers_.front());
        fileAnswers_.pop_front();
    }
    if (log_)
        std::fprintf(stderr, "[file dialog] %s: %s\n", text::toUtf8(request.title).c_str(),
                     answer ? "chosen" : "cancelled");
    return answer;
}

std::optional<std::u16string> HeadlessDialogs::folderDialog(const FolderDialogRequest& request) {
    std::lock_guard lock(mutex_);
    folderRequests_.push_back(request);
    std::optional<std::u16string> answer;
    if (!folderAnswers_.empty()) {
        answer = std::move(folderAnswers_.front());
        folderAnswers_.pop_front();
    }
    if (log_)
        std::fprintf(stderr, "[folder dialog] %s: %s\n", text::toUtf8(request.title).c_str(),
                     answer ? text::toUtf8(*answer).c_str() : "cancelled");
    return answer;
}

void HeadlessDialogs::scriptInput(std::vector<std::u16string> answers) {
    std::lock_guard lock(mutex_);
    inputAnswers_.assign(answers.begin(), answers.end());
}

void HeadlessDialogs::scriptFiles(std::vector<std::optional<FileDialogAnswer>> answers) {
    std::lock_guard lock(mutex_);
    fileAnswers_.assign(answers.begin(), answers.end());
}

void HeadlessDialogs::scriptFolders(std::vector<std::optional<std::u16string>> answers) {
    std::lock_guard lock(mutex_);
    folderAnswers_.assign(answers.begin(), answers.end());
}

std::vector<HeadlessDialogs::InputShown> HeadlessDialogs::inputs() const {
    std::lock_guard lock(mutex_);
    return inputs_;
}

std::vector<FileDialogRequest> HeadlessDialogs::fileRequests() const {
    std::lock_guard lock(mutex_);
    return fileRequests_;
}

std::vector<FolderDialogRequest> HeadlessDialogs::folderRequests() const {
    std::lock_guard lock(mutex_);
    return folderRequests_;
}

}  // namespace platform::ui
