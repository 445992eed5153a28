// The watchdog's daily log: "<program folder>/Logs/Vigilo-YYYYMMDD.log", one line per message:
// the date "YYYY/MM/DD", a blank, the time "HH:MM:SS", a blank and the message, in UTF-8 and
// ended by CR LF. Nothing is written while the level is 0 or below. The file is opened for
// each line and closed at once; the folder Logs is created when missing, and a line that
// cannot be written is dropped without stopping the program.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace vigilo {

class ServiceLog {
  public:
    ServiceLog(std::filesystem::path logsFolder, std::function<std::tm()> localTime);

    std::int16_t level() const { return level_; }
    void setLevel(std::int16_t level) { level_ = level; }

    void write(std::u16string_view text) const;

    // The file a line written at `time` goes to.
    std::filesystem::path fileFor(const std::tm& time) const;
    // One line, with its line end; CR and LF inside the text are written as \\r and \\n.
    static std::u16string line(const std::tm& time, std::u16string_view text);

  private:
    std::filesystem::path folder_;
    std::function<std::tm()> localTime_;
    std::int16_t level_ = 0;
};

}  // namespace vigilo
