#include "platform/spooler/cups_map.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "platform/spooler/winspool.h"
#include "platform/text/codepage.h"
#include "platform/text/strings.h"

namespace platform::spooler::cups {

namespace {

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

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent-decoding, repeated while something is left to decode (at most a few rounds), so that
// an encoded "%" hides nothing either.
std::string decoded(std::string_view s) {
    std::string out(s);
    for (int round = 0; round < 4 && out.find('%') != std::string::npos; ++round) {
        std::string next;
        bool changed = false;
        for (std::size_t i = 0; i < out.size(); ++i) {
            int hi = -1, lo = -1;
            if (out[i] == '%' && i + 2 < out.size()) {
                hi = hexDigit(out[i + 1]);
                lo = hexDigit(out[i + 2]);
            }
            if (hi >= 0 && lo >= 0) {
                next += char(hi * 16 + lo);
                i += 2;
                changed = true;
            } else {
                next += out[i];
            }
        }
        out = std::move(next);
        if (!changed) break;
    }
    return out;
}

// One round of percent-decoding, as a backend decodes the resource of its device-uri.
std::string decodedOnce(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const int hi = hexDigit(s[i + 1]), lo = hexDigit(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// A path with repeated slashes as one, "." and ".." segments resolved and no trailing slash.
std::string normalPath(const std::string& path) {
    if (path.empty()) return {};
    std::vector<std::string> segments;
    std::size_t at = 0;
    while (at <= path.size()) {
        auto slash = path.find('/', at);
        if (slash == std::string::npos) slash = path.size();
        const std::string segment = path.substr(at, slash - at);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        at = slash + 1;
    }
    const bool rooted = path.front() == '/';
    std::string out;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0 || rooted) out += '/';
        out += segments[i];
    }
    return out.empty() && rooted ? "/" : out;
}

// The queue a server path names ("/printers/<q>", "/classes/<q>", letter case ignored, as the
// scheduler finds its queues); "" for any other path.
std::string serverQueue(std::string_view path) {
    for (std::string_view prefix : {"/printers/", "/classes/"}) {
        if (path.size() <= prefix.size() || lower(path.substr(0, prefix.size())) != prefix)
            continue;
        std::string_view q = path.substr(prefix.size());
        return std::string(q.substr(0, q.find_first_of("/?#")));
    }
    return {};
}

// The last segment of a path ("" for none).
std::string lastSegment(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The value of a query parameter ("ip" of hp:/net/...?ip=10.0.0.5).
std::string queryValue(std::string_view query, std::string_view name) {
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

std::string numbered(const char* pattern, int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, pattern, n);
    return buf;
}

MappedPort port(std::string_view name, std::u16string monitor, std::string_view uri,
                std::uint32_t type, std::string_view shared) {
    return {text::fromUtf8(name), std::move(monitor), text::fromUtf8(uri), text::fromUtf8(shared),
            type};
}

bool isIppFamily(const std::string& scheme) {
    return scheme == "ipp" || scheme == "ipps" || scheme == "http" || scheme == "https";
}

int defaultPort(const std::string& scheme) {
    if (scheme == "http") return 80;
    if (scheme == "https") return 443;
    return 631;  // ipp and ipps
}

// Whether a port stands for a device of its own (a printer at the end of a cable or a network
// address, or another spooler) rather than a local port such as FILE: or CUPS-PDF:.
bool isDevicePort(std::u16string_view name) {
    for (std::u16string_view prefix : {u"USB", u"LPT", u"COM", u"IP_", u"\\\\"})
        if (name.starts_with(prefix)) return true;
    return false;
}

// A DNS-SD service name ("<instance>._ipp._tcp.<domain>") taken apart: the instance and the
// service type ("_ipp", "_ipps"); the instance is empty for a name of another form.
struct Service {
    std::string instance, type;
};
Service service(std::string_view host) {
    for (std::string_view type :
         {"._ipp._tcp", "._ipps._tcp", "._printer._tcp", "._pdl-datastream._tcp"}) {
        const auto at = lower(host).find(type);
        if (at != std::string::npos && at > 0) {
            const auto dot = type.find('.', 1);
            return {std::string(host.substr(0, at)), std::string(type.substr(1, dot - 1))};
        }
    }
    return {};
}

}  // namespace

DeviceUri parseDeviceUri(std::string_view uri) {
    DeviceUri u;
    const auto colon = uri.find(':');
    if (colon == std::string_view::npos) return u;
    u.scheme = lower(uri.substr(0, colon));
    std::string_view rest = uri.substr(colon + 1);
    if (const auto q = rest.find('?'); q != std::string_view::npos) {
        u.query = std::string(rest.substr(q + 1));
        rest = rest.substr(0, q);
    }
    if (const auto hash = rest.find('#'); hash != std::string_view::npos)
        rest = rest.substr(0, hash);
    if (rest.starts_with("//")) {
        u.authority = true;
        rest.remove_prefix(2);
        const auto slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        if (const auto at = authority.rfind('@'); at != std::string_view::npos)
            authority.remove_prefix(at + 1);
        std::string_view host = authority, port;
        if (authority.starts_with('[')) {
            const auto close = authority.find(']');
            host = authority.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1);
            if (close != std::string_view::npos && close + 1 < authority.size() &&
                authority[close + 1] == ':')
                port = authority.substr(close + 2);
        } else if (const auto c = authority.rfind(':'); c != std::string_view::npos) {
            host = authority.substr(0, c);
            port = authority.substr(c + 1);
        }
        if (!port.empty() && port.size() <= 9 &&
            std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            u.port = std::stoi(std::string(port));
        u.host = decoded(host);
        // A DNS-SD instance name is text for people and keeps its letters; host names and
        // addresses are the same in any case.
        if (u.scheme != "dnssd") u.host = lower(u.host);
    }
    u.path = normalPath(decoded(rest));
    return u;
}

namespace {

bool isLocalIpv4(const in_addr& a) {
    const std::uint32_t h = ntohl(a.s_addr);
    return (h >> 24) == 127 || h == 0;  // the loopback range, or "any" (this machine)
}

// The address a host names when it is written as an address (in any form the resolver takes,
// "127.1" and "0x7f000001" too), for comparing; "" for a name.
std::string addressText(std::string host) {
    if (const auto zone = host.find('%'); zone != std::string::npos) host.resize(zone);
    char buf[INET6_ADDRSTRLEN] = {};
    in_addr v4{};
    if (::inet_aton(host.c_str(), &v4)) {
        ::inet_ntop(AF_INET, &v4, buf, sizeof buf);
        return buf;
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_V4MAPPED(&v6) || IN6_IS_ADDR_V4COMPAT(&v6)) {
            std::memcpy(&v4, v6.s6_addr + 12, 4);
            ::inet_ntop(AF_INET, &v4, buf, sizeof buf);
            return buf;
        }
        ::inet_ntop(AF_INET6, &v6, buf, sizeof buf);
        return buf;
    }
    return {};
}

}  // namespace

bool isThisMachine(const std::string& host, const Scheduler& scheduler) {
    // No host at all, or a domain socket: the scheduler of this machine.
    if (host.empty() || host.front() == '/') return true;
    std::string name = lower(host);
    while (name.size() > 1 && name.back() == '.') name.pop_back();
    if (name == "localhost" || name.ends_with(".localhost") || name == "localhost.localdomain" ||
        name == "ip6-localhost" || name == "ip6-loopback")
        return true;
    const std::string address = addressText(name);
    if (!address.empty()) {
        in_addr v4{};
        if (::inet_pton(AF_INET, address.c_str(), &v4) == 1 && isLocalIpv4(v4)) return true;
        in6_addr v6{};
        if (::inet_pton(AF_INET6, address.c_str(), &v6) == 1 &&
            (IN6_IS_ADDR_LOOPBACK(&v6) || IN6_IS_ADDR_UNSPECIFIED(&v6)))
            return true;
    }
    for (const auto& known : scheduler.names) {
        if (known.empty()) continue;
        if (name == known || (!address.empty() && address == addressText(known))) return true;
    }
    return false;
}

Scheduler thisScheduler(const std::vector<std::string>& reported) {
    Scheduler s;
    s.port = ippPort();
    auto add = [&](std::string name) {
        name = lower(name);
        while (name.size() > 1 && name.back() == '.') name.pop_back();
        if (name.empty() || std::find(s.names.begin(), s.names.end(), name) != s.names.end())
            return;
        s.names.push_back(name);
    };
    // The server the client talks to ("host", "host:port" or a socket's path).
    if (const char* server = cupsServer(); server && *server && *server != '/') {
        std::string host = server;
        if (host.starts_with('[')) {
            host = host.substr(1, host.find(']') - 1);
        } else if (std::count(host.begin(), host.end(), ':') == 1) {
            host.resize(host.find(':'));
        }
        add(host);
    }
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && *name) {
        const std::string full = name, shortName = full.substr(0, full.find('.'));
        for (const std::string& n : {full, shortName, full + ".local", shortName + ".local"})
            add(n);
    }
    for (const auto& r : reported) add(r);
    // This machine's own addresses reach the scheduler where it listens on them.
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (const ifaddrs* i = list; i; i = i->ifa_next) {
            if (!i->ifa_addr) continue;
            char buf[INET6_ADDRSTRLEN] = {};
            if (i->ifa_addr->sa_family == AF_INET)
                ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr,
                            buf, sizeof buf);
            else if (i->ifa_addr->sa_family == AF_INET6)
                ::inet_ntop(AF_INET6,
                            &reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr, buf,
                            sizeof buf);
            if (*buf) add(buf);
        }
        ::freeifaddrs(list);
    }
    return s;
}

