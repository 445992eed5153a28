#include "platform/system/description.h"
#include "platform/system/storefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "platform/bytes/byteorder.h"
#include "platform/system/machine.h"
#include "platform/text/codepage.h"
#include "platform/text/coding.h"
#include "platform/text/strings.h"

namespace platform::system {

namespace fs = std::filesystem;
using nlohmann::json;
using platform::text::fromUtf8;
using platform::text::toUtf8;
namespace text = platform::text;

// ---------------------------------------------------------------------------------------------
// Lookups

DescribedPrinter* MachineDescription::findPrinter(std::u16string_view deviceName) {
    for (auto& p : printers)
        if (platform::text::equalsNoCase(p.deviceName, deviceName)) return &p;
    return nullptr;
}

const DescribedPrinter* MachineDescription::findPrinter(std::u16string_view deviceName) const {
    return const_cast<MachineDescription*>(this)->findPrinter(deviceName);
}

const DescribedDriver* MachineDescription::findDriver(std::u16string_view name) const {
    for (const auto& d : drivers)
        if (platform::text::equalsNoCase(d.name, name)) return &d;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Device-mode records

namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    bytes::storeLittleEndian<std::uint16_t>(b.data() + at, v);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    bytes::storeLittleEndian<std::uint32_t>(b.data() + at, v);
}
void putName(std::vector<std::uint8_t>& b, std::size_t at, std::u16string_view name) {
    auto bytes = platform::text::toAnsi(name);
    for (std::size_t i = 0; i < bytes.size() && i < 32; ++i) b[at + i] = bytes[i];
}

}  // namespace

std::vector<std::uint8_t> devModeRecord(const DevModeFields& f) {
    std::vector<std::uint8_t> b(kDevModeSize, 0);
    putName(b, 0, f.deviceName);
    put16(b, 32, f.specVersion);
    put16(b, 34, f.driverVersion);
    put16(b, 36, f.size);
    put16(b, 38, f.driverExtra);
    // DM_ORIENTATION 0x1 ... DM_COLLATE 0x8000, in the order of the record.
    const std::optional<std::int16_t>* shorts[] = {
        &f.orientation, &f.paperSize,     &f.paperLength,  &f.paperWidth, &f.scale,
        &f.copies,      &f.defaultSource, &f.printQuality, &f.color,      &f.duplex,
        &f.yResolution, &f.ttOption,      &f.collate};
    const std::uint32_t bits[] = {0x1,   0x2,   0x4,    0x8,    0x10,   0x100, 0x200,
                                  0x400, 0x800, 0x1000, 0x2000, 0x4000, 0x8000};
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < std::size(shorts); ++i) {
        if (*shorts[i]) {
            put16(b, 44 + 2 * i, std::uint16_t(**shorts[i]));
            mask |= bits[i];
        }
    }
    if (!f.formName.empty()) mask |= 0x10000;
    put32(b, 40, f.fields.value_or(mask));
    putName(b, 70, f.formName);
    put16(b, 102, f.logPixels);
    put32(b, 104, f.bitsPerPel);
    put32(b, 108, f.pelsWidth);
    put32(b, 112, f.pelsHeight);
    put32(b, 116, f.nup);
    put32(b, 120, f.displayFrequency);
    return b;
}

SystemTime systemTimeFromUtc(std::int64_t seconds, std::uint16_t milliseconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    SystemTime st;
    st.year = std::uint16_t(tm.tm_year + 1900);
    st.month = std::uint16_t(tm.tm_mon + 1);
    st.dayOfWeek = std::uint16_t(tm.tm_wday);
    st.day = std::uint16_t(tm.tm_mday);
    st.hour = std::uint16_t(tm.tm_hour);
    st.minute = std::uint16_t(tm.tm_min);
    st.second = std::uint16_t(tm.tm_sec);
    st.milliseconds = milliseconds;
    return st;
}

// ---------------------------------------------------------------------------------------------
// JSON

