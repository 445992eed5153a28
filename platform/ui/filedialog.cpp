#include "platform/ui/filedialog.h"

#include <cstdio>

#include "platform/text/text.h"

namespace platform::ui {

namespace {

struct Service {
    std::mutex mutex;
    std::shared_ptr<FileDialogs> current = std::make_shared<HeadlessFileDialogs>();
};

Service& service() {
    static Service* s = new Service;  // lives to the end of the process
    return *s;
}

std::u16string trimmed(std::u16string_view s) {
    const auto first = s.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) return {};
    const auto last = s.find_last_not_of(u' ');
    return std::u16string(s.substr(first, last - first + 1));
}

// "*.jpg;*.jpeg" as Qt writes it: "*.jpg *.jpeg".
std::u16string qtPatterns(std::u16string_view patterns) {
    std::u16string out;
    std::size_t start = 0;
    while (start <= patterns.size()) {
        std::size_t end = patterns.find(u';', start);
        if (end == std::u16string_view::npos) end = patterns.size();
        const std::u16string one = trimmed(patterns.substr(start, end - start));
        if (!one.empty()) {
            if (!out.empty()) out += u' ';
            out += one;
        }
        start = end + 1;
    }
    return out;
}

bool endsWith(std::u16string_view s, std::u16string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

}  // namespace

std::vector<std::u16string> openFileDialog(const FileDialogRequest& request) {
    return fileDialogs()->open(request);
}

std::u16string saveFileDialog(const FileDialogRequest& request) {
    return fileDialogs()->save(request);
}

std::shared_ptr<FileDialogs> fileDialogs() {
    Service& s = service();
    std::lock_guard lock(s.mutex);
    return s.current;
}

void setFileDialogs(std::shared_ptr<FileDialogs> replacement) {
    Service& s = service();
    std::lock_guard lock(s.mutex);
    s.current = replacement ? std::move(replacement) : std::make_shared<HeadlessFileDialogs>();
}

std::u16string qtFilterOf(std::u16string_view filter) {
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    while (start < filter.size()) {
        std::size_t end = filter.find_first_of(std::u16string_view(u"|\0", 2), start);
        if (end == std::u16string_view::npos) end = filter.size();
        parts.emplace_back(filter.substr(start, end - start));
        start = end + 1;
    }
    std::u16string out;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        const std::u16string patterns = qtPatterns(parts[i + 1]);
        if (patterns.empty()) continue;
        std::u16string name = trimmed(parts[i]);
        for (const std::u16string& shown :
             {u"(" + trimmed(parts[i + 1]) + u")", u"(" + patterns + u")"})
            if (endsWith(name, shown)) {
                name = trimmed(std::u16string_view(name).substr(0, name.size() - shown.size()));
                break;
            }
        if (!out.empty()) out += u";;";
        out += name.empty() ? u"(" + patterns + u")" : name + u" (" + patterns + u")";
    }
    return out;
}

std::vector<std::u16string> HeadlessFileDialogs::answer(bool save,
                                                        const FileDialogRequest& request) {
    std::lock_guard lock(mutex_);
    std::vector<std::u16string> chosen;
    if (!answers_.empty()) {
        chosen = std::move(answers_.front());
        answers_.pop_front();
    }
    if (!save && !request.multiple && chosen.size() > 1) chosen.resize(1);
    shown_.push_back({save, request});
    if (log_)
        std::fprintf(stderr, "[%s dialog] %s: %s\n", save ? "save" : "open",
                     text::toUtf8(request.title).c_str(),
                     chosen.empty() ? "(cancelled)" : text::toUtf8(chosen.front()).c_str());
    return chosen;
}

std::vector<std::u16string> HeadlessFileDialogs::open(const FileDialogRequest& request) {
    return answer(false, request);
}

std::u16string HeadlessFileDialogs::save(const FileDialogRequest& request) {
    auto chosen = answer(true, request);
    return chosen.empty() ? std::u16string() : chosen.front();
}

void HeadlessFileDialogs::script(std::vector<std::vector<std::u16string>> answers) {
    std::lock_guard lock(mutex_);
    answers_.assign(std::make_move_iterator(answers.begin()),
                    std::make_move_iterator(answers.end()));
}

std::vector<HeadlessFileDialogs::Shown> HeadlessFileDialogs::shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

}  // namespace platform::ui