std::string devicePath(std::string_view uri) {
    const auto colon = uri.find(':');
    if (colon == std::string_view::npos) return {};
    std::string_view rest = uri.substr(colon + 1);
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const auto slash = rest.find('/');
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (!rest.starts_with('/')) return {};
    return decodedOnce(rest);
}

PathKind pathKind(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return PathKind::Missing;
    return S_ISCHR(st.st_mode) ? PathKind::CharacterDevice : PathKind::Other;
}

std::optional<std::vector<std::string>> systemAddresses(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
    std::vector<std::string> addresses;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        char buf[INET6_ADDRSTRLEN] = {};
        if (a->ai_family == AF_INET)
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr, buf,
                        sizeof buf);
        else if (a->ai_family == AF_INET6)
            ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr,
                        buf, sizeof buf);
        if (*buf && std::find(addresses.begin(), addresses.end(), buf) == addresses.end())
            addresses.push_back(buf);
    }
    ::freeaddrinfo(found);
    return addresses;
}

namespace {

std::mutex gResolverMutex;
Resolver gResolver;

// The most lookups that run at once for one listing.
constexpr std::size_t kLookupThreads = 16;

}  // namespace

void setResolver(Resolver resolver) {
    std::lock_guard lock(gResolverMutex);
    gResolver = std::move(resolver);
}

