#include "platform/spooler/cups_map.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/text/codepage.h"

namespace platform::spooler::cups {

namespace {

constexpr std::uint32_t kPortWrite = 1, kPortRead = 2, kPortRedirected = 4;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool containsNoCase(std::string_view text, std::string_view word) {
    return lower(text).find(lower(word)) != std::string::npos;
}

// The parts of a URI this mapping reads: scheme, host (without user and port) and path.
struct UriParts {
    std::string scheme, host, path;
};

UriParts split(std::string_view uri) {
    UriParts p;
    const auto colon = uri.find(':');
    if (colon == std::string_view::npos) return p;
    p.scheme = lower(uri.substr(0, colon));
    std::string_view rest = uri.substr(colon + 1);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const auto slash = rest.find_first_of("/?");
        std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        if (const auto at = authority.rfind('@'); at != std::string_view::npos)
            authority.remove_prefix(at + 1);
        if (authority.starts_with('[')) {
            const auto close = authority.find(']');
            p.host = std::string(authority.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        } else {
            p.host = std::string(authority.substr(0, authority.find(':')));
        }
    }
    p.path = std::string(rest.substr(0, rest.find('?')));
    return p;
}

// The value of a query parameter ("ip" of hp:/net/...?ip=10.0.0.5).
std::string queryValue(std::string_view uri, std::string_view name) {
    const auto q = uri.find('?');
    if (q == std::string_view::npos) return {};
    std::string_view query = uri.substr(q + 1);
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
            pair[name.size()] == '=')
            return std::string(pair.substr(name.size() + 1));
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return {};
}

// The queue a server path names ("/printers/<q>", "/classes/<q>"); "" for any other path.
std::string serverQueue(std::string_view path) {
    for (std::string_view prefix : {"/printers/", "/classes/"}) {
        if (!path.starts_with(prefix)) continue;
        std::string_view q = path.substr(prefix.size());
        q = q.substr(0, q.find('/'));
        return std::string(q);
    }
    return {};
}

std::string numbered(const char* pattern, int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, pattern, n);
    return buf;
}

MappedPort port(std::string_view name, std::u16string monitor, std::string_view uri,
                std::uint32_t type) {
    return {text::fromUtf8(name), std::move(monitor), text::fromUtf8(uri), type};
}

}  // namespace

MappedPort PortCounter::portOf(std::string_view uri) {
    const UriParts u = split(uri);
    const std::string& s = u.scheme;
    constexpr auto kLocal = u"Local Port";
    // A network printer's port says what it is, as a standard TCP/IP port's description does,
    // so the TCP/IP stage of the admissibility policy recognises it.
    auto tcpip = [&](const std::string& host) {
        return port("IP_" + host, u"Standard TCP/IP Port",
                    "Standard TCP/IP Port: " + std::string(uri), kPortWrite | kPortRead);
    };
    auto redirected = [&](const std::string& server, const std::string& queue) {
        return port("\\\\" + server + "\\" + queue, kLocal, uri, kPortWrite | kPortRedirected);
    };
    if (s == "usb" || (s == "hp" && lower(uri).starts_with("hp:/usb")))
        return port(numbered("USB%03d", ++usb_), u"USB Monitor", uri, kPortWrite | kPortRead);
    if (s == "hp" && lower(uri).starts_with("hp:/par"))
        return port(numbered("LPT%d:", ++parallel_), kLocal, uri, kPortWrite | kPortRead);
    if (s == "hp" && lower(uri).starts_with("hp:/net")) {
        const std::string ip = queryValue(uri, "ip");
        return tcpip(ip.empty() ? queryValue(uri, "hostname") : ip);
    }
    if (s == "socket" || s == "lpd") return tcpip(u.host);
    if (s == "ipp" || s == "ipps" || s == "http" || s == "https") {
        const std::string queue = serverQueue(u.path);
        return queue.empty() ? tcpip(u.host) : redirected(u.host, queue);
    }
    if (s == "dnssd") return tcpip(u.host);
    if (s == "smb") {
        std::string queue = u.path;
        while (queue.starts_with('/')) queue.erase(0, 1);
        queue = queue.substr(queue.rfind('/') == std::string::npos ? 0 : queue.rfind('/') + 1);
        return redirected(u.host, queue);
    }
    if (s == "implicitclass") return redirected("implicitclass", u.host);
    if (s == "file") return port("FILE:", kLocal, uri, kPortWrite);
    if (s == "cups-pdf") return port("CUPS-PDF:", kLocal, uri, kPortWrite);
    if (s == "parallel")
        return port(numbered("LPT%d:", ++parallel_), kLocal, uri, kPortWrite | kPortRead);
    if (s == "serial")
        return port(numbered("COM%d:", ++serial_), kLocal, uri, kPortWrite | kPortRead);
    if (s == "fax" || s == "hpfax") return port("FAX:", kLocal, uri, kPortWrite);
    if (s.empty()) return port("NUL:", kLocal, uri, kPortWrite);  // no device at all
    return port(upper(s) + ":", kLocal, uri, kPortWrite);
}

