#include "platform/ui/dialogs.h"

#include <cstdio>

#include "platform/text/text.h"
#include "platform/ui/service.h"

namespace platform::ui {

namespace {

using Slot = ServiceSlot<Dialogs, HeadlessDialogs>;

std::u16string trimmed(std::u16string_view s) {
    const auto first = s.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) return {};
    const auto last = s.find_last_not_of(u' ');
    return std::u16string(s.substr(first, last - first + 1));
}

// The patterns of one entry, trimmed and joined by ";" again.
std::u16string cleanPatterns(std::u16string_view patterns) {
    std::u16string out;
    std::size_t start = 0;
    while (start <= patterns.size()) {
        std::size_t end = patterns.find(u';', start);
        if (end == std::u16string_view::npos) end = patterns.size();
        const std::u16string one = trimmed(patterns.substr(start, end - start));
        if (!one.empty()) {
            if (!out.empty()) out += u';';
            out += one;
        }
        start = end + 1;
    }
    return out;
}

std::u16string blankSeparated(std::u16string patterns) {
    for (char16_t& c : patterns)
        if (c == u';') c = u' ';
    return patterns;
}

bool endsWith(std::u16string_view s, std::u16string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

}  // namespace

std::vector<FileFilter> fileFiltersOf(std::u16string_view text) {
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of(std::u16string_view(u"|\0", 2), start);
        if (end == std::u16string_view::npos) end = text.size();
        parts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<FileFilter> filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        const std::u16string patterns = cleanPatterns(parts[i + 1]);
        if (patterns.empty()) continue;
        std::u16string name = trimmed(parts[i]);
        for (const std::u16string& shown :
             {u"(" + trimmed(parts[i + 1]) + u")", u"(" + patterns + u")",
              u"(" + blankSeparated(patterns) + u")"})
            if (endsWith(name, shown)) {
                name = trimmed(std::u16string_view(name).substr(0, name.size() - shown.size()));
                break;
            }
        filters.push_back({name, patterns});
    }
    return filters;
}

std::u16string qtNameFilter(const FileFilter& filter) {
    const std::u16string patterns = u"(" + blankSeparated(filter.patterns) + u")";
    return filter.description.empty() ? patterns : filter.description + u" " + patterns;
}

std::u16string qtFilterOf(std::u16string_view text) {
    std::u16string out;
    for (const FileFilter& filter : fileFiltersOf(text)) {
        if (!out.empty()) out += u";;";
        out += qtNameFilter(filter);
    }
    return out;
}

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
