// Profile entries, the message table, file version blocks and network uses of the described
// machine.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/system/description.h"
#include "platform/system/fileversion.h"
#include "platform/system/messages.h"
#include "platform/system/network.h"
#include "platform/system/printer_source.h"
#include "platform/system/profile.h"
#include "platform/text/codepage.h"
#include "platform/text/coding.h"
#include "platform/text/strings.h"

namespace platform::system {

using platform::text::equalsNoCase;

// ---------------------------------------------------------------------------------------------
// Profile entries

namespace {

std::u16string portsValue(std::u16string_view port) {
    return u"winspool," + std::u16string(port);
}

const std::map<std::u16string, std::u16string>* storedSection(const MachineDescription& m,
                                                              std::u16string_view section) {
    for (const auto& [name, keys] : m.profile)
        if (equalsNoCase(name, section)) return &keys;
    return nullptr;
}

PrinterSource& printerSource() {
    static PrinterSource source;
    return source;
}

// The installed printers and the default one: the source's, else the description's.
SourcePrinters installedPrinters(const MachineDescription& m) {
    if (const auto& fn = printerSource().printers)
        if (auto listed = fn()) return std::move(*listed);
    SourcePrinters r;
    for (const auto& p : m.printers) r.printers.emplace_back(p.deviceName, p.portName);
    if (const DescribedPrinter* p = m.findPrinter(m.defaultPrinter))
        r.defaultPrinter = p->deviceName;
    return r;
}

const std::pair<std::u16string, std::u16string>* findInstalled(const SourcePrinters& s,
                                                               std::u16string_view device) {
    for (const auto& p : s.printers)
        if (!device.empty() && equalsNoCase(p.first, device)) return &p;
    return nullptr;
}

}  // namespace

void setPrinterSource(PrinterSource source) {
    printerSource() = std::move(source);
}

std::optional<std::u16string> profileString(std::u16string_view section, std::u16string_view key) {
    MachineDescription m = loadMachine();
    if (equalsNoCase(section, u"Windows") && equalsNoCase(key, u"device")) {
        const SourcePrinters installed = installedPrinters(m);
        const auto* p = findInstalled(installed, installed.defaultPrinter);
        if (!p) return std::nullopt;
        return p->first + u"," + portsValue(p->second);
    }
    if (equalsNoCase(section, u"PrinterPorts") || equalsNoCase(section, u"Devices")) {
        const SourcePrinters installed = installedPrinters(m);
        const auto* p = findInstalled(installed, key);
        if (!p) return std::nullopt;
        return equalsNoCase(section, u"Devices") ? portsValue(p->second)
                                                 : portsValue(p->second) + u",15,45";
    }
    if (const auto* keys = storedSection(m, section))
        for (const auto& [k, v] : *keys)
            if (equalsNoCase(k, key)) return v;
    return std::nullopt;
}

std::vector<std::u16string> profileKeys(std::u16string_view section) {
    MachineDescription m = loadMachine();
    std::vector<std::u16string> keys;
    if (equalsNoCase(section, u"PrinterPorts") || equalsNoCase(section, u"Devices")) {
        for (const auto& p : installedPrinters(m).printers) keys.push_back(p.first);
    } else if (equalsNoCase(section, u"Windows")) {
        const SourcePrinters installed = installedPrinters(m);
        if (findInstalled(installed, installed.defaultPrinter)) keys.push_back(u"device");
        if (const auto* stored = storedSection(m, section))
            for (const auto& [k, v] : *stored)
                if (!equalsNoCase(k, u"device")) keys.push_back(k);
    } else if (const auto* stored = storedSection(m, section)) {
        for (const auto& [k, v] : *stored) keys.push_back(k);
    }
    return keys;
}

bool writeProfileString(std::u16string_view section, std::u16string_view key,
                        std::u16string_view value) {
    if (equalsNoCase(section, u"PrinterPorts") || equalsNoCase(section, u"Devices"))
        return false;  // these follow the installed printers
    if (equalsNoCase(section, u"Windows") && equalsNoCase(key, u"device")) {
        std::u16string device(value.substr(0, value.find(u',')));
        bool known = false;
        bool written = updateMachine([&](MachineDescription& m) {
            if (const DescribedPrinter* p = m.findPrinter(device)) {
                m.defaultPrinter = p->deviceName;
                known = true;
            }
        });
        return written && known;
    }
    return updateMachine([&](MachineDescription& m) {
        auto& keys = m.profile[std::u16string(section)];
        for (auto it = keys.begin(); it != keys.end(); ++it)
            if (equalsNoCase(it->first, key)) {
                keys.erase(it);
                break;
            }
        keys[std::u16string(key)] = std::u16string(value);
    });
}

// ---------------------------------------------------------------------------------------------
// Message table

std::uint16_t userLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (!v || !*v) continue;
        if (std::strncmp(v, "ko", 2) == 0) return kLanguageKorean;
        if (std::strncmp(v, "ja", 2) == 0) return kLanguageJapanese;
        return kLanguageEnglish;
    }
    return kLanguageEnglish;
}

std::optional<std::u16string> formatMessage(std::uint32_t code) {
    return formatMessage(code, userLanguage());
}