namespace {

[[noreturn]] void bad(const std::string& what) {
    throw std::invalid_argument(what);
}

std::u16string text(const json& o, const char* key, std::u16string def = {}) {
    auto it = o.find(key);
    if (it == o.end() || it->is_null()) return def;
    if (!it->is_string()) bad(std::string("\"") + key + "\" must be a text");
    return fromUtf8(it->get<std::string>());
}

// A whole number from 0 to `max`, given as a JSON number or a decimal or "0x..." text. A number
// out of range is refused rather than wrapped into range.
std::uint32_t wholeNumber(const json& v, const char* key, std::uint32_t max = 0xFFFFFFFFu) {
    auto outOfRange = [&]() {
        bad(std::string("\"") + key + "\" must be a whole number from 0 to " + std::to_string(max));
    };
    if (v.is_number_unsigned()) {
        auto n = v.get<std::uint64_t>();
        if (n > max) outOfRange();
        return std::uint32_t(n);
    }
    if (v.is_number_integer()) {
        auto n = v.get<std::int64_t>();
        if (n < 0 || std::uint64_t(n) > max) outOfRange();
        return std::uint32_t(n);
    }
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        if (!s.empty() && s[0] >= '0' && s[0] <= '9') {
            unsigned long long n = 0;
            std::size_t used = 0;
            try {
                n = std::stoull(s, &used, 0);
            } catch (const std::out_of_range&) {
                outOfRange();
            } catch (const std::exception&) {
                used = 0;
            }
            if (used == s.size()) {
                if (n > max) outOfRange();
                return std::uint32_t(n);
            }
        } else if (!s.empty() && s[0] == '-') {
            outOfRange();
        }
    }
    bad(std::string("\"") + key + "\" must be a number");
}

std::uint32_t number(const json& o, const char* key, std::uint32_t def,
                     std::uint32_t max = 0xFFFFFFFFu) {
    auto it = o.find(key);
    if (it == o.end() || it->is_null()) return def;
    return wholeNumber(*it, key, max);
}

bool boolean(const json& o, const char* key, bool def) {
    auto it = o.find(key);
    if (it == o.end() || it->is_null()) return def;
    if (!it->is_boolean()) bad(std::string("\"") + key + "\" must be true or false");
    return it->get<bool>();
}

const json& arrayOf(const json& o, const char* key) {
    static const json empty = json::array();
    auto it = o.find(key);
    if (it == o.end() || it->is_null()) return empty;
    if (!it->is_array()) bad(std::string("\"") + key + "\" must be a list");
    return *it;
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    return text::toHexAscii(bytes, text::HexCase::Upper);
}

// Hexadecimal digits of either case; blanks between them are allowed.
std::vector<std::uint8_t> unhex(const std::string& s) {
    std::string digits;
    for (char c : s) {
        if (c == ' ') continue;
        if (text::hexDigitValue(static_cast<unsigned char>(c)) < 0)
            bad("a device mode text must be hexadecimal digits");
        digits += c;
    }
    auto bytes = text::fromHex(std::string_view(digits));
    if (!bytes) bad("a device mode text must have an even number of digits");
    return *bytes;
}

std::optional<std::int16_t> short_(const json& o, const char* key) {
    auto it = o.find(key);
    if (it == o.end() || it->is_null()) return std::nullopt;
    if (!it->is_number_integer()) bad(std::string("\"") + key + "\" must be a number");
    if (it->is_number_unsigned()
            ? it->get<std::uint64_t>() > 32767u
            : (it->get<std::int64_t>() < -32768 || it->get<std::int64_t>() > 32767))
        bad(std::string("\"") + key + "\" must be a whole number from -32768 to 32767");
    return static_cast<std::int16_t>(it->get<std::int64_t>());
}

