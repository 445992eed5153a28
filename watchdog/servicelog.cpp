#include "watchdog/servicelog.h"

#include <fstream>

#include "platform/text/codepage.h"
#include "platform/text/datetime.h"
#include "platform/text/strings.h"

namespace vigilo {

ServiceLog::ServiceLog(std::filesystem::path logsFolder, std::function<std::tm()> localTime)
    : folder_(std::move(logsFolder)), localTime_(std::move(localTime)) {}

std::filesystem::path ServiceLog::fileFor(const std::tm& time) const {
    return folder_ /
           ("Vigilo-" + platform::text::toUtf8(platform::text::formatDateTime(time, u"yyyyMMdd")) +
            ".log");
}

std::u16string ServiceLog::line(const std::tm& time, std::u16string_view text) {
    std::u16string out = platform::text::formatDateTime(time, u"yyyy/MM/dd HH:mm:ss");
    out += u' ';
    // One message, one line: a control character inside it (a process name can hold any) is
    // shown as an escape, never written raw.
    out += platform::text::showControlCharacters(text);
    out += u"\r\n";
    return out;
}

void ServiceLog::write(std::u16string_view text) const {
    if (level_ <= 0) return;
    const std::tm now = localTime_();
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    std::ofstream out(fileFor(now), std::ios::app | std::ios::binary);
    if (!out) return;
    out << platform::text::toUtf8(line(now, text));
}

}  // namespace vigilo