Resolver currentResolver() {
    std::lock_guard lock(gResolverMutex);
    return gResolver ? gResolver : Resolver(systemAddresses);
}

std::map<std::string, std::vector<std::string>> resolveHosts(const std::vector<std::string>& names,
                                                             const Resolver& resolve,
                                                             std::chrono::milliseconds within) {
    // What the lookups share with the caller; a lookup that outlives the caller's wait keeps
    // it alive and drops its answer.
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::string> waiting;
        std::map<std::string, std::vector<std::string>> answers;
        std::size_t running = 0;
        bool over = false;
        Resolver resolve;
    };
    const auto deadline = std::chrono::steady_clock::now() + within;
    auto shared = std::make_shared<Shared>();
    shared->resolve = resolve ? resolve : currentResolver();
    for (const auto& n : names)
        if (std::find(shared->waiting.begin(), shared->waiting.end(), n) == shared->waiting.end())
            shared->waiting.push_back(n);
    const std::size_t threads = std::min(kLookupThreads, shared->waiting.size());
    for (std::size_t i = 0; i < threads; ++i) {
        {
            std::lock_guard lock(shared->mutex);
            ++shared->running;
        }
        try {
            std::thread([shared] {
                std::unique_lock lock(shared->mutex);
                while (!shared->over && !shared->waiting.empty()) {
                    const std::string name = shared->waiting.front();
                    shared->waiting.pop_front();
                    lock.unlock();
                    std::optional<std::vector<std::string>> found;
                    try {
                        found = shared->resolve(name);
                    } catch (...) {
                        found.reset();  // a lookup that fails is a name not resolved
                    }
                    lock.lock();
                    if (found && !shared->over) shared->answers[name] = std::move(*found);
                }
                --shared->running;
                shared->changed.notify_all();
            }).detach();
        } catch (const std::system_error&) {
            // No thread to spare: what is not looked up stays unresolved.
            std::lock_guard lock(shared->mutex);
            --shared->running;
            break;
        }
    }
    std::unique_lock lock(shared->mutex);
    shared->changed.wait_until(lock, deadline, [&] { return shared->running == 0; });
    shared->over = true;
    return shared->answers;
}

