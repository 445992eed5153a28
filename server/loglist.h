// The server's on-screen log: newest line on top, filtered by the log level, saved on request.
// A line is "yyyy-MM-dd HH:mm:ss " and the message. The list keeps at most maxLines lines
// (the oldest are dropped) and a message longer than maxText characters is cut, with a note of
// how many characters were left out, so logging whole page images stays harmless.
#pragma once

#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>

namespace tessel {
class Clock;
}

namespace tessel::server {

// What a view of the list hears. Each call comes after the change it tells of.
class LogObserver {
  public:
    virtual ~LogObserver() = default;
    // A line went on top; when the list was full, its oldest line was dropped first.
    virtual void lineAdded() = 0;
    virtual void linesCleared() = 0;
    // The list is being destroyed; it tells nothing more.
    virtual void listGone() = 0;
};

class LogList {
  public:
    static constexpr std::size_t kDefaultMaxLines = 5000;
    static constexpr std::size_t kDefaultMaxText = 512;

    explicit LogList(const Clock& clock, std::size_t maxLines = kDefaultMaxLines,
                     std::size_t maxText = kDefaultMaxText)
        : clock_(clock), maxLines_(maxLines), maxText_(maxText) {}
    ~LogList() {
        if (observer_) observer_->listGone();
    }
    LogList(const LogList&) = delete;
    LogList& operator=(const LogList&) = delete;

    void setLevel(int level) { level_ = level; }
    int level() const { return level_; }

    // Adds the line at the top when level <= the log level.
    void AddLog(std::u16string_view text, int level);
    // The same line for the text `head` + `tail`, put together only as far as it is kept.
    void AddLog(std::u16string_view head, std::u16string_view tail, int level);
    void clear();
    // Lines, newest first.
    const std::deque<std::u16string>& lines() const { return lines_; }

    // Appends the lines oldest first, UTF-8 with CR LF, to
    // folder/<program>_yyyyMMdd.log, only when the folder exists; the list is emptied only
    // when every line was written and the file closed cleanly. True when saved.
    bool save(const std::filesystem::path& folder, const std::u16string& programName);

    // Told about every change, for a view that shows the lines (one at a time; nullptr ends).
    void setObserver(LogObserver* observer) { observer_ = observer; }
    // Given every line the list takes, time stamp included, as it goes on top (for standard
    // error, so a server without a desktop has a log too). An empty function ends it.
    void setEcho(std::function<void(const std::u16string&)> echo) { echo_ = std::move(echo); }

  private:
    const Clock& clock_;
    std::size_t maxLines_;
    std::size_t maxText_;
    int level_ = 10;
    std::deque<std::u16string> lines_;
    LogObserver* observer_ = nullptr;
    std::function<void(const std::u16string&)> echo_;
};

}  // namespace tessel::server