std::string backendProgram(std::string_view uri) {
    const std::string scheme = split(uri).scheme;
    return scheme.empty() ? std::string() : "/usr/lib/cups/backend/" + scheme;
}

std::uint32_t reasonStatus(std::string_view reason) {
    std::string r(reason);
    for (std::string_view suffix : {"-error", "-warning", "-report"})
        if (r.size() > suffix.size() && r.ends_with(suffix)) {
            r.resize(r.size() - suffix.size());
            break;
        }
    struct Bit {
        const char* reason;
        std::uint32_t status;
    };
    static constexpr Bit kBits[] = {
        {"media-jam", 0x8},
        {"media-empty", 0x10},
        {"media-needed", 0x20},  // manual feed: the printer waits for paper to be fed
        {"offline", 0x80},
        {"connecting-to-device", 0x80},
        {"output-area-full", 0x800},
        {"shutdown", 0x1000},  // not available
        {"toner-low", 0x20000},
        {"marker-supply-low", 0x20000},
        {"toner-empty", 0x40000},
        {"marker-supply-empty", 0x40000},
        {"door-open", 0x400000},
        {"cover-open", 0x400000},
        {"interlock-open", 0x400000},
        {"spool-area-full", 0x200000},  // out of memory
    };
    for (const auto& b : kBits)
        if (r == b.reason) return b.status;
    return 0;
}

std::uint32_t printerStatus(int state, const std::vector<std::string>& reasons) {
    std::uint32_t status = 0;
    if (state == 5) status |= 0x1;    // stopped: paused
    if (state == 4) status |= 0x400;  // processing: printing
    for (const auto& r : reasons) status |= reasonStatus(r);
    return status;
}

std::uint32_t jobStatus(int state) {
    switch (state) {
        case 4:
            return 0x1;  // held: paused
        case 5:
            return 0x10;  // processing: printing
        case 6:
            return 0x2;  // stopped: error
        case 7:
            return 0x100;  // canceled: deleted
        case 8:
            return 0x2;  // aborted: error
        case 9:
            return 0x1080;  // completed: printed and complete
        default:
            return 0;  // pending
    }
}

std::uint32_t printerAttributes(std::uint32_t printerType, bool shared, bool isDefault) {
    constexpr std::uint32_t kCupsRemote = 0x2, kCupsFax = 0x40000;
    std::uint32_t a = (printerType & kCupsRemote) ? 0x10 : 0x40;
    if (shared) a |= 0x8;
    if (isDefault) a |= 0x4;
    if (printerType & kCupsFax) a |= 0x4000;
    return a;
}

bool isPostscript(std::string_view ppd, std::string_view makeAndModel) {
    if (containsNoCase(makeAndModel, "postscript")) return true;
    if (ppd.empty()) return false;
    bool filters = false, languageLevel = false;
    auto isPs = [](std::string_view type) {
        return type == "application/postscript" || type == "application/vnd.cups-postscript";
    };
    std::size_t at = 0;
    while (at < ppd.size()) {
        auto end = ppd.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = ppd.size();
        std::string_view line = ppd.substr(at, end - at);
        at = end + 1;
        if (line.starts_with("*LanguageLevel:")) languageLevel = true;
        const bool two = line.starts_with("*cupsFilter2:");
        if (!two && !line.starts_with("*cupsFilter:")) continue;
        filters = true;
        // *cupsFilter: "<source> <cost> <program>", *cupsFilter2: "<source> <dest> <cost> ...".
        const auto open = line.find('"');
        if (open == std::string_view::npos) continue;
        std::string_view value = line.substr(open + 1);
        value = value.substr(0, value.find('"'));
        const auto space = value.find(' ');
        const std::string_view first = value.substr(0, space);
        if (two) {
            // The printer receives what the chain's last filter makes.
            std::string_view dest = space == std::string_view::npos ? "" : value.substr(space + 1);
            if (isPs(dest.substr(0, dest.find(' ')))) return true;
        } else {
            // PostScript passed to the printer as it is ("-": no filter program).
            const auto last = value.rfind(' ');
            const std::string_view program =
                last == std::string_view::npos ? "" : value.substr(last + 1);
            if (isPs(first) && program == "-") return true;
        }
    }
    return languageLevel && !filters;
}

}  // namespace platform::spooler::cups
