#include "viewer/selection/ports.h"

#include <chrono>
#include <exception>

#include "platform/spooler/spooler.h"
#include "platform/system/machine.h"
#include "platform/text/codepage.h"
#include "platform/text/strings.h"
#include "viewer/dosoutput/dos_output.h"
#include "viewer/log/log.h"
#include "viewer/probes/probes.h"
#include "viewer/state/module_state.h"

namespace vistrel {

namespace txt = platform::text;

std::u16string PortTypeText(std::uint32_t bits) {
    std::u16string text;
    namespace sp = platform::spooler;
    if (bits & sp::PORT_TYPE_WRITE) text += u"Write";
    if (bits & sp::PORT_TYPE_READ) text += u" Read";
    if (bits & sp::PORT_TYPE_REDIRECTED) text += u" Redirected";
    if (bits & sp::PORT_TYPE_NET_ATTACHED) text += u" Network";
    return text;
}

void GetAvailableprts(std::u16string& serverName) {
    auto ports = platform::spooler::enumPorts(serverName);
    if (!ports || ports->empty()) return;
    auto& lists = moduleState().lists;
    lists.PortTable.clear();
    for (const auto& p : *ports) {
        PortRecord r;
        r.fPortType = p.portType;
        r.pDescription = p.description;
        r.pMonitorName = p.monitorName;
        r.pPortName = p.portName;
        r.PortTypeText = PortTypeText(p.portType);
        lists.PortTable.push_back(std::move(r));
    }
    lists.PortCount = std::int32_t(lists.PortTable.size());
}

PortRecord FindPort(const std::vector<PortRecord>& table, std::int32_t count,
                    std::u16string_view portName) {
    const std::u16string wanted = txt::LCase(portName);
    for (std::int32_t i = 0; i < count && std::size_t(i) < table.size(); ++i)
        if (txt::equalsNoCase(txt::LCase(table[std::size_t(i)].pPortName), wanted))
            return table[std::size_t(i)];
    return PortRecord{};
}

PortRecord FindPort(std::u16string_view portName) {
    const auto& lists = moduleState().lists;
    return FindPort(lists.PortTable, lists.PortCount, portName);
}

std::u16string GetSystemFolder() {
    std::u16string folder = txt::fromUtf8(platform::system::systemFolder().string());
    if (folder.empty() || folder.back() != u'/') folder += u'/';
    return folder;
}

CommandRunner commandRunner() {
    return [](std::u16string_view line) -> std::optional<std::u16string> {
        ClassDosOutput::Options options;
        options.log = [](std::u16string_view text, std::int16_t level) { WriteLog(text, level); };
        options.timeout = std::chrono::seconds(15);
        ClassDosOutput dos(std::move(options));
        // No prefix: the line starts its program directly, without an interpreter.
        if (!dos.Execute(line, u"")) return std::nullopt;
        return dos.Output();
    };
}

namespace {

// One argument of a command line, quoted so the platform's splitting gives it back unchanged.
std::u16string quoteArgument(std::u16string_view arg) {
    std::u16string out = u"\"";
    std::size_t slashes = 0;
    for (char16_t c : arg) {
        if (c == u'\\') {
            ++slashes;
            out += c;
            continue;
        }
        if (c == u'"') out.append(slashes + 1, u'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes, u'\\');
    return out + u"\"";
}

// The lines of a listing that contain `find` without regard to case, as a filter program
// prints them: each followed by CR LF.
std::u16string linesContaining(std::u16string_view listing, std::u16string_view find) {
    std::u16string out;
    for (const auto& raw : txt::Split(listing, u"\n")) {
        std::u16string line = raw;
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        if (txt::InStr(line, find, true) > 0) out += line + u"\r\n";
    }
    return out;
}

}  // namespace

std::u16string GetRealPort(std::u16string& portName, const CommandRunner& run) {
    WriteLog(u"GetRealPort 함수 시작", 5);
    std::u16string result;
    try {
        portName = txt::Trim(portName);
        const std::u16string p = txt::Replace(portName, u":", u"");
        const std::u16string folder = GetSystemFolder();
        std::u16string command;
        if (FileExist(folder + u"net.exe"))
            command = quoteArgument(folder + u"net.exe") + u" use";
        else if (FileExist(folder + u"net1.exe"))
            command = quoteArgument(folder + u"net1.exe") + u" use";
        WriteLog(u"CMD = " + command, 5);

        std::u16string out;
        if (!command.empty() && !p.empty() && run) {
            if (auto listing = run(command)) {
                WriteLog(u"실행 성공", 6);
                out = linesContaining(*listing, p);
            }
            out = txt::TrimWhite(out);
            WriteLog(u"실행 결과 - " + out, 5);
        }
        // Redirected when the listing names the port and something follows the name.
        if (!out.empty()) {
            const auto pieces = txt::Split(out, p, 2, true);
            if (pieces.size() > 1 && !txt::TrimWhite(pieces[1]).empty()) result = u"Redirected";
        }
    } catch (const std::exception& e) {
        WriteLog(u"GetRealPort 함수 오류 - " + txt::fromUtf8(e.what()), 5);
        result.clear();
    }
    WriteLog(u"GetRealPort 함수 종료", 5);
    return result;
}

std::u16string GetRealPort(std::u16string& portName) {
    return GetRealPort(portName, commandRunner());
}

}  // namespace vistrel