std::optional<std::vector<std::uint8_t>> devModeFrom(const json& o, const char* key) {
    auto it = o.find(key);
    if (it == o.end() || it->is_null()) return std::nullopt;
    if (it->is_string()) return unhex(it->get<std::string>());
    if (!it->is_object()) bad("\"devMode\" must be an object, a hexadecimal text or null");
    const json& d = *it;
    DevModeFields f;
    f.deviceName = text(d, "deviceName");
    f.formName = text(d, "formName");
    f.specVersion = std::uint16_t(number(d, "specVersion", f.specVersion, 0xFFFF));
    f.driverVersion = std::uint16_t(number(d, "driverVersion", 0, 0xFFFF));
    f.size = std::uint16_t(number(d, "size", f.size, 0xFFFF));
    f.driverExtra = std::uint16_t(number(d, "driverExtra", 0, 0xFFFF));
    if (d.contains("fields")) f.fields = number(d, "fields", 0);
    f.orientation = short_(d, "orientation");
    f.paperSize = short_(d, "paperSize");
    f.paperLength = short_(d, "paperLength");
    f.paperWidth = short_(d, "paperWidth");
    f.scale = short_(d, "scale");
    f.copies = short_(d, "copies");
    f.defaultSource = short_(d, "defaultSource");
    f.printQuality = short_(d, "printQuality");
    f.color = short_(d, "color");
    f.duplex = short_(d, "duplex");
    f.yResolution = short_(d, "yResolution");
    f.ttOption = short_(d, "ttOption");
    f.collate = short_(d, "collate");
    f.logPixels = std::uint16_t(number(d, "logPixels", 0, 0xFFFF));
    f.bitsPerPel = number(d, "bitsPerPel", 0);
    f.pelsWidth = number(d, "pelsWidth", 0);
    f.pelsHeight = number(d, "pelsHeight", 0);
    f.nup = number(d, "nup", 0);
    f.displayFrequency = number(d, "displayFrequency", 0);
    return devModeRecord(f);
}

// "2026-01-31T23:30:00.250Z" (UTC).
SystemTime timeFrom(const std::string& s) {
    int y, mo, d, h = 0, mi = 0, sec = 0, ms = 0;
    int n = std::sscanf(s.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &y, &mo, &d, &h, &mi, &sec, &ms);
    if (n < 3) bad("\"submitted\" must be a UTC time such as 2026-01-31T23:30:00Z");
    // The unset time (all fields zero) is written as zeros and reads back unset.
    if (y == 0 && mo == 0 && d == 0 && h == 0 && mi == 0 && sec == 0 && ms == 0) return {};
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = sec;
    return systemTimeFromUtc(timegm(&tm), std::uint16_t(ms));
}

std::string timeTo(const SystemTime& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.milliseconds);
    return buf;
}

DescribedJob jobFrom(const json& j) {
    if (!j.is_object()) bad("a job must be an object");
    DescribedJob job;
    job.id = number(j, "id", 0);
    job.document = text(j, "document");
    job.userName = text(j, "user");
    job.machineName = text(j, "machine");
    job.notifyName = text(j, "notify");
    job.datatype = text(j, "datatype", job.datatype);
    job.printProcessor = text(j, "printProcessor", job.printProcessor);
    job.parameters = text(j, "parameters");
    job.driverName = text(j, "driver");
    job.statusText = text(j, "statusText");
    job.status = number(j, "status", 0);
    job.priority = number(j, "priority", job.priority);
    job.startTime = number(j, "startTime", 0);
    job.untilTime = number(j, "untilTime", 0);
    job.totalPages = number(j, "totalPages", 0);
    job.size = number(j, "size", 0);
    job.time = number(j, "time", 0);
    job.pagesPrinted = number(j, "pagesPrinted", 0);
    if (auto it = j.find("submitted"); it != j.end() && it->is_string())
        job.submitted = timeFrom(it->get<std::string>());
    job.devMode = devModeFrom(j, "devMode");
    return job;
}

