#include "platform/spooler/cups_ports.h"

#include <cstdio>
#include <filesystem>
#include <mutex>
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
// not an object of whole numbers).
std::optional<json> parse(const std::string& text, FileState state) {
    if (state == FileState::Missing || text.empty()) return json::object();
    json doc = json::parse(text, nullptr, false);
    if (!doc.is_object()) return std::nullopt;
    for (NumberedPort kind : {NumberedPort::Usb, NumberedPort::Parallel, NumberedPort::Serial}) {
        const auto it = doc.find(kindKey(kind));
        if (it == doc.end()) continue;
        if (!it->is_object()) return std::nullopt;
        for (const auto& [uri, n] : it->items())
            if (!n.is_number_integer() || n.get<long long>() < 1 || n.get<long long>() > 999999)
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

// The numbers read from the file; nullopt (with the cause in `why`) when it cannot be used.
std::optional<json> read(const fs::path& file, std::string& why) {
    std::string text;
    int error = 0;
    const FileState state = platform::system::readWholeFile(file, text, kMaxFileBytes, why, error);
    if (state == FileState::Unreadable) return std::nullopt;
    auto doc = parse(text, state);
    if (!doc) why = file.string() + " is damaged";
    return doc;
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
    std::string why;
    // Most listings find every number in the file and write nothing.
    auto doc = read(file, why);
    if (!doc) {
        warnOnce(why);
        std::map<std::string, int> numbers;
        numberPorts(numbers, deviceUris);
        return numbers;
    }
    std::map<std::string, int> numbers = numbersOf(*doc);
    if (!numberPorts(numbers, deviceUris)) return numbers;

    // New device-uris: numbered under the lock against the file as it is then, so that two
    // processes never give one number twice.
    platform::system::StoreLock lock;
    int error = 0;
    auto fallback = [&](const std::string& cause) {
        warnOnce(cause);
        return numbers;  // numbered from what was read, for this listing
    };
    if (!lock.acquire(folder, why, error)) return fallback(why);
    doc = read(file, why);
    if (!doc) return fallback(why);
    numbers = numbersOf(*doc);
    if (!numberPorts(numbers, deviceUris)) return numbers;
    for (NumberedPort kind : {NumberedPort::Usb, NumberedPort::Parallel, NumberedPort::Serial}) {
        json& byUri = (*doc)[kindKey(kind)];
        if (!byUri.is_object()) byUri = json::object();
        for (const auto& [uri, n] : numbers)
            if (numberedPort(uri) == kind) byUri[uri] = n;
    }
    const std::string text = doc->dump(2) + "\n";
    if (text.size() > kMaxFileBytes) return fallback(file.string() + " would grow too large");
    if (!platform::system::replaceFileAtomically(file, text, why, error)) return fallback(why);
    return numbers;
}

}  // namespace

}  // namespace platform::spooler::cups
