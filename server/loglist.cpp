#include "server/loglist.h"

#include <fstream>

#include "lib/clock/clock.h"
#include "platform/text/text.h"

namespace tessel::server {

namespace text = platform::text;

void LogList::AddLog(std::u16string_view message, int level) {
    AddLog(message, {}, level);
}

void LogList::AddLog(std::u16string_view head, std::u16string_view tail, int level) {
    if (level > level_) return;
    const std::size_t size = head.size() + tail.size();
    std::u16string body;
    if (size > maxText_) {
        body.reserve(maxText_ + 16);
        body.assign(head.substr(0, maxText_));
        if (body.size() < maxText_) body.append(tail.substr(0, maxText_ - body.size()));
        body += u"…(" + text::formatNumber(static_cast<double>(size)) + u")";
    } else {
        body.reserve(size);
        body.assign(head);
        body.append(tail);
    }
    // Make room first, so the list never holds more than maxLines lines.
    if (maxLines_ == 0) return;
    if (lines_.size() >= maxLines_) lines_.resize(maxLines_ - 1);
    lines_.push_front(GetNowText(clock_.now()) + u" " + body);
    if (echo_) echo_(lines_.front());
    if (observer_) observer_->lineAdded();
}

void LogList::clear() {
    lines_.clear();
    if (observer_) observer_->linesCleared();
}

bool LogList::save(const std::filesystem::path& folder, const std::u16string& programName) {
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return false;
    std::u16string name =
        programName + u"_" + text::formatDateTime(clock_.now().tm, u"yyyyMMdd") + u".log";
    std::ofstream out(folder / text::toUtf8(name), std::ios::binary | std::ios::app);
    if (!out) return false;
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        std::string line = text::toUtf8(*it) + "\r\n";
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    out.close();
    if (out.fail()) return false;
    clear();
    return true;
}

}  // namespace tessel::server