json jobTo(const DescribedJob& job) {
    json j = {{"id", job.id},
              {"document", toUtf8(job.document)},
              {"user", toUtf8(job.userName)},
              {"machine", toUtf8(job.machineName)},
              {"notify", toUtf8(job.notifyName)},
              {"datatype", toUtf8(job.datatype)},
              {"printProcessor", toUtf8(job.printProcessor)},
              {"parameters", toUtf8(job.parameters)},
              {"driver", toUtf8(job.driverName)},
              {"statusText", toUtf8(job.statusText)},
              {"status", job.status},
              {"priority", job.priority},
              {"startTime", job.startTime},
              {"untilTime", job.untilTime},
              {"totalPages", job.totalPages},
              {"size", job.size},
              {"submitted", timeTo(job.submitted)},
              {"time", job.time},
              {"pagesPrinted", job.pagesPrinted}};
    j["devMode"] = job.devMode ? json(hex(*job.devMode)) : json(nullptr);
    return j;
}

DescribedPrinter printerFrom(const json& j) {
    if (!j.is_object()) bad("a printer must be an object");
    DescribedPrinter p;
    p.deviceName = text(j, "device");
    if (p.deviceName.empty()) bad("a printer needs a \"device\" name");
    p.printerName = text(j, "printer");
    p.serverName = text(j, "server");
    p.shareName = text(j, "share");
    p.portName = text(j, "port");
    p.driverName = text(j, "driver");
    p.comment = text(j, "comment");
    p.location = text(j, "location");
    p.separatorPage = text(j, "separatorPage");
    p.printProcessor = text(j, "printProcessor", p.printProcessor);
    p.datatype = text(j, "datatype", p.datatype);
    p.parameters = text(j, "parameters");
    p.attributes = number(j, "attributes", p.attributes);
    p.priority = number(j, "priority", p.priority);
    p.defaultPriority = number(j, "defaultPriority", 0);
    p.startTime = number(j, "startTime", 0);
    p.untilTime = number(j, "untilTime", 0);
    p.status = number(j, "status", 0);
    p.averagePpm = number(j, "averagePPM", 0);
    p.devMode = devModeFrom(j, "devMode");
    if (auto it = j.find("dpi"); it != j.end() && !it->is_null()) {
        if (it->is_array() && it->size() == 2) {
            p.dpiX = wholeNumber((*it)[0], "dpi");
            p.dpiY = wholeNumber((*it)[1], "dpi");
        } else {
            p.dpiX = p.dpiY = wholeNumber(*it, "dpi");
        }
    }
    p.canAdminister = boolean(j, "canAdminister", true);
    p.openError = number(j, "openError", 0);
    p.getError = number(j, "getError", 0);
    if (auto it = j.find("output"); it != j.end() && it->is_string())
        p.output = it->get<std::string>();
    if (auto it = j.find("cupsQueue"); it != j.end() && it->is_string())
        p.cupsQueue = it->get<std::string>();
    for (const auto& job : arrayOf(j, "jobs")) p.jobs.push_back(jobFrom(job));
    return p;
}

json printerTo(const DescribedPrinter& p) {
    json j = {{"device", toUtf8(p.deviceName)},
              {"printer", toUtf8(p.printerName)},
              {"server", toUtf8(p.serverName)},
              {"share", toUtf8(p.shareName)},
              {"port", toUtf8(p.portName)},
              {"driver", toUtf8(p.driverName)},
              {"comment", toUtf8(p.comment)},
              {"location", toUtf8(p.location)},
              {"separatorPage", toUtf8(p.separatorPage)},
              {"printProcessor", toUtf8(p.printProcessor)},
              {"datatype", toUtf8(p.datatype)},
              {"parameters", toUtf8(p.parameters)},
              {"attributes", p.attributes},
              {"priority", p.priority},
              {"defaultPriority", p.defaultPriority},
              {"startTime", p.startTime},
              {"untilTime", p.untilTime},
              {"status", p.status},
              {"averagePPM", p.averagePpm},
              {"dpi", json::array({p.dpiX, p.dpiY})},
              {"canAdminister", p.canAdminister},
              {"openError", p.openError},
              {"getError", p.getError},
              {"output", p.output}};
    if (!p.cupsQueue.empty()) j["cupsQueue"] = p.cupsQueue;
    j["devMode"] = p.devMode ? json(hex(*p.devMode)) : json(nullptr);
    json jobs = json::array();
    for (const auto& job : p.jobs) jobs.push_back(jobTo(job));
    j["jobs"] = std::move(jobs);
    return j;
}