std::optional<std::u16string> formatMessage(std::uint32_t code, std::uint16_t language) {
    struct Text {
        const char16_t* english;
        const char16_t* korean;
    };
    static const std::map<std::uint32_t, Text> table = {
        {0, {u"The operation completed successfully.", u"작업을 완료했습니다."}},
        {2, {u"The system cannot find the file specified.", u"지정된 파일을 찾을 수 없습니다."}},
        {3, {u"The system cannot find the path specified.", u"지정된 경로를 찾을 수 없습니다."}},
        {5, {u"Access is denied.", u"액세스가 거부되었습니다."}},
        {6, {u"The handle is invalid.", u"핸들이 잘못되었습니다."}},
        {8,
         {u"Not enough memory resources are available to process this command.",
          u"이 명령을 처리할 메모리 리소스가 부족합니다."}},
        {32,
         {u"The process cannot access the file because it is being used by another process.",
          u"다른 프로세스가 파일을 사용 중이기 때문에 프로세스가 액세스 할 수 없습니다."}},
        {50, {u"The request is not supported.", u"요청이 지원되지 않습니다."}},
        {53, {u"The network path was not found.", u"네트워크 경로를 찾을 수 없습니다."}},
        {67, {u"The network name cannot be found.", u"네트워크 이름을 찾을 수 없습니다."}},
        {87, {u"The parameter is incorrect.", u"매개 변수가 틀립니다."}},
        {122,
         {u"The data area passed to a system call is too small.",
          u"시스템 호출에 전달되는 데이터 영역이 너무 작습니다."}},
        {124, {u"The system call level is not correct.", u"시스템 호출 수준이 잘못되었습니다."}},
        {1060,
         {u"The specified service does not exist as an installed service.",
          u"지정된 서비스가 설치된 서비스로 존재하지 않습니다."}},
        {1062, {u"The service has not been started.", u"서비스가 시작되지 않았습니다."}},
        {1168, {u"Element not found.", u"요소를 찾을 수 없습니다."}},
        {1223, {u"The operation was canceled by the user.", u"사용자가 작업을 취소했습니다."}},
        {1722, {u"The RPC server is unavailable.", u"RPC 서버를 사용할 수 없습니다."}},
        {1796, {u"The specified port is unknown.", u"지정된 포트를 알 수 없습니다."}},
        {1797, {u"The printer driver is unknown.", u"프린터 드라이버를 알 수 없습니다."}},
        {1798, {u"The print processor is unknown.", u"인쇄 프로세서를 알 수 없습니다."}},
        {1801, {u"The printer name is invalid.", u"프린터 이름이 잘못되었습니다."}},
        {1802, {u"The printer already exists.", u"프린터가 이미 있습니다."}},
        {1803, {u"The printer command is invalid.", u"프린터 명령이 잘못되었습니다."}},
        {1804, {u"The specified datatype is invalid.", u"지정된 데이터 형식이 잘못되었습니다."}},
        {1805, {u"The environment specified is invalid.", u"지정된 환경이 잘못되었습니다."}},
        {1905, {u"The printer has been deleted.", u"프린터가 삭제되었습니다."}},
        {1906, {u"The state of the printer is invalid.", u"프린터 상태가 잘못되었습니다."}},
    };
    auto it = table.find(code);
    if (it == table.end()) return std::nullopt;
    const char16_t* text = language == kLanguageKorean ? it->second.korean : it->second.english;
    return std::u16string(text) + u"\r\n";
}

// ---------------------------------------------------------------------------------------------
// Version blocks

namespace {

std::u16string pathKey(std::u16string_view path) {
    std::u16string key;
    for (char16_t c : path) key += c == u'\\' ? u'/' : platform::text::toLower(c);
    return key;
}

}  // namespace

std::optional<VersionBlock> fileVersionBlock(std::u16string_view path) {
    if (path.empty()) return std::nullopt;
    MachineDescription m = loadMachine();
    const std::u16string wanted = pathKey(path);
    for (const auto& [p, block] : m.versionBlocks)
        if (pathKey(p) == wanted) return block;
    if (const auto& fn = printerSource().versionBlock) return fn(path);
    return std::nullopt;
}

std::optional<std::u16string> versionString(const VersionBlock& block, std::u16string_view key,
                                            std::u16string_view name) {
    if (block.translations.empty()) return std::nullopt;
    const auto& t = block.translations.front();
    if (!equalsNoCase(key, platform::text::hexWord(std::uint32_t(t.language) << 16 | t.codePage, 8,
                                                   platform::text::HexCase::Upper)))
        return std::nullopt;
    for (const auto& [n, v] : block.strings)
        if (equalsNoCase(n, name)) return v;
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Network uses

std::vector<NetworkUse> networkUses() {
    return loadMachine().netUse;
}

std::string netUseListing(const std::vector<NetworkUse>& uses) {
    auto pad = [](std::u16string s, std::size_t width) {
        if (s.size() < width) s.append(width - s.size(), u' ');
        return s;
    };
    std::u16string out = u"New connections will be remembered.\r\n\r\n\r\n";
    out += pad(u"Status", 13) + pad(u"Local", 10) + pad(u"Remote", 26) + u"Network\r\n\r\n";
    out += std::u16string(79, u'-') + u"\r\n";
    for (const auto& u : uses) {
        std::u16string line = pad(u.status, 13) + pad(u.local, 10);
        if (u.remote.size() < 26) {
            line += pad(u.remote, 26) + u.network;
        } else {
            line += u.remote + u"\r\n" + std::u16string(49, u' ') + u.network;
        }
        out += line + u"\r\n";
    }
    out += u"The command completed successfully.\r\n";
    auto bytes = platform::text::toAnsi(out);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace platform::system
