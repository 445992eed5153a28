// The control library's step log. While the switch LogEnabled is on, WriteLog appends one line
// to a daily file in the folder "logs" beside the control library:
//     <library folder>/logs/<library name>_<yyyyMMdd>.log
// The line is the date "YYYY-MM-DD", a space, the time "HH:MM:SS", 2 x (level + 1) spaces and
// the text, in UTF-8 and ended by CR LF. The file name takes the day of the first line the
// thread writes and keeps it; the folder "logs" is never created, so a deployment switches the
// file on by creating the folder as well as the switch. Every failure loses the line silently.
//
// The switch is off unless the environment variable TESSEL_VISTREL_LOG is "1", "on", "yes" or
// "true" when the library first logs on a thread; setLogEnabled changes it for the thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace vistrel {

// A flag as the log lines write it: "True" or "False".
inline std::u16string boolText(bool b) {
    return b ? u"True" : u"False";
}

void WriteLog(std::u16string_view text, std::int16_t level, std::int32_t flag = -1);

bool logEnabled();
void setLogEnabled(bool on);

// One log line without its line end. A level below -1 indents by nothing.
std::u16string ViewerLogLine(const std::tm& localTime, std::u16string_view text,
                             std::int16_t level);

// The log file's path once the thread has written a line; empty before.
std::filesystem::path logFileName();

// Seams for hosts and tests: the clock (local time), the folder that holds "logs" and the
// library name in the file name (default: the folder and file of the library that holds this
// code, without "lib" and extension). resetLog puts everything back, the file name included.
void setLogClock(std::function<std::tm()> clock);
void setLogLocation(std::filesystem::path libraryFolder, std::string libraryName);
void resetLog();

}  // namespace vistrel