std::optional<VersionBlock> blockFrom(const json& j) {
    if (j.is_null()) return std::nullopt;
    if (!j.is_object()) bad("a version block must be an object or null");
    VersionBlock b;
    for (const auto& t : arrayOf(j, "translations")) {
        if (!t.is_array() || t.size() != 2) bad("a translation is [language, codePage]");
        b.translations.push_back({std::uint16_t(wholeNumber(t[0], "translations", 0xFFFF)),
                                  std::uint16_t(wholeNumber(t[1], "translations", 0xFFFF))});
    }
    if (auto it = j.find("strings"); it != j.end() && it->is_object())
        for (auto& [k, v] : it->items()) {
            if (!v.is_string()) bad("version strings must be texts");
            b.strings[fromUtf8(k)] = fromUtf8(v.get<std::string>());
        }
    return b;
}

json blockTo(const std::optional<VersionBlock>& b) {
    if (!b) return nullptr;
    json t = json::array();
    for (const auto& tr : b->translations) t.push_back(json::array({tr.language, tr.codePage}));
    json s = json::object();
    for (const auto& [k, v] : b->strings) s[toUtf8(k)] = toUtf8(v);
    return {{"translations", t}, {"strings", s}};
}

MachineDescription fromJsonDoc(const json& doc) {
    if (!doc.is_object()) bad("the machine description must be an object");
    MachineDescription m;
    m.spooler = text(doc, "spooler");
    m.defaultPrinter = text(doc, "defaultPrinter");
    for (const auto& p : arrayOf(doc, "printers")) m.printers.push_back(printerFrom(p));
    for (const auto& p : arrayOf(doc, "ports")) {
        if (!p.is_object()) bad("a port must be an object");
        m.ports.push_back(
            {text(p, "name"), text(p, "monitor"), text(p, "description"), number(p, "type", 1)});
    }
    m.enumPortsError = number(doc, "enumPortsError", 0);
    for (const auto& d : arrayOf(doc, "drivers")) {
        if (!d.is_object()) bad("a driver must be an object");
        DescribedDriver drv;
        drv.name = text(d, "name");
        drv.version = number(d, "version", drv.version);
        drv.environment = text(d, "environment", drv.environment);
        drv.driverPath = text(d, "driverPath");
        drv.dataFile = text(d, "dataFile");
        drv.configFile = text(d, "configFile");
        m.drivers.push_back(std::move(drv));
    }
    if (auto it = doc.find("versionBlocks"); it != doc.end() && it->is_object())
        for (auto& [k, v] : it->items()) m.versionBlocks[fromUtf8(k)] = blockFrom(v);
    for (const auto& u : arrayOf(doc, "netUse")) {
        if (!u.is_object()) bad("a network use must be an object");
        NetworkUse use;
        use.status = text(u, "status", use.status);
        use.local = text(u, "local");
        use.remote = text(u, "remote");
        use.network = text(u, "network", use.network);
        m.netUse.push_back(std::move(use));
    }
    if (auto it = doc.find("profile"); it != doc.end() && it->is_object())
        for (auto& [section, keys] : it->items()) {
            if (!keys.is_object()) bad("a profile section must be an object");
            auto& out = m.profile[fromUtf8(section)];
            for (auto& [k, v] : keys.items())
                if (v.is_string()) out[fromUtf8(k)] = fromUtf8(v.get<std::string>());
        }
    return m;
}

