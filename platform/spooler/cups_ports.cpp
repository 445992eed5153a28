#include "platform/spooler/cups_ports.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <set>

#include <nlohmann/json.hpp>

#include "platform/spooler/cups_map.h"
#include "platform/system/machine.h"
#include "platform/system/storefile.h"

namespace platform::spooler::cups {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using platform::system::FileState;

// Far above what any machine's ports need, and small enough to read at every listing.
constexpr std::size_t kMaxFileBytes = 1024 * 1024;
constexpr long long kMaxNumber = 999999;

const char* kindKey(NumberedPort kind) {
    switch (kind) {
        case NumberedPort::Usb:
            return "USB";
        case NumberedPort::Parallel:
            return "LPT";
        case NumberedPort::Serial:
            return "COM";
    }
    return "";
}

// Says once per process and cause why the numbers are not kept.
void warnOnce(const std::string& why) {
    static std::mutex mutex;
    static std::set<std::string> said;
    std::lock_guard lock(mutex);
    if (said.insert(why).second)
        std::fprintf(stderr, "tessel spooler: %s; port numbers are given for this listing only\n",
                     why.c_str());
}

// The file's text as a document: nullopt when it is damaged (not an object, or a kind that is
// not an object of whole numbers). An empty file is damaged too: no writer leaves one.
std::optional<json> parse(const std::string& text, FileState state) {
    if (state == FileState::Missing) return json::object();
    json doc = json::parse(text, nullptr, false);
    if (!doc.is_object()) return std::nullopt;
    for (NumberedPort kind : {NumberedPort::Usb, NumberedPort::Parallel, NumberedPort::Serial}) {
        const auto it = doc.find(kindKey(kind));
        if (it == doc.end()) continue;
        if (!it->is_object()) return std::nullopt;
        for (const auto& [uri, n] : it->items())
            if (!n.is_number_integer() || n.get<long long>() < 1 || n.get<long long>() > kMaxNumber)
                return std::nullopt;
    }
    return doc;
}

std::map<std::string, int> numbersOf(const json& doc) {
    std::map<std::string, int> numbers;
    for (NumberedPort kind : {NumberedPort::Usb, NumberedPort::Parallel, NumberedPort::Serial}) {
        const auto it = doc.find(kindKey(kind));
        if (it == doc.end()) continue;
        // A device-uri under another kind's key would count twice: only its own kind holds it.
        for (const auto& [uri, n] : it->items())
            if (numberedPort(uri) == kind) numbers[uri] = n.get<int>();
    }
    return numbers;
}

enum class Kept { Read, Damaged, Unreadable };

// The file as read: its document when it is whole, its text when it is damaged, the cause
// when it cannot be read.
struct FileRead {
    Kept state = Kept::Unreadable;
    json doc;
    std::string text, why;
};

FileRead read(const fs::path& file) {
    FileRead r;
    int error = 0;
    const FileState state =
        platform::system::readWholeFile(file, r.text, kMaxFileBytes, r.why, error);
    if (state == FileState::Unreadable) return r;
    auto doc = parse(r.text, state);
    if (!doc) {
        r.state = Kept::Damaged;
        r.why = file.string() + " is damaged";
        return r;
    }
    r.state = Kept::Read;
    r.doc = std::move(*doc);
    return r;
}

// The numbers this process last read or wrote, by file: what is known of a file that has been
// damaged since.
std::mutex gKnownMutex;
std::map<fs::path, std::map<std::string, int>> gKnown;

void remember(const fs::path& file, const std::map<std::string, int>& numbers) {
    std::lock_guard lock(gKnownMutex);
    gKnown[file] = numbers;
}

std::map<std::string, int> known(const fs::path& file) {
    std::lock_guard lock(gKnownMutex);
    const auto it = gKnown.find(file);
    return it == gKnown.end() ? std::map<std::string, int>{} : it->second;
}

// The entries "<device-uri>": <number> that can still be read in a damaged file's text, each
// under its own kind; a device-uri or a number its kind already holds is left out.
void salvage(const std::string& text, std::map<std::string, int>& numbers) {
    static const std::regex entry(R"re("((?:[^"\\]|\\.)*)"\s*:\s*([0-9]{1,7})\b)re");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), entry);
         it != std::sregex_iterator(); ++it) {
        const json key = json::parse("\"" + (*it)[1].str() + "\"", nullptr, false);
        if (!key.is_string()) continue;
        const std::string uri = key.get<std::string>();
        const auto kind = numberedPort(uri);
        const long long n = std::stoll((*it)[2].str());
        if (!kind || n < 1 || n > kMaxNumber || numbers.contains(uri)) continue;
        bool taken = false;
        for (const auto& [other, m] : numbers)
            taken = taken || (m == n && numberedPort(other) == kind);
        if (!taken) numbers[uri] = int(n);
    }
}

// A name beside `file` for keeping a damaged copy: "<file>.damaged-<UTC time>", with a count
// after it when one of that name is there already.
fs::path asideName(const fs::path& file) {
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    const std::string base = file.string() + ".damaged-" + stamp;
    fs::path aside = base;
    std::error_code ec;
    for (int n = 2; fs::symlink_status(aside, ec).type() != fs::file_type::not_found; ++n)
        aside = base + "-" + std::to_string(n);
    return aside;
}

bool validUtf8(const std::string& s) {
    try {
        (void)json(s).dump();
        return true;
    } catch (const json::exception&) {
        return false;
    }
}

// The numbers kept in the file for the device-uris it can hold.
std::map<std::string, int> kept(const std::vector<std::string>& deviceUris);

}  // namespace

std::map<std::string, int> portNumbers(const std::vector<std::string>& deviceUris) {
    // A device-uri is whatever bytes the server sent; one that is not UTF-8 cannot be a key of
    // the file and is numbered for this listing alone, after the others.
    std::map<std::string, int> numbers = kept(deviceUris);
    numberPorts(numbers, deviceUris);
    return numbers;
}

namespace {

std::map<std::string, int> kept(const std::vector<std::string>& all) {
    std::vector<std::string> deviceUris;
    for (const auto& uri : all)
        if (numberedPort(uri) && validUtf8(uri)) deviceUris.push_back(uri);
    const fs::path folder = platform::system::machineFolder();
    const fs::path file = folder / kPortNumbersFile;
    // Most listings find every number in the file and write nothing.
    FileRead r = read(file);
    if (r.state == Kept::Unreadable) {
        warnOnce(r.why);
        std::map<std::string, int> numbers;
        numberPorts(numbers, deviceUris);
        return numbers;
    }
    std::map<std::string, int> numbers;
    if (r.state == Kept::Read) {
        numbers = numbersOf(r.doc);
        remember(file, numbers);
        if (!numberPorts(numbers, deviceUris)) return numbers;
    }

    // New device-uris, or a damaged file: numbered under the lock against the file as it is
    // then, so that two processes never give one number twice.
    platform::system::StoreLock lock;
    std::string why;
    int error = 0;
    auto fallback = [&](const std::string& cause) {
        warnOnce(cause);
        return numbers;  // numbered from what was read, for this listing
    };
    if (!lock.acquire(folder, why, error)) {
        if (r.state == Kept::Damaged) {
            numbers = known(file);
            salvage(r.text, numbers);
            numberPorts(numbers, deviceUris);
        }
        return fallback(why);
    }
    r = read(file);
    if (r.state == Kept::Unreadable) return fallback(r.why);
    json doc = json::object();
    if (r.state == Kept::Damaged) {
        // Kept aside for whoever wants to see it, and written whole again from what is known:
        // the numbers this process had, then what can still be read in the damaged text.
        numbers = known(file);
        salvage(r.text, numbers);
        const fs::path aside = asideName(file);
        std::error_code ec;
        fs::rename(file, aside, ec);
        if (ec) {
            numberPorts(numbers, deviceUris);
            return fallback(r.why + " and cannot be kept aside (" + ec.message() + ")");
        }
        std::fprintf(stderr,
                     "tessel spooler: %s is damaged; kept aside as %s and written again with "
                     "the %zu port numbers still known\n",
                     file.c_str(), aside.c_str(), numbers.size());
        numberPorts(numbers, deviceUris);
    } else {
        doc = std::move(r.doc);
        numbers = numbersOf(doc);
        if (!numberPorts(numbers, deviceUris)) {
            remember(file, numbers);
            return numbers;
        }
    }
    for (NumberedPort kind : {NumberedPort::Usb, NumberedPort::Parallel, NumberedPort::Serial}) {
        json& byUri = doc[kindKey(kind)];
        if (!byUri.is_object()) byUri = json::object();
        for (const auto& [uri, n] : numbers)
            if (numberedPort(uri) == kind && validUtf8(uri)) byUri[uri] = n;
    }
    const std::string text = doc.dump(2) + "\n";
    if (text.size() > kMaxFileBytes) return fallback(file.string() + " would grow too large");
    if (!platform::system::replaceFileAtomically(file, text, why, error)) return fallback(why);
    remember(file, numbers);
    return numbers;
}

}  // namespace

}  // namespace platform::spooler::cups
