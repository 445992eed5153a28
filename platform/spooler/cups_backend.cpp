#include "platform/spooler/cups_backend.h"

#include <cups/cups.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <type_traits>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/spooler/cups_ports.h"
#include "platform/system/description.h"
#include "platform/text/codepage.h"
#include "platform/text/strings.h"

namespace platform::spooler::cups {

namespace {

constexpr std::uint32_t kFileNotFound = 2, kNotSupported = 50, kServerUnavailable = 1722;

using text::fromUtf8;
using text::toUtf8;

// A kiosk never waits on a password prompt: a request the server wants credentials for is
// refused, and the refusal maps to "access denied".
const char* noPassword(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

using Clock = std::chrono::steady_clock;

std::atomic<std::uint64_t> gRequests{0}, gConnections{0};

// Why the scheduler could not be used by the thread's last request ("" when it answered). The
// worker thread that made the request hands its text to the thread that waited for it.
thread_local std::string tFailure;
thread_local std::function<void()> tWaitHook;

// How long the waiting thread gives a worker to come back after its socket was shut down at
// the deadline before it stops waiting for it (libcups may be somewhere the shutdown does not
// reach, such as looking up the server's name).
constexpr int kGraceMs = 500;

// The scheduler as a request names it: host:port, or the domain socket's path.
std::string schedulerName() {
    cupsSetServer(nullptr);  // looked up afresh, so a changed CUPS_SERVER takes effect
    const char* server = cupsServer();
    if (server && *server == '/') return server;
    return std::string(server ? server : "") + ":" + std::to_string(ippPort());
}

std::string unanswered(const std::string& name) {
    return "the CUPS scheduler " + name + " did not answer within " +
           std::to_string(kRequestDeadlineMs / 1000) + " seconds";
}

// What the waiting thread and the worker share of a request in flight: its deadline and a
// duplicate of the connection's socket, which the waiting thread shuts down once the deadline
// has passed, however the scheduler sends its bytes (not at all, or one at a time).
struct Watch {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kRequestDeadlineMs);
    int socket = -1;  // ours: only this struct closes it
    bool cut = false;

    ~Watch() {
        if (socket >= 0) ::close(socket);
    }
    // Called by the worker, between libcups calls: the deadline of the next request and the
    // socket libcups now uses.
    void arm(int fd) {
        std::lock_guard lock(mutex);
        deadline = Clock::now() + std::chrono::milliseconds(kRequestDeadlineMs);
        cut = false;
        if (fd < 0) return;
        struct stat now {
        }, held{};
        if (socket >= 0 && ::fstat(fd, &now) == 0 && ::fstat(socket, &held) == 0 &&
            now.st_ino == held.st_ino && now.st_dev == held.st_dev)
            return;
        if (socket >= 0) ::close(socket);
        socket = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }
    // Called by the waiting thread with the lock held.
    void cutIfLate(Clock::time_point now) {
        if (cut || now < deadline) return;
        if (socket >= 0) ::shutdown(socket, SHUT_RDWR);
        cut = true;
    }
};
thread_local Watch* tWatch = nullptr;  // the worker's

// Whether a connection to the scheduler can be made, and if not the system's reason, read
// right where the attempt failed (libcups' own failed attempt leaves errno to whatever it did
// afterwards). 0: it can.
int connectError(const std::string& server, int port, Clock::time_point deadline) {
    const auto remaining = [&] {
        return int(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                   .count()));
    };
    const auto attempt = [&](int family, const sockaddr* address, socklen_t length) -> int {
        const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return errno;
        int e = 0;
        if (::connect(fd, address, length) != 0) {
            e = errno;
            if (e == EINPROGRESS) {
                pollfd p{fd, POLLOUT, 0};
                const int n = ::poll(&p, 1, remaining());
                if (n == 0) {
                    e = ETIMEDOUT;
                } else if (n < 0) {
                    e = errno;
                } else {
                    socklen_t size = sizeof e;
                    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &size) != 0) e = errno;
                }
            }
        }
        ::close(fd);
        return e;
    };
    if (!server.empty() && server.front() == '/') {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        if (server.size() >= sizeof a.sun_path) return ENAMETOOLONG;
        std::memcpy(a.sun_path, server.c_str(), server.size() + 1);
        return attempt(AF_UNIX, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int g = ::getaddrinfo(server.c_str(), service.c_str(), &hints, &found); g != 0)
        return g == EAI_SYSTEM ? errno : EHOSTUNREACH;
    int e = EHOSTUNREACH;
    for (addrinfo* a = found; a; a = a->ai_next)
        if ((e = attempt(a->ai_family, a->ai_addr, a->ai_addrlen)) == 0) break;
    ::freeaddrinfo(found);
    return e;
}