constexpr std::size_t kMaxNesting = 64;  // arrays and objects inside each other

// The deepest nesting of arrays and objects in a JSON text, found without building anything,
// so a text nested beyond reason is refused before it costs memory or stack.
std::size_t nestingDepth(std::string_view text) {
    std::size_t depth = 0, deepest = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

void intoJsonDoc(const MachineDescription& m, json& doc) {
    if (!m.spooler.empty()) doc["spooler"] = toUtf8(m.spooler);
    doc["defaultPrinter"] = toUtf8(m.defaultPrinter);
    json printers = json::array();
    for (const auto& p : m.printers) printers.push_back(printerTo(p));
    doc["printers"] = std::move(printers);
    json ports = json::array();
    for (const auto& p : m.ports)
        ports.push_back({{"name", toUtf8(p.name)},
                         {"monitor", toUtf8(p.monitor)},
                         {"description", toUtf8(p.description)},
                         {"type", p.type}});
    doc["ports"] = std::move(ports);
    doc["enumPortsError"] = m.enumPortsError;
    json drivers = json::array();
    for (const auto& d : m.drivers)
        drivers.push_back({{"name", toUtf8(d.name)},
                           {"version", d.version},
                           {"environment", toUtf8(d.environment)},
                           {"driverPath", toUtf8(d.driverPath)},
                           {"dataFile", toUtf8(d.dataFile)},
                           {"configFile", toUtf8(d.configFile)}});
    doc["drivers"] = std::move(drivers);
    json blocks = json::object();
    for (const auto& [k, v] : m.versionBlocks) blocks[toUtf8(k)] = blockTo(v);
    doc["versionBlocks"] = std::move(blocks);
    json uses = json::array();
    for (const auto& u : m.netUse)
        uses.push_back({{"status", toUtf8(u.status)},
                        {"local", toUtf8(u.local)},
                        {"remote", toUtf8(u.remote)},
                        {"network", toUtf8(u.network)}});
    doc["netUse"] = std::move(uses);
    json profile = json::object();
    for (const auto& [section, keys] : m.profile) {
        json s = json::object();
        for (const auto& [k, v] : keys) s[toUtf8(k)] = toUtf8(v);
        profile[toUtf8(section)] = std::move(s);
    }
    doc["profile"] = std::move(profile);
}

}  // namespace

std::string machineToJson(const MachineDescription& machine) {
    json doc = json::object();
    intoJsonDoc(machine, doc);
    return doc.dump(2);
}

MachineDescription machineFromJson(const std::string& text) {
    if (nestingDepth(text) > kMaxNesting)
        bad("the machine description nests arrays and objects more than " +
            std::to_string(kMaxNesting) + " deep");
    json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded()) bad("the machine description is not valid JSON");
    return fromJsonDoc(doc);
}

// ---------------------------------------------------------------------------------------------
// The default machine