std::optional<NumberedPort> numberedPort(std::string_view uri) {
    const std::string l = lower(uri);
    if (l.starts_with("usb:") || l.starts_with("hp:/usb")) return NumberedPort::Usb;
    if (l.starts_with("parallel:") || l.starts_with("hp:/par")) return NumberedPort::Parallel;
    if (l.starts_with("serial:")) return NumberedPort::Serial;
    return std::nullopt;
}

namespace {

// Whether a device-uri names its device by the path its backend opens.
bool isPathDevice(const DeviceUri& u) {
    const std::string& s = u.scheme;
    return s == "parallel" || s == "serial" || s == "scsi" || (s == "usb" && !u.authority);
}

// Whether a device-uri stands for a device now: a path device only while a character device
// stands at its path.
bool isDeviceNow(std::string_view uri) {
    return !isPathDevice(parseDeviceUri(uri)) ||
           pathKind(devicePath(uri)) == PathKind::CharacterDevice;
}

}  // namespace

bool numberPorts(std::map<std::string, int>& numbers, const std::vector<std::string>& uris) {
    bool added = false;
    for (const auto& uri : uris) {
        const auto kind = numberedPort(uri);
        // A file where a device should be is no port and takes no number.
        if (!kind || numbers.contains(uri) || !isDeviceNow(uri)) continue;
        std::set<int> taken;
        for (const auto& [other, n] : numbers)
            if (numberedPort(other) == kind) taken.insert(n);
        int n = 1;
        while (taken.contains(n)) ++n;
        numbers[uri] = n;
        added = true;
    }
    return added;
}

namespace {

bool isForward(const std::string& scheme) {
    return scheme == "lpd" || isIppFamily(scheme);
}

// The host name of a forward that only a lookup can tell to be this machine or another ("" for
// a device-uri that is no forward, or whose host is an address or a name of this machine).
std::string nameToLookUp(std::string_view uri, const Scheduler& scheduler) {
    const DeviceUri u = parseDeviceUri(uri);
    if (!isForward(u.scheme) || u.host.empty() || u.host.front() == '/') return {};
    if (isThisMachine(u.host, scheduler) || !addressText(u.host).empty()) return {};
    return u.host;
}

}  // namespace

PortMapper::PortMapper(std::vector<QueueDevice> queues, Scheduler scheduler,
                       std::map<std::string, int> numbers, HostLookup lookup)
    : queues_(std::move(queues)),
      scheduler_(std::move(scheduler)),
      numbers_(std::move(numbers)),
      lookup_(std::move(lookup)) {
    std::vector<std::string> uris, names;
    for (const auto& q : queues_) {
        uris.push_back(q.deviceUri);
        if (std::string name = nameToLookUp(q.deviceUri, scheduler_); !name.empty())
            names.push_back(std::move(name));
    }
    numberPorts(numbers_, uris);
    if (!names.empty()) resolved_ = resolveHosts(names, lookup_.resolve, lookup_.within);
}

MappedPort PortMapper::portOf(std::size_t index) const {
    std::vector<std::size_t> path{index};
    return map(queues_.at(index), path);
}