// One connection to the server for the length of a call. Every request on it is armed with
// the deadline first; the waiting thread cuts the connection once the deadline has passed.
class Connection {
  public:
    Connection() {
        cupsSetPasswordCB2(noPassword, nullptr);
        name_ = schedulerName();
        const char* server = cupsServer();
        const std::string host = server ? server : "";
        const int port = ippPort();
        deadline_ = Clock::now() + std::chrono::milliseconds(kRequestDeadlineMs);
        if (tWatch) tWatch->arm(-1);
        ++gConnections;
        http_ = httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, cupsEncryption(), 1,
                             kRequestDeadlineMs, nullptr);
        if (!http_) {
            if (expired()) {
                tFailure = unanswered(name_);
                return;
            }
            const int e = connectError(host, port, deadline_);
            const char* what = cupsLastErrorString();
            tFailure = "the CUPS scheduler " + name_ + " cannot be reached (" +
                       (e ? std::string(std::strerror(e))
                          : std::string(what && *what ? what : "no connection")) +
                       ")";
            return;
        }
        // libcups waits for the scheduler in quanta of this length and asks stillWaiting
        // after each quiet one; reading an IPP answer it waits this long for each piece
        // without asking. Either way the deadline is what ends a request: the waiting thread
        // cuts the connection then.
        httpSetTimeout(http_, kRequestDeadlineMs / 1000.0, stillWaiting, this);
        if (tWatch) tWatch->arm(httpGetFd(http_));
    }
    ~Connection() {
        if (http_) httpClose(http_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    explicit operator bool() const { return http_ != nullptr; }
    http_t* get() const { return http_; }
    const std::string& name() const { return name_; }

    // Starts the deadline of the next request.
    void arm() {
        deadline_ = Clock::now() + std::chrono::milliseconds(kRequestDeadlineMs);
        if (tWatch) tWatch->arm(httpGetFd(http_));
        ++gRequests;
    }
    bool expired() const { return Clock::now() >= deadline_; }

    // After a request that brought no IPP answer: why, naming the scheduler.
    void noAnswer() const {
        if (expired()) {
            tFailure = unanswered(name_);
            return;
        }
        const char* what = cupsLastErrorString();
        std::string why = what && *what ? what : ippErrorString(cupsLastError());
        // libcups words a failed read by the errno of the moment, which may be none at all.
        if (why == "Success" || why.empty()) why = ippErrorString(cupsLastError());
        tFailure = "the CUPS scheduler " + name_ + " gave no IPP answer (" + why + ")";
    }

  private:
    static int stillWaiting(http_t*, void* self) {
        return static_cast<Connection*>(self)->expired() ? 0 : 1;
    }

    http_t* http_ = nullptr;
    std::string name_;
    Clock::time_point deadline_;
};

// Runs one exchange with the server on a thread of its own; the calling thread waits for it,
// running the wait hook meanwhile, and cuts the exchange's connection at the deadline. Should
// the worker still not be back shortly after, the calling thread stops waiting for it and
// answers `late`: the worker owns everything it uses (the work and its captures), so it may
// finish on its own. The exchange's failure text becomes the caller's.
template <class F, class T = std::invoke_result_t<F&>>
T exchange(F work, T late) {
    struct Shared {
        Watch watch;
        std::optional<T> result;
        std::string failure;
    };
    auto shared = std::make_shared<Shared>();
    const std::string name = schedulerName();
    std::thread worker([shared, work = std::move(work)]() mutable {
        tWatch = &shared->watch;
        tFailure.clear();
        std::optional<T> r(work());
        tWatch = nullptr;
        std::lock_guard lock(shared->watch.mutex);
        shared->result = std::move(r);
        shared->failure = tFailure;
        shared->watch.done = true;
        shared->watch.finished.notify_all();
    });
    Watch& watch = shared->watch;
    bool abandoned = false;
    {
        std::unique_lock lock(watch.mutex);
        while (!watch.done) {
            if (tWaitHook) {
                lock.unlock();
                tWaitHook();
                lock.lock();
                if (watch.done) break;
            }
            const auto now = Clock::now();
            watch.cutIfLate(now);
            if (now >= watch.deadline + std::chrono::milliseconds(kGraceMs)) {
                abandoned = true;
                break;
            }
            watch.finished.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
    if (abandoned) {
        worker.detach();
        tFailure = unanswered(name);
        return late;
    }
    worker.join();
    tFailure = std::move(shared->failure);
    return std::move(*shared->result);
}

struct IppDeleter {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDeleter>;

std::string printerUri(const std::string& queue) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", queue.c_str());
    return uri;
}

Ipp request(ipp_op_t op, const std::string& queue) {
    Ipp r(ippNewRequest(op));
    if (!queue.empty())
        ippAddString(r.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                     printerUri(queue).c_str());
    ippAddString(r.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    return r;
}

bool succeeded(ipp_status_t status) {
    return status < IPP_STATUS_REDIRECTION_OTHER_SITE;
}

bool refusedForRights(ipp_status_t status) {
    return status == IPP_STATUS_ERROR_FORBIDDEN || status == IPP_STATUS_ERROR_NOT_AUTHORIZED ||
           status == IPP_STATUS_ERROR_NOT_AUTHENTICATED;
}

// The Windows error of an operation's IPP status: lack of rights 5, an unknown job or an
// operation the object's state does not allow 87, a server that does not answer 1722.
std::uint32_t errorOf(ipp_status_t status) {
    if (succeeded(status)) return kOk;
    if (refusedForRights(status)) return kAccessDenied;
    if (status == IPP_STATUS_ERROR_NOT_FOUND || status == IPP_STATUS_ERROR_NOT_POSSIBLE ||
        status == IPP_STATUS_ERROR_BAD_REQUEST || status == IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES)
        return kInvalidParameter;
    if (status == IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED) return kNotSupported;
    return kServerUnavailable;
}

// Sends a request on an open connection and reads its answer (null when none came: the reason
// is then the failure text, unless the server refused it for lack of rights).
Ipp ask(Connection& http, Ipp r, const char* resource) {
    http.arm();
    Ipp answer(cupsDoRequest(http.get(), r.release(), resource));
    if (!answer && !refusedForRights(cupsLastError())) http.noAnswer();
    return answer;
}

// Sends a request whose answer is only its status.
std::uint32_t send(Ipp r, const char* resource = "/admin/") {
    auto owned = std::make_shared<Ipp>(std::move(r));  // the worker's to hand to libcups
    const std::string at = resource;
    return exchange(
        [owned, at]() -> std::uint32_t {
            Connection http;
            if (!http) return kServerUnavailable;
            Ipp answer = ask(http, std::move(*owned), at.c_str());
            if (!answer && !refusedForRights(cupsLastError())) return kServerUnavailable;
            return errorOf(cupsLastError());
        },
        std::uint32_t(kServerUnavailable));
}

// The listing of the thread's open scope.
struct Snapshot {
    int depth = 0;
    std::optional<std::vector<Queue>> queues;
    std::uint32_t error = kOk;
    std::string failure;
    std::map<std::string, Result<std::vector<JobInfo2>>> jobs;
    std::map<std::string, std::string> ppds;
    std::map<std::string, Result<PageLayout>> layouts;

    void forget() {
        queues.reset();
        error = kOk;
        failure.clear();
        jobs.clear();
        ppds.clear();
        layouts.clear();
    }
};
thread_local Snapshot tSnapshot;

// What a change made through this backend leaves of the open listing: nothing.
void changed() {
    tSnapshot.forget();
}

std::string stringOf(ipp_attribute_t* a) {
    const char* s = a ? ippGetString(a, 0, nullptr) : nullptr;
    return s ? s : "";
}

// Sends a request and reads its answer whole before parsing it, for answers that may be large
// (a listing of a few hundred queues): libcups' own reader asks the socket for each
// attribute's few bytes, two polls and a read each, tens of thousands of system calls for
// such a listing. `status` and `message` are the answer's. An HTTP status other than OK
// (credentials wanted, an upgrade) goes the ordinary way through libcups.
Ipp askWhole(Connection& http, Ipp r, const char* resource, ipp_status_t& status,
             std::string& message) {
    const auto ordinary = [&](Ipp again) {
        Ipp answer = ask(http, std::move(again), resource);
        status = cupsLastError();
        const char* what = cupsLastErrorString();
        message = what ? what : "";
        return answer;
    };
    http.arm();
    // The request goes out whole; then the answer's status line and header, to their end (the
    // status line may have come while the request was still being sent).
    http_status_t got = cupsSendRequest(http.get(), r.get(), resource, ippLength(r.get()));
    // The header is read (to its blank line) once the request is out, as libcups reads it; a
    // "100 Continue" comes before the status.
    const http_state_t state = httpGetState(http.get());
    bool header = state == HTTP_STATE_POST_RECV || state == HTTP_STATE_POST_SEND;
    while (got != HTTP_STATUS_ERROR && !http.expired() && (header || got == HTTP_STATUS_CONTINUE)) {
        got = httpUpdate(http.get());
        header = false;
    }
    if (got == HTTP_STATUS_CONTINUE || http.expired()) got = HTTP_STATUS_ERROR;
    if (got == HTTP_STATUS_ERROR) {
        http.noAnswer();
        status = IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
        return nullptr;
    }
    if (got != HTTP_STATUS_OK) {
        httpFlush(http.get());
        --gRequests;  // counted again by the ordinary road
        return ordinary(std::move(r));
    }
    std::string body;
    char buf[65536];
    ssize_t n = 0;
    while ((n = httpRead2(http.get(), buf, sizeof buf)) > 0) body.append(buf, std::size_t(n));
    struct Cursor {
        const char* at;
        std::size_t left;
    } cursor{body.data(), body.size()};
    const auto readMemory = [](void* from, ipp_uchar_t* to, std::size_t size) -> ssize_t {
        auto* c = static_cast<Cursor*>(from);
        const std::size_t take = std::min(size, c->left);
        std::memcpy(to, c->at, take);
        c->at += take;
        c->left -= take;
        return ssize_t(take);
    };
    Ipp answer(ippNew());
    if (n < 0 || ippReadIO(&cursor, readMemory, 1, nullptr, answer.get()) != IPP_STATE_DATA) {
        if (http.expired()) {
            tFailure = unanswered(http.name());
        } else {
            tFailure =
                "the CUPS scheduler " + http.name() + " gave no IPP answer (" +
                (n < 0 ? std::string(std::strerror(httpError(http.get())))
                       : "an answer of " + std::to_string(body.size()) + " bytes that is not IPP") +
                ")";
        }
        status = IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
        return nullptr;
    }
    status = ippGetStatusCode(answer.get());
    message = stringOf(ippFindAttribute(answer.get(), "status-message", IPP_TAG_TEXT));
    if (message.empty()) message = ippErrorString(status);
    return answer;
}

// The attributes of each object of an answer group by group (printers, jobs).
template <class F>
void eachGroup(ipp_t* answer, ipp_tag_t group, F&& f) {
    std::map<std::string, ipp_attribute_t*> attrs;
    auto flush = [&] {
        if (!attrs.empty()) f(attrs);
        attrs.clear();
    };
    for (ipp_attribute_t* a = ippFirstAttribute(answer); a; a = ippNextAttribute(answer)) {
        if (ippGetGroupTag(a) != group) {
            flush();
            continue;
        }
        if (const char* name = ippGetName(a)) attrs[name] = a;
    }
    flush();
}

ipp_attribute_t* find(const std::map<std::string, ipp_attribute_t*>& attrs, const char* name) {
    auto it = attrs.find(name);
    return it == attrs.end() ? nullptr : it->second;
}

int integerOf(ipp_attribute_t* a, int def = 0) {
    return a ? ippGetInteger(a, 0) : def;
}

void requested(ipp_t* r, std::initializer_list<const char*> names) {
    std::vector<const char*> v(names);
    ippAddStrings(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(v.size()),
                  nullptr, v.data());
}

// The server's PPD of a queue ("" when it has none), nullopt when the server gave no answer.
std::optional<std::string> ppdText(Connection& http, const std::string& queue) {
    const int fd = ::memfd_create("tessel-ppd", MFD_CLOEXEC);
    if (fd < 0) {
        tFailure = std::string("no memory file for a PPD (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    // Queue names hold no spaces, "/", "#" or "?": the name needs no encoding in the path.
    const std::string path = "/printers/" + queue + ".ppd";
    std::optional<std::string> text = std::string();
    http.arm();
    const http_status_t got = cupsGetFd(http.get(), path.c_str(), fd);
    if (got == HTTP_STATUS_ERROR || http.expired()) {
        // Cut off at the deadline, whatever status line had come: no PPD was read.
        http.noAnswer();
        text.reset();
    } else if (got == HTTP_STATUS_OK) {
        ::lseek(fd, 0, SEEK_SET);
        char buf[8192];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text->append(buf, std::size_t(n));
    }
    ::close(fd);
    return text;
}

std::string serverRoot() {
    const char* root = std::getenv("CUPS_SERVERROOT");
    return root && *root ? root : "/etc/cups";
}

}  // namespace

bool chosen() {
    if (const char* env = std::getenv("TESSEL_SPOOLER"); env && *env)
        return std::string_view(env) == "cups";
    return system::loadMachine().spooler == u"cups";
}

void setWaitHook(std::function<void()> hook) {
    tWaitHook = std::move(hook);
}

const std::string& schedulerFailure() {
    return tFailure;
}

std::uint64_t requestsSent() {
    return gRequests;
}

std::uint64_t connectionsMade() {
    return gConnections;
}

void beginListing() {
    ++tSnapshot.depth;
}

void endListing() {
    if (tSnapshot.depth > 0 && --tSnapshot.depth == 0) tSnapshot.forget();
}

namespace {

struct Listing {
    std::vector<Queue> queues;
    std::uint32_t error = kOk;
};

// The user's own default destination, as libcups reads it: LPDEST, then PRINTER (but not
// "lp"), then the Default line of the user's lpoptions file, then the server's. Only the
// queue's name (an instance is a set of options of it). Empty when none is set.
std::string userDefault() {
    for (const char* variable : {"LPDEST", "PRINTER"})
        if (const char* v = std::getenv(variable); v && *v && std::string_view(v) != "lp") {
            std::string name = v;
            return name.substr(0, name.find('/'));
        }
    std::vector<std::string> files;
    if (const char* home = std::getenv("HOME"); home && *home)
        files.push_back(std::string(home) + "/.cups/lpoptions");
    const char* root = std::getenv("CUPS_SERVERROOT");
    files.push_back(std::string(root && *root ? root : "/etc/cups") + "/lpoptions");
    for (const auto& file : files) {
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string keyword, name;
            words >> keyword >> name;
            if (text::equalsNoCase(fromUtf8(keyword), u"Default") && !name.empty())
                return name.substr(0, name.find('/'));
        }
    }
    return {};
}

// Lists the queues in one request (CUPS-Get-Printers): the printers with their attributes, the
// server's default marked in printer-type; the user's own default, when it names a queue,
// wins. A failed request fails the listing; nothing is filled in for what did not come.
Listing listQueues() {
    Listing out;
    Connection http;
    if (!http) {
        out.error = kServerUnavailable;
        return out;
    }
    Ipp r = request(IPP_OP_CUPS_GET_PRINTERS, "");
    requested(r.get(), {"printer-name", "device-uri", "printer-info", "printer-location",
                        "printer-make-and-model", "printer-state", "printer-state-reasons",
                        "printer-type", "printer-is-shared", "printer-is-accepting-jobs",
                        "queued-job-count", "printer-uri-supported"});
    ipp_status_t status = IPP_STATUS_OK;
    std::string message;
    Ipp answer = askWhole(http, std::move(r), "/", status, message);
    // No printers at all is an answer too (client-error-not-found).
    if (!answer || (!succeeded(status) && status != IPP_STATUS_ERROR_NOT_FOUND)) {
        if (answer && tFailure.empty())
            tFailure = "the CUPS scheduler " + http.name() + " refused to list its printers (" +
                       message + ")";
        out.error = kServerUnavailable;
        return out;
    }
    std::vector<std::string> reportedHosts;  // the names CUPS gives itself
    eachGroup(answer.get(), IPP_TAG_PRINTER, [&](const auto& attrs) {
        Queue q;
        q.name = stringOf(find(attrs, "printer-name"));
        if (q.name.empty()) return;
        q.deviceUri = stringOf(find(attrs, "device-uri"));
        q.info = stringOf(find(attrs, "printer-info"));
        q.location = stringOf(find(attrs, "printer-location"));
        q.makeAndModel = stringOf(find(attrs, "printer-make-and-model"));
        q.state = integerOf(find(attrs, "printer-state"), IPP_PSTATE_IDLE);
        if (auto* reasons = find(attrs, "printer-state-reasons"))
            for (int i = 0; i < ippGetCount(reasons); ++i)
                if (const char* s = ippGetString(reasons, i, nullptr)) q.reasons.push_back(s);
        q.printerType = std::uint32_t(integerOf(find(attrs, "printer-type")));
        q.isDefault = (q.printerType & CUPS_PRINTER_DEFAULT) != 0;
        if (auto* shared = find(attrs, "printer-is-shared")) q.shared = ippGetBoolean(shared, 0);
        if (auto* accepting = find(attrs, "printer-is-accepting-jobs"))
            q.accepting = ippGetBoolean(accepting, 0);
        q.jobs = std::uint32_t(integerOf(find(attrs, "queued-job-count")));
        if (auto* uris = find(attrs, "printer-uri-supported"))
            for (int i = 0; i < ippGetCount(uris); ++i)
                if (const char* uri = ippGetString(uris, i, nullptr))
                    reportedHosts.push_back(parseDeviceUri(uri).host);
        out.queues.push_back(std::move(q));
    });
    // In the order libcups lists destinations: by name, letter case ignored.
    std::stable_sort(out.queues.begin(), out.queues.end(), [](const Queue& a, const Queue& b) {
        return strcasecmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    if (const std::string mine = userDefault(); !mine.empty()) {
        const auto named = std::find_if(out.queues.begin(), out.queues.end(), [&](const Queue& q) {
            return strcasecmp(q.name.c_str(), mine.c_str()) == 0;
        });
        if (named != out.queues.end())
            for (auto& q : out.queues) q.isDefault = &q == &*named;
    }
    // The ports, each judged with the other queues at hand (a forward to one of them) and
    // numbered as the machine folder keeps the numbers.
    std::vector<QueueDevice> devices;
    std::vector<std::string> uris;
    for (const auto& q : out.queues) {
        devices.push_back({q.name, q.deviceUri, q.printerType});
        uris.push_back(q.deviceUri);
    }
    // The forwards' host names are looked up as one more request, within a deadline of its own
    // that the waiting thread keeps as it keeps a request's; a name not found in time is judged
    // as another machine's.
    if (tWatch) tWatch->arm(-1);
    const PortMapper mapper(std::move(devices), thisScheduler(reportedHosts), portNumbers(uris),
                            {nullptr, std::chrono::milliseconds(kRequestDeadlineMs)});
    for (std::size_t i = 0; i < out.queues.size(); ++i) out.queues[i].port = mapper.portOf(i);
    return out;
}

}  // namespace

std::vector<Queue> queues(std::uint32_t* error) {
    Snapshot& snap = tSnapshot;
    if (snap.depth > 0 && snap.queues) {
        if (error) *error = snap.error;
        tFailure = snap.failure;
        return *snap.queues;
    }
    Listing late;
    late.error = kServerUnavailable;
    Listing listing = exchange([] { return listQueues(); }, std::move(late));
    if (error) *error = listing.error;
    if (snap.depth > 0) {
        snap.queues = listing.queues;
        snap.error = listing.error;
        snap.failure = tFailure;
    }
    return std::move(listing.queues);
}

Result<Queue> queue(std::u16string_view name) {
    if (name.empty()) return Result<Queue>::failure(kInvalidPrinterName);
    std::uint32_t error = kOk;
    for (auto& q : queues(&error))
        if (text::equalsNoCase(fromUtf8(q.name), name)) return std::move(q);
    return Result<Queue>::failure(error == kOk ? kInvalidPrinterName : error);
}

namespace {

// The port each queue had when its printer record was last read (what a verdict judged), by
// queue name: a job goes to a queue only while its port is still that one.
std::mutex gJudgedMutex;
std::map<std::string, std::u16string> gJudgedPorts;

void judged(const Queue& q) {
    std::lock_guard lock(gJudgedMutex);
    gJudgedPorts[q.name] = q.port.name;
}

// Why the queue may not take a job now: its device, mapped again as the listing maps it, is
// not on the port it was judged on, or it is gone. Empty when it may (or was never judged).
std::string changedSinceJudged(const std::string& name);

}  // namespace

PrinterInfo2 info2Of(const Queue& q) {
    judged(q);
    PrinterInfo2 i;
    i.printerName = fromUtf8(q.name);
    if (q.shared) i.shareName = i.printerName;
    i.portName = q.port.name;
    i.driverName = fromUtf8(driverName(q.makeAndModel, q.deviceUri));
    i.comment = fromUtf8(q.info);
    i.location = fromUtf8(q.location);
    i.attributes = printerAttributes(q.printerType, q.shared, q.isDefault);
    i.priority = 1;
    // A queue that rejects jobs cannot print whatever else it reports; the one status bit says
    // so (with other bits beside it the status would not read as an error).
    i.status = q.accepting ? printerStatus(q.state, q.reasons) : PRINTER_STATUS_NOT_AVAILABLE;
    i.jobs = q.jobs;
    return i;
}

namespace {

JobInfo2 jobOf(const Queue& q, const std::map<std::string, ipp_attribute_t*>& attrs,
               std::uint32_t position) {
    JobInfo2 j;
    j.jobId = std::uint32_t(integerOf(find(attrs, "job-id")));
    j.printerName = fromUtf8(q.name);
    j.machineName = fromUtf8(stringOf(find(attrs, "job-originating-host-name")));
    j.userName = fromUtf8(stringOf(find(attrs, "job-originating-user-name")));
    j.document = fromUtf8(stringOf(find(attrs, "job-name")));
    j.driverName = fromUtf8(driverName(q.makeAndModel, q.deviceUri));
    j.status = jobStatus(integerOf(find(attrs, "job-state"), IPP_JSTATE_PENDING));
    j.priority = std::uint32_t(integerOf(find(attrs, "job-priority"), 50));
    j.position = position;
    j.size = std::uint32_t(integerOf(find(attrs, "job-k-octets"))) * 1024u;
    j.pagesPrinted = std::uint32_t(integerOf(find(attrs, "job-media-sheets-completed")));
    j.submitted = system::systemTimeFromUtc(integerOf(find(attrs, "time-at-creation")));
    return j;
}

Result<std::vector<JobInfo2>> listJobs(const Queue& q) {
    using R = Result<std::vector<JobInfo2>>;
    Connection http;
    if (!http) return R::failure(kServerUnavailable);
    Ipp r = request(IPP_OP_GET_JOBS, q.name);
    ippAddString(r.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr,
                 "not-completed");
    requested(r.get(), {"job-id", "job-name", "job-originating-user-name",
                        "job-originating-host-name", "job-state", "job-priority", "job-k-octets",
                        "job-media-sheets-completed", "time-at-creation"});
    Ipp answer = ask(http, std::move(r), "/");
    if (!answer && !refusedForRights(cupsLastError())) return R::failure(kServerUnavailable);
    if (!succeeded(cupsLastError())) return R::failure(errorOf(cupsLastError()));
    std::vector<JobInfo2> all;
    eachGroup(answer.get(), IPP_TAG_JOB, [&](const auto& attrs) {
        all.push_back(jobOf(q, attrs, std::uint32_t(all.size() + 1)));
    });
    return all;
}

Result<std::vector<JobInfo2>> activeJobs(const Queue& q) {
    Snapshot& snap = tSnapshot;
    if (snap.depth > 0)
        if (auto it = snap.jobs.find(q.name); it != snap.jobs.end()) return it->second;
    auto all = exchange([q] { return listJobs(q); },
                        Result<std::vector<JobInfo2>>::failure(kServerUnavailable));
    if (snap.depth > 0) snap.jobs.emplace(q.name, all);
    return all;
}

}  // namespace

Result<std::vector<JobInfo2>> jobs(const Queue& q, std::uint32_t first, std::uint32_t count) {
    auto all = activeJobs(q);
    if (!all) return all;
    std::vector<JobInfo2> out;
    for (std::size_t i = first; i < all->size() && out.size() < count; ++i)
        out.push_back((*all)[i]);
    return out;
}

Result<JobInfo1> job1(const Queue& q, std::uint32_t jobId) {
    auto all = activeJobs(q);
    if (!all) return Result<JobInfo1>::failure(all.error);
    for (const auto& j : *all)
        if (j.jobId == jobId) return jobInfo1Of(j);
    return Result<JobInfo1>::failure(kInvalidParameter);
}

Result<DriverInfo2> driver2(const Queue& q) {
    Snapshot& snap = tSnapshot;
    std::optional<std::string> ppd;
    if (snap.depth > 0)
        if (auto it = snap.ppds.find(q.name); it != snap.ppds.end()) ppd = it->second;
    if (!ppd) {
        auto read = exchange(
            [name = q.name]() -> std::optional<std::string> {
                Connection http;
                if (!http) return std::nullopt;
                return ppdText(http, name);
            },
            std::optional<std::string>());
        if (!read) return Result<DriverInfo2>::failure(kServerUnavailable);
        ppd = std::move(read);
        if (snap.depth > 0) snap.ppds.emplace(q.name, *ppd);
    }
    DriverInfo2 d;
    d.version = 3;
    d.name = fromUtf8(driverName(q.makeAndModel, q.deviceUri));
    d.environment = u"CUPS";
    d.driverPath = fromUtf8(isPostscript(*ppd, q.makeAndModel) ? std::string(kPostscriptCore)
                                                               : backendProgram(q.deviceUri));
    if (!ppd->empty()) d.dataFile = fromUtf8(serverRoot() + "/ppd/" + q.name + ".ppd");
    return d;
}

std::uint32_t control(const std::string& queue, std::uint32_t command) {
    ipp_op_t op;
    switch (command) {
        case PRINTER_CONTROL_PAUSE:
            op = IPP_OP_PAUSE_PRINTER;
            break;
        case PRINTER_CONTROL_RESUME:
            op = IPP_OP_RESUME_PRINTER;
            break;
        case PRINTER_CONTROL_PURGE:
            op = IPP_OP_PURGE_JOBS;
            break;
        default:
            return kInvalidParameter;
    }
    changed();
    return send(request(op, queue));
}

std::uint32_t controlJob(const std::string& queue, std::uint32_t jobId, std::uint32_t command) {
    ipp_op_t op;
    switch (command) {
        case JOB_CONTROL_PAUSE:
            op = IPP_OP_HOLD_JOB;
            break;
        case JOB_CONTROL_RESUME:
            op = IPP_OP_RELEASE_JOB;
            break;
        case JOB_CONTROL_RESTART:
            op = IPP_OP_RESTART_JOB;
            break;
        case JOB_CONTROL_CANCEL:
        case JOB_CONTROL_DELETE:
            op = IPP_OP_CANCEL_JOB;
            break;
        default:
            return kInvalidParameter;
    }
    changed();
    Ipp r = request(op, queue);
    ippAddInteger(r.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", int(jobId));
    return send(std::move(r), "/jobs/");
}

std::uint32_t modify(const std::string& queue, const std::u16string* comment,
                     const std::u16string* location, std::uint32_t attributes) {
    changed();
    Ipp r = request(IPP_OP_CUPS_ADD_MODIFY_PRINTER, queue);
    if (comment)
        ippAddString(r.get(), IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr,
                     toUtf8(*comment).c_str());
    if (location)
        ippAddString(r.get(), IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-location", nullptr,
                     toUtf8(*location).c_str());
    ippAddBoolean(r.get(), IPP_TAG_PRINTER, "printer-is-shared",
                  (attributes & PRINTER_ATTRIBUTE_SHARED) != 0);
    if (std::uint32_t e = send(std::move(r)); e != kOk) return e;
    if (attributes & PRINTER_ATTRIBUTE_DEFAULT) return setDefaultPrinter(fromUtf8(queue));
    return kOk;
}

namespace {

int collectionInteger(ipp_t* collection, const char* name, int def) {
    ipp_attribute_t* a = collection ? ippFindAttribute(collection, name, IPP_TAG_INTEGER) : nullptr;
    return a ? ippGetInteger(a, 0) : def;
}

Result<PageLayout> askPageLayout(const std::string& queue) {
    using R = Result<PageLayout>;
    Connection http;
    if (!http) return R::failure(kServerUnavailable);
    Ipp r = request(IPP_OP_GET_PRINTER_ATTRIBUTES, queue);
    requested(r.get(), {"media-col-default", "media-default"});
    Ipp answer = ask(http, std::move(r), "/");
    if (!answer && !refusedForRights(cupsLastError())) return R::failure(kServerUnavailable);
    if (!succeeded(cupsLastError()))
        return R::failure(cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND ? kInvalidPrinterName
                                                                        : errorOf(cupsLastError()));
    PageLayout layout;
    if (ipp_attribute_t* m = ippFindAttribute(answer.get(), "media-default", IPP_TAG_ZERO)) {
        if (const char* keyword = ippGetString(m, 0, nullptr); keyword && *keyword) {
            layout.media = keyword;
            if (pwg_media_t* pwg = pwgMediaForPWG(keyword)) {
                layout.width = pwg->width;
                layout.height = pwg->length;
            }
        }
    }
    ipp_t* col = nullptr;
    if (ipp_attribute_t* c =
            ippFindAttribute(answer.get(), "media-col-default", IPP_TAG_BEGIN_COLLECTION))
        col = ippGetCollection(c, 0);
    if (col) {
        ipp_t* size = nullptr;
        if (ipp_attribute_t* s = ippFindAttribute(col, "media-size", IPP_TAG_BEGIN_COLLECTION))
            size = ippGetCollection(s, 0);
        const int x = collectionInteger(size, "x-dimension", 0);
        const int y = collectionInteger(size, "y-dimension", 0);
        if (x > 0 && y > 0) {
            layout.width = x;
            layout.height = y;
        }
        layout.left = std::max(0, collectionInteger(col, "media-left-margin", 0));
        layout.top = std::max(0, collectionInteger(col, "media-top-margin", 0));
        layout.right = std::max(0, collectionInteger(col, "media-right-margin", 0));
        layout.bottom = std::max(0, collectionInteger(col, "media-bottom-margin", 0));
        // Margins that leave nothing printable are no margins a page can use.
        if (layout.left + layout.right >= layout.width ||
            layout.top + layout.bottom >= layout.height)
            layout.left = layout.top = layout.right = layout.bottom = 0;
    }
    return layout;
}

}  // namespace

Result<PageLayout> pageLayout(const std::string& queue) {
    Snapshot& snap = tSnapshot;
    if (snap.depth > 0)
        if (auto it = snap.layouts.find(queue); it != snap.layouts.end()) return it->second;
    auto found = exchange([queue] { return askPageLayout(queue); },
                          Result<PageLayout>::failure(kServerUnavailable));
    if (snap.depth > 0) snap.layouts.emplace(queue, found);
    return found;
}

// The default comes with the listing: no request of its own.
Result<std::u16string> defaultPrinter() {
    using R = Result<std::u16string>;
    std::uint32_t error = kOk;
    const auto all = queues(&error);
    if (error != kOk) return R::failure(error);
    for (const auto& q : all)
        if (q.isDefault) return fromUtf8(q.name);
    return R::failure(kFileNotFound);
}

std::uint32_t setDefaultPrinter(std::u16string_view name) {
    auto q = queue(name);
    if (!q) return q.error;
    changed();
    const std::uint32_t e = send(request(IPP_OP_CUPS_SET_DEFAULT, q->name));
    if (e != kAccessDenied) return e;
    // Not the server's default for this user to change: the user's own default instead.
    return exchange(
        [name = q->name]() -> std::uint32_t {
            Connection http;
            if (!http) return kServerUnavailable;
            cups_dest_t* dests = nullptr;
            http.arm();
            const int count = cupsGetDests2(http.get(), &dests);
            for (int i = 0; i < count; ++i)
                dests[i].is_default = !dests[i].instance && name == dests[i].name;
            http.arm();
            const int written = cupsSetDests2(http.get(), count, dests);
            cupsFreeDests(count, dests);
            return written == 0 ? kOk : kAccessDenied;
        },
        std::uint32_t(kServerUnavailable));
}

Result<std::vector<PortInfo2>> ports() {
    std::uint32_t error = kOk;
    const auto all = queues(&error);
    if (error != kOk) return Result<std::vector<PortInfo2>>::failure(error);
    std::vector<PortInfo2> out;
    for (const auto& q : all) {
        bool listed = false;
        for (const auto& p : out) listed = listed || p.portName == q.port.name;
        if (listed) continue;
        // A port several queues share is described by what they share.
        std::vector<MappedPort> sharing;
        for (const auto& other : all)
            if (other.port.name == q.port.name) sharing.push_back(other.port);
        out.push_back({q.port.name, q.port.monitor, sharedDescription(sharing), q.port.type, 0});
    }
    return out;
}

namespace {

// What CUPS said of a refused step.
std::string refusal(const std::string& queue, const char* step) {
    const char* what = cupsLastErrorString();
    return "the queue " + queue + " refused the job at " + step + ": " +
           ippErrorString(cupsLastError()) + (what && *what ? std::string(" (") + what + ")" : "");
}

Submission submitOn(Connection& http, const std::string& queue, const std::string& title,
                    const std::string& pdf,
                    const std::vector<std::pair<std::string, std::string>>& options) {
    Submission s;
    if (!http) {
        s.error = tFailure;
        return s;
    }
    const std::string resource = "/printers/" + queue;
    // Create-Job: the job and its options, no document yet.
    Ipp create = request(IPP_OP_CREATE_JOB, queue);
    ippAddString(create.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.c_str());
    cups_option_t* opts = nullptr;
    int count = 0;
    for (const auto& [name, value] : options)
        count = cupsAddOption(name.c_str(), value.c_str(), count, &opts);
    cupsEncodeOptions2(create.get(), count, opts, IPP_TAG_OPERATION);
    cupsEncodeOptions2(create.get(), count, opts, IPP_TAG_JOB);
    cupsFreeOptions(count, opts);
    Ipp created = ask(http, std::move(create), resource.c_str());
    if (!created) {
        s.error = tFailure.empty() ? refusal(queue, "Create-Job") : tFailure;
        return s;
    }
    const int id = integerOf(ippFindAttribute(created.get(), "job-id", IPP_TAG_INTEGER));
    if (!succeeded(cupsLastError()) || id <= 0) {
        s.error = refusal(queue, "Create-Job");
        return s;
    }
    s.jobId = std::uint32_t(id);

    // Send-Document: the document as the job's last.
    const auto fail = [&](const char* step) {
        s.error = tFailure.empty() ? refusal(queue, step) : tFailure;
        // The job was created but will never be whole: it must not stay in the queue.
        Ipp cancel = request(IPP_OP_CANCEL_JOB, queue);
        ippAddInteger(cancel.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
        const std::string failure = tFailure;
        ask(http, std::move(cancel), "/jobs/");
        tFailure = failure;
        return s;
    };
    Ipp send = request(IPP_OP_SEND_DOCUMENT, queue);
    ippAddInteger(send.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
    ippAddString(send.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr,
                 title.c_str());
    ippAddString(send.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 CUPS_FORMAT_PDF);
    ippAddBoolean(send.get(), IPP_TAG_OPERATION, "last-document", 1);
    http.arm();
    if (cupsSendRequest(http.get(), send.get(), resource.c_str(), CUPS_LENGTH_VARIABLE) !=
        HTTP_STATUS_CONTINUE) {
        if (http.expired()) http.noAnswer();
        return fail("Send-Document");
    }
    constexpr std::size_t kChunk = 65536;
    for (std::size_t at = 0; at < pdf.size(); at += kChunk)
        if (cupsWriteRequestData(http.get(), pdf.data() + at, std::min(kChunk, pdf.size() - at)) !=
            HTTP_STATUS_CONTINUE) {
            http.noAnswer();
            return fail("Send-Document");
        }
    Ipp sent(cupsGetResponse(http.get(), resource.c_str()));
    if (!sent) {
        http.noAnswer();
        return fail("Send-Document");
    }
    if (!succeeded(cupsLastError())) return fail("Send-Document");
    return s;
}

}  // namespace

namespace {

std::string changedSinceJudged(const std::string& name) {
    std::u16string then;
    {
        std::lock_guard lock(gJudgedMutex);
        const auto it = gJudgedPorts.find(name);
        if (it == gJudgedPorts.end()) return {};
        then = it->second;
    }
    Listing now = listQueues();
    if (now.error != kOk)
        return tFailure.empty() ? "the queue " + name + " cannot be listed" : tFailure;
    for (const auto& q : now.queues) {
        if (q.name != name) continue;
        if (q.port.name == then) return {};
        return "the queue " + name + " is no longer the printer that was judged: its port is " +
               toUtf8(q.port.name) + ", not " + toUtf8(then);
    }
    return "the queue " + name + " is no longer there";
}

}  // namespace

Submission submit(const std::string& queue, const std::string& title, const std::string& pdf,
                  const std::vector<std::pair<std::string, std::string>>& options) {
    changed();
    Submission late;
    late.error = unanswered(schedulerName());
    return exchange(
        [queue, title, pdf, options] {
            // The queue is judged again as the job is made: its device may have changed since.
            if (std::string why = changedSinceJudged(queue); !why.empty()) {
                Submission refused;
                refused.error = std::move(why);
                return refused;
            }
            Connection http;
            return submitOn(http, queue, title, pdf, options);
        },
        std::move(late));
}

}  // namespace platform::spooler::cups