MachineDescription defaultMachine() {
    const std::u16string driverFolder = u"C:\\Windows\\System32\\spool\\drivers\\W32X86\\3\\";
    MachineDescription m;
    m.defaultPrinter = u"Tessel Printer";
    DescribedPrinter p;
    p.deviceName = u"Tessel Printer";
    p.portName = u"USB001";
    p.driverName = u"Tessel Laser";
    p.comment = u"Pages are written as PDF files to the machine folder";
    p.attributes = 0x240;  // local, print the spooled job first
    p.output = "print";
    DevModeFields dm;
    dm.deviceName = p.deviceName;
    dm.orientation = 1;
    dm.paperSize = 9;  // A4
    dm.copies = 1;
    dm.defaultSource = 7;
    dm.printQuality = 600;
    dm.color = 2;
    dm.duplex = 1;
    dm.yResolution = 600;
    dm.formName = u"A4";
    p.devMode = devModeRecord(dm);
    m.printers.push_back(std::move(p));
    m.ports = {
        {u"USB001", u"USB Monitor", u"Virtual printer port for USB", 3},
        {u"LPT1:", u"Local Port", u"Local Port", 1},
        {u"COM1:", u"Local Port", u"Local Port", 1},
        {u"FILE:", u"Local Port", u"Print to File", 1},
    };
    DescribedDriver d;
    d.name = u"Tessel Laser";
    d.driverPath = driverFolder + u"TSLASER.DLL";
    d.dataFile = driverFolder + u"TSLASER.GPD";
    d.configFile = driverFolder + u"TSLASERUI.DLL";
    m.drivers.push_back(d);
    VersionBlock block;
    block.translations = {{0x0409, 0x04B0}};
    block.strings = {
        {u"CompanyName", u"Tessel"},       {u"FileDescription", u"Tessel Laser Printer Driver"},
        {u"FileVersion", u"1.0.0.0"},      {u"InternalName", u"TSLASER.DLL"},
        {u"LegalCopyright", u"Tessel"},    {u"OriginalFilename", u"TSLASER.DLL"},
        {u"ProductName", u"Tessel Laser"}, {u"ProductVersion", u"1.0"}};
    m.versionBlocks[d.driverPath] = block;
    m.versionBlocks[d.configFile] = block;
    return m;
}

// ---------------------------------------------------------------------------------------------
// The file

namespace {

constexpr std::size_t kMaxFileBytes = 16u * 1024 * 1024;

struct Store {
    fs::path folder, file;
};

Store locate() {
    fs::path folder = machineFolder();
    return {folder, folder / "machine.json"};
}

void warnDamaged(const fs::path& file, const std::string& why) {
    static std::mutex mutex;
    static std::map<std::string, std::string> warned;
    std::lock_guard lock(mutex);
    auto& last = warned[file.string()];
    if (last == why) return;
    last = why;
    std::fprintf(stderr,
                 "tessel machine: %s is damaged (%s); it reads as a machine without printers "
                 "and is left unchanged until it is repaired or removed\n",
                 file.c_str(), why.c_str());
}

bool failed(const std::string& why) {
    std::fprintf(stderr, "tessel machine: %s\n", why.c_str());
    return false;
}

json parseDocument(std::string_view text) {
    if (nestingDepth(text) > kMaxNesting)
        bad("arrays and objects are nested more than " + std::to_string(kMaxNesting) + " deep");
    json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded()) bad("not valid JSON");
    return doc;
}

json modelJson(const MachineDescription& m) {
    json doc = json::object();
    intoJsonDoc(m, doc);
    return doc;
}

// The member of a list item that names it, so items keep their stored form across a change
// that adds, removes or reorders others.
const char* identityOf(const json& item) {
    if (!item.is_object()) return nullptr;
    for (const char* key : {"device", "id", "name"})
        if (item.contains(key)) return key;
    return nullptr;
}

// Carries a change of the model into the stored document. `before` and `after` are the model's
// JSON form as read and as changed. What the change left alone keeps its stored form exactly:
// members and values the model does not know, numbers written as texts, a member whose shape
// the model does not read. Walks as deep as the model's own form, which is a few levels.
void overlay(json& stored, const json& before, const json& after) {
    if (before == after) return;
    if (stored.is_object() && before.is_object() && after.is_object()) {
        for (const auto& [key, value] : after.items()) {
            auto was = before.find(key);
            auto held = stored.find(key);
            if (was != before.end() && *was == value) continue;
            if (was == before.end() || held == stored.end())
                stored[key] = value;
            else
                overlay(*held, *was, value);
        }
        for (const auto& [key, value] : before.items())
            if (!after.contains(key)) stored.erase(key);
        return;
    }
    if (stored.is_array() && before.is_array() && after.is_array() &&
        stored.size() == before.size()) {
        json out = json::array();
        std::vector<bool> used(before.size(), false);
        for (const auto& item : after) {
            const char* id = identityOf(item);
            std::size_t match = before.size();
            for (std::size_t i = 0; id && i < before.size(); ++i)
                if (!used[i] && before[i].is_object() && before[i].contains(id) &&
                    before[i][id] == item[id]) {
                    match = i;
                    break;
                }
            if (match == before.size()) {
                out.push_back(item);
                continue;
            }
            used[match] = true;
            json kept = stored[match];
            overlay(kept, before[match], item);
            out.push_back(std::move(kept));
        }
        stored = std::move(out);
        return;
    }
    stored = after;
}