MappedPort PortMapper::portOf(std::string_view deviceUri, std::uint32_t printerType) const {
    if (std::string name = nameToLookUp(deviceUri, scheduler_);
        !name.empty() && !resolved_.contains(name))
        resolved_.merge(resolveHosts({name}, lookup_.resolve, lookup_.within));
    std::vector<std::size_t> path;
    return map({"", std::string(deviceUri), printerType}, path);
}

PortMapper::Host PortMapper::hostOf(const std::string& host) const {
    if (isThisMachine(host, scheduler_)) return Host::ThisMachine;
    if (!addressText(host).empty()) return Host::Other;  // an address other than this machine's
    const auto found = resolved_.find(host);
    if (found == resolved_.end()) return Host::Unknown;
    for (const auto& address : found->second)
        if (isThisMachine(address, scheduler_)) return Host::ThisMachine;
    return Host::Other;
}

namespace {
constexpr auto kLocal = u"Local Port";
}

struct PortMapper::Mapping {
    const PortMapper& mapper;
    const QueueDevice& queue;
    std::vector<std::size_t>& path;
    const std::string& uri = queue.deviceUri;
    const DeviceUri u = parseDeviceUri(uri);
    const std::string& s = u.scheme;

    MappedPort redirected(const std::string& server, const std::string& q) const {
        const std::string name = "\\\\" + server + "\\" + q;
        return port(name, kLocal, uri, PORT_TYPE_WRITE | PORT_TYPE_REDIRECTED, name);
    }

    // A network printer's port says what it is, as a standard TCP/IP port's description does,
    // so the TCP/IP stage of the admissibility policy recognises it. A queue CUPS itself marks
    // remote hands its jobs to another spooler whatever its device-uri looks like.
    MappedPort tcpip(const std::string& host) const {
        if (queue.printerType & CUPS_PRINTER_REMOTE)
            return redirected(host,
                              u.path.empty() || u.path == "/" ? queue.name : lastSegment(u.path));
        return port("IP_" + host, u"Standard TCP/IP Port",
                    "Standard TCP/IP Port: " + std::string(uri), PORT_TYPE_WRITE | PORT_TYPE_READ,
                    "Standard TCP/IP Port: " + host);
    }

    MappedPort numberedAs(const char* pattern, std::u16string monitor) const {
        const auto it = mapper.numbers_.find(uri);
        return port(numbered(pattern, it == mapper.numbers_.end() ? 0 : it->second),
                    std::move(monitor), uri, PORT_TYPE_WRITE | PORT_TYPE_READ, uri);
    }

    // A forward to a spooler of this machine: judged by the queue it ends on, or as redirected.
    MappedPort local(const std::string& q) const {
        const auto& queues = mapper.queues_;
        const bool scheduler =
            u.host.empty() || u.host.front() == '/' ||
            (isIppFamily(s) && (u.port < 0 ? defaultPort(s) : u.port) == mapper.scheduler_.port) ||
            s == "lpd";
        const std::string host = u.host.empty() ? "localhost" : u.host;
        if (q.empty() || !scheduler) return redirected(host, q.empty() ? lastSegment(u.path) : q);
        std::size_t target = queues.size();
        for (std::size_t i = 0; i < queues.size(); ++i)
            if (text::equalsNoCase(text::fromUtf8(queues[i].name), text::fromUtf8(q))) target = i;
        if (target == queues.size() || path.size() > std::size_t(kMaxForwards) ||
            std::find(path.begin(), path.end(), target) != path.end())
            return redirected(host, q);
        path.push_back(target);
        MappedPort end = mapper.map(queues[target], path);
        path.pop_back();
        if (isDevicePort(end.name)) return redirected(host, queues[target].name);
        // The queue's own device-uri describes it; what its port stands for stays the same.
        end.description = text::fromUtf8(uri);
        return end;
    }

    // The queue named by the path of a forward to an LPD server here (cups-lpd hands the job
    // to the queue of its name).
    static std::string firstSegment(std::string q) {
        while (q.starts_with('/')) q.erase(0, 1);
        return q.substr(0, q.find('/'));
    }

    // A queue that a CUPS server shares: an instance named "<queue> @ <server>", whatever the
    // path (libcups takes the queue from the announcement, not from the path written), or any
    // instance with the path "/cups". Any other announced service is a network printer.
    MappedPort dnssd() const {
        const Service svc = service(u.host);
        if (svc.instance.empty()) return tcpip(u.host);
        if (const auto at = svc.instance.rfind(" @ "); at != std::string::npos) {
            const std::string server = lower(svc.instance.substr(at + 3));
            return redirected(server.empty() ? lower(u.host) : server, svc.instance.substr(0, at));
        }
        const std::string path = lower(u.path);
        if (path == "/cups" || path.starts_with("/cups/"))
            return redirected(lower(u.host), svc.instance);
        return tcpip(u.host);
    }

    // A forward whose host could not be told to be this machine or another in time: the job
    // leaves for a spooler that was not judged.
    MappedPort unknownHost(const std::string& q) const {
        std::string name = q.empty() ? lastSegment(u.path) : q;
        return redirected(u.host, name.empty() ? queue.name : name);
    }

    // A forward to queue `q` of the URI's host: judged as that queue when the host is this
    // machine, redirected when it could not be told in time; nullopt for another machine.
    std::optional<MappedPort> forwardTo(const std::string& q) const {
        switch (mapper.hostOf(u.host)) {
            case Host::ThisMachine:
                return local(q);
            case Host::Unknown:
                return unknownHost(q);
            case Host::Other:
                break;
        }
        return std::nullopt;
    }

    // A device the backend opens by its path: a port only when a character device stands
    // there; anything else there (a file, a folder, a FIFO, or nothing yet) takes the job as a
    // file printer.
    MappedPort fileAt() const { return port("FILE:", kLocal, uri, PORT_TYPE_WRITE, "file:"); }

    MappedPort result() const {
        if (queue.printerType & CUPS_PRINTER_CLASS)
            return port("CLASS:", kLocal, uri, PORT_TYPE_WRITE, "");
        if (!isDeviceNow(uri)) return fileAt();
        const auto numberedKind = numberedPort(uri);
        if (numberedKind == NumberedPort::Usb) return numberedAs("USB%03d", u"USB Monitor");
        if (numberedKind == NumberedPort::Parallel) return numberedAs("LPT%d:", kLocal);
        if (numberedKind == NumberedPort::Serial) return numberedAs("COM%d:", kLocal);
        if (s == "hp" && lower(uri).starts_with("hp:/net")) {
            const std::string ip = lower(queryValue(u.query, "ip"));
            return tcpip(ip.empty() ? lower(queryValue(u.query, "hostname")) : ip);
        }
        if (s == "socket") return tcpip(u.host);
        if (s == "lpd") {
            const std::string q = firstSegment(u.path);
            if (auto forward = forwardTo(q)) return *forward;
            return tcpip(u.host);
        }
        if (isIppFamily(s)) {
            const std::string q = serverQueue(u.path);
            if (auto forward = forwardTo(q)) return *forward;
            return q.empty() ? tcpip(u.host) : redirected(u.host, q);
        }
        if (s == "dnssd") return dnssd();
        if (s == "smb") {
            std::string q = u.path;
            while (q.starts_with('/')) q.erase(0, 1);
            return redirected(u.host, lastSegment(q));
        }
        if (s == "implicitclass") return redirected("implicitclass", u.host);
        if (s == "file") return port("FILE:", kLocal, uri, PORT_TYPE_WRITE, "file:");
        if (s == "cups-pdf") return port("CUPS-PDF:", kLocal, uri, PORT_TYPE_WRITE, "cups-pdf:");
        if (s == "fax" || s == "hpfax") return port("FAX:", kLocal, uri, PORT_TYPE_WRITE, s + ":");
        if (s.empty()) return port("NUL:", kLocal, uri, PORT_TYPE_WRITE, "");  // no device at all
        // A backend of another kind whose device-uri is a path to a file, a folder or a FIFO.
        if (!u.authority && pathKind(devicePath(uri)) == PathKind::Other) return fileAt();
        return port(upper(s) + ":", kLocal, uri, PORT_TYPE_WRITE, s + ":");
    }
};