// The raw document and its description. `ok` is false for a damaged file.
struct Loaded {
    json doc = json::object();
    MachineDescription machine;
    bool ok = true;
    std::string why;
};

Loaded parse(const Store& store, FileState state, const std::string& text,
             const std::string& unreadable) {
    Loaded l;
    if (state == FileState::Missing) {
        l.machine = defaultMachine();
        l.doc = modelJson(l.machine);
        return l;
    }
    if (state == FileState::Unreadable) {
        l.ok = false;
        l.why = unreadable;
        warnDamaged(store.file, unreadable);
        return l;
    }
    try {
        l.doc = parseDocument(text);
        l.machine = fromJsonDoc(l.doc);
    } catch (const std::exception& e) {
        l.ok = false;
        l.why = store.file.string() + " is damaged (" + e.what() + ")";
        l.doc = json::object();
        l.machine = MachineDescription{};
        warnDamaged(store.file, e.what());
    }
    return l;
}

// The last description read, by the text it was read from: a file rewritten within one tick
// of the clock can keep its size, time and even its inode number, but never its text.
struct Cache {
    std::mutex mutex;
    std::string file, text;
    MachineDescription machine;
};

Cache& cache() {
    static Cache c;
    return c;
}

}  // namespace

MachineDescription loadMachine() {
    Store store = locate();
    std::string text, why;
    int error = 0;
    // No lock: writers rename complete files into place, so a stopped writer holds no reader.
    FileState state = readWholeFile(store.file, text, kMaxFileBytes, why, error);
    if (state == FileState::Read) {
        Cache& c = cache();
        std::lock_guard guard(c.mutex);
        if (c.file == store.file.string() && c.text == text) return c.machine;
    }
    Loaded l = parse(store, state, text, why);
    if (state == FileState::Read && l.ok) {
        Cache& c = cache();
        std::lock_guard guard(c.mutex);
        c.file = store.file.string();
        c.text = std::move(text);
        c.machine = l.machine;
    }
    return l.machine;
}

bool updateMachine(const std::function<void(MachineDescription&)>& change) {
    Store store = locate();
    StoreLock lock;
    std::string text, why;
    int error = 0;
    if (!lock.acquire(store.folder, why, error)) return failed(why);
    FileState state = readWholeFile(store.file, text, kMaxFileBytes, why, error);
    Loaded l = parse(store, state, text, why);
    if (!l.ok) return failed(l.why + "; the machine was not changed");
    const json before = modelJson(l.machine);
    change(l.machine);
    overlay(l.doc, before, modelJson(l.machine));
    std::string updated = l.doc.dump(2) + "\n";
    if (updated.size() > kMaxFileBytes)
        return failed("the change would make " + store.file.string() + " larger than " +
                      std::to_string(kMaxFileBytes) + " bytes; the machine was not changed");
    if (!replaceFileAtomically(store.file, updated, why, error)) return failed(why);
    return true;
}

bool describeMachine(std::string_view text) {
    if (text.size() > kMaxFileBytes) bad("the machine description is too large");
    machineFromJson(std::string(text));
    Store store = locate();
    StoreLock lock;
    std::string why;
    int error = 0;
    if (!lock.acquire(store.folder, why, error)) return failed(why);
    if (!replaceFileAtomically(store.file, std::string(text), why, error)) return failed(why);
    return true;
}

bool writeMachine(const MachineDescription& machine) {
    return updateMachine([&](MachineDescription& m) { m = machine; });
}

}  // namespace platform::system