MappedPort PortMapper::map(const QueueDevice& queue, std::vector<std::size_t>& path) const {
    return Mapping{*this, queue, path}.result();
}

std::u16string sharedDescription(const std::vector<MappedPort>& ports) {
    if (ports.empty()) return {};
    for (const auto& p : ports)
        if (p.description != ports.front().description) return ports.front().shared;
    return ports.front().description;
}

std::string driverName(std::string_view makeAndModel, std::string_view deviceUri) {
    if (makeAndModel != "Local Raw Printer" && makeAndModel != "Remote Printer")
        return std::string(makeAndModel);
    const std::string scheme = parseDeviceUri(deviceUri).scheme;
    if (scheme.empty()) return std::string(makeAndModel);
    return std::string(makeAndModel) + " (" + scheme + ")";
}

std::string backendProgram(std::string_view uri) {
    const std::string scheme = parseDeviceUri(uri).scheme;
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
        {"media-jam", PRINTER_STATUS_PAPER_JAM},
        {"media-empty", PRINTER_STATUS_PAPER_OUT},
        // the printer waits for paper to be fed by hand
        {"media-needed", PRINTER_STATUS_MANUAL_FEED},
        {"offline", PRINTER_STATUS_OFFLINE},
        {"connecting-to-device", PRINTER_STATUS_OFFLINE},
        {"output-area-full", PRINTER_STATUS_OUTPUT_BIN_FULL},
        {"shutdown", PRINTER_STATUS_NOT_AVAILABLE},
        {"toner-low", PRINTER_STATUS_TONER_LOW},
        {"marker-supply-low", PRINTER_STATUS_TONER_LOW},
        {"toner-empty", PRINTER_STATUS_NO_TONER},
        {"marker-supply-empty", PRINTER_STATUS_NO_TONER},
        {"door-open", PRINTER_STATUS_DOOR_OPEN},
        {"cover-open", PRINTER_STATUS_DOOR_OPEN},
        {"interlock-open", PRINTER_STATUS_DOOR_OPEN},
        {"spool-area-full", PRINTER_STATUS_OUT_OF_MEMORY},
    };
    for (const auto& b : kBits)
        if (r == b.reason) return b.status;
    return 0;
}

std::uint32_t printerStatus(int state, const std::vector<std::string>& reasons) {
    std::uint32_t status = 0;
    if (state == IPP_PSTATE_STOPPED) status |= PRINTER_STATUS_PAUSED;
    if (state == IPP_PSTATE_PROCESSING) status |= PRINTER_STATUS_PRINTING;
    for (const auto& r : reasons) status |= reasonStatus(r);
    return status;
}

std::uint32_t jobStatus(int state) {
    switch (state) {
        case IPP_JSTATE_HELD:
            return JOB_STATUS_PAUSED;
        case IPP_JSTATE_PROCESSING:
            return JOB_STATUS_PRINTING;
        case IPP_JSTATE_STOPPED:
            return JOB_STATUS_ERROR;
        case IPP_JSTATE_CANCELED:
            return JOB_STATUS_DELETED;
        case IPP_JSTATE_ABORTED:
            return JOB_STATUS_ERROR;
        case IPP_JSTATE_COMPLETED:
            return JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE;
        default:
            return 0;  // pending
    }
}

std::uint32_t printerAttributes(std::uint32_t printerType, bool shared, bool isDefault) {
    std::uint32_t a =
        (printerType & CUPS_PRINTER_REMOTE) ? PRINTER_ATTRIBUTE_NETWORK : PRINTER_ATTRIBUTE_LOCAL;
    if (shared) a |= PRINTER_ATTRIBUTE_SHARED;
    if (isDefault) a |= PRINTER_ATTRIBUTE_DEFAULT;
    if (printerType & CUPS_PRINTER_FAX) a |= PRINTER_ATTRIBUTE_FAX;
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
