#include "platform/spooler/cups_backend.h"

#include <cups/cups.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include <sys/mman.h>
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

// One connection to the server for the length of a call. Every request on it is armed with
// the deadline first; waiting for the server ends when the deadline has passed.
class Connection {
  public:
    Connection() {
        cupsSetPasswordCB2(noPassword, nullptr);
        // The server is looked up afresh, so a changed CUPS_SERVER takes effect.
        cupsSetServer(nullptr);
        const char* server = cupsServer();
        const int port = ippPort();
        name_ = server && *server == '/'
                    ? std::string(server)
                    : std::string(server ? server : "") + ":" + std::to_string(port);
        deadline_ = Clock::now() + std::chrono::milliseconds(kRequestDeadlineMs);
        ++gConnections;
        errno = 0;
        http_ = httpConnect2(server, port, nullptr, AF_UNSPEC, cupsEncryption(), 1,
                             kRequestDeadlineMs, nullptr);
        if (!http_) {
            const int e = errno;
            tFailure = "the CUPS scheduler " + name_ + " cannot be reached" +
                       (e ? std::string(" (") + std::strerror(e) + ")" : std::string());
            return;
        }
        httpSetTimeout(http_, 0.1, stillWaiting, this);
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
        ++gRequests;
    }
    bool expired() const { return Clock::now() >= deadline_; }

    // After a request that brought no IPP answer: why, naming the scheduler.
    void noAnswer() const {
        if (expired()) {
            tFailure = "the CUPS scheduler " + name_ + " did not answer within " +
                       std::to_string(kRequestDeadlineMs / 1000) + " seconds";
            return;
        }
        const char* what = cupsLastErrorString();
        tFailure = "the CUPS scheduler " + name_ + " gave no IPP answer (" +
                   (what && *what ? what : ippErrorString(cupsLastError())) + ")";
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
// running the wait hook meanwhile. The exchange's failure text becomes the caller's.
template <class F>
auto exchange(F&& work) -> decltype(work()) {
    using T = decltype(work());
    std::optional<T> result;
    std::string failure;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread worker([&] {
        tFailure.clear();
        std::optional<T> r(work());
        std::lock_guard lock(mutex);
        result = std::move(r);
        failure = tFailure;
        done = true;
        finished.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        while (!done) {
            if (tWaitHook) {
                lock.unlock();
                tWaitHook();
                lock.lock();
                if (done) break;
            }
            finished.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
    worker.join();
    tFailure = std::move(failure);
    return std::move(*result);
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
    return exchange([&]() -> std::uint32_t {
        Connection http;
        if (!http) return kServerUnavailable;
        Ipp answer = ask(http, std::move(r), resource);
        if (!answer && !refusedForRights(cupsLastError())) return kServerUnavailable;
        return errorOf(cupsLastError());
    });
}

// The listing of the thread's open scope.
struct Snapshot {
    int depth = 0;
    std::optional<std::vector<Queue>> queues;
    std::uint32_t error = kOk;
    std::string failure;
    std::optional<Result<std::u16string>> defaultPrinter;
    std::map<std::string, Result<std::vector<JobInfo2>>> jobs;
    std::map<std::string, std::string> ppds;

    void forget() {
        queues.reset();
        error = kOk;
        failure.clear();
        defaultPrinter.reset();
        jobs.clear();
        ppds.clear();
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

// The server's PPD of a queue ("" when it has none).
std::string ppdText(Connection& http, const std::string& queue) {
    const int fd = ::memfd_create("tessel-ppd", MFD_CLOEXEC);
    if (fd < 0) return {};
    // Queue names hold no spaces, "/", "#" or "?": the name needs no encoding in the path.
    const std::string path = "/printers/" + queue + ".ppd";
    std::string text;
    http.arm();
    const http_status_t got = cupsGetFd(http.get(), path.c_str(), fd);
    if (got == HTTP_STATUS_ERROR) http.noAnswer();
    if (got == HTTP_STATUS_OK) {
        ::lseek(fd, 0, SEEK_SET);
        char buf[8192];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, std::size_t(n));
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

// Lists the queues: the printers with their attributes (CUPS-Get-Printers), then the
// destinations with the default and the user's options (cupsGetDests2). Either request
// failing fails the listing; nothing is filled in for what did not come.
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
    Ipp answer = ask(http, std::move(r), "/");
    // No printers at all is an answer too (client-error-not-found).
    if (!answer || (!succeeded(cupsLastError()) && cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND)) {
        if (answer && tFailure.empty())
            tFailure = "the CUPS scheduler " + http.name() + " refused to list its printers (" +
                       cupsLastErrorString() + ")";
        out.error = kServerUnavailable;
        return out;
    }
    std::map<std::string, Queue> byName;
    std::vector<std::string> reportedHosts;  // the names CUPS gives itself
    eachGroup(answer.get(), IPP_TAG_PRINTER, [&](const auto& attrs) {
        Queue q;
        q.name = stringOf(find(attrs, "printer-name"));
        q.deviceUri = stringOf(find(attrs, "device-uri"));
        q.info = stringOf(find(attrs, "printer-info"));
        q.location = stringOf(find(attrs, "printer-location"));
        q.makeAndModel = stringOf(find(attrs, "printer-make-and-model"));
        q.state = integerOf(find(attrs, "printer-state"), IPP_PSTATE_IDLE);
        if (auto* reasons = find(attrs, "printer-state-reasons"))
            for (int i = 0; i < ippGetCount(reasons); ++i)
                if (const char* s = ippGetString(reasons, i, nullptr)) q.reasons.push_back(s);
        q.printerType = std::uint32_t(integerOf(find(attrs, "printer-type")));
        if (auto* shared = find(attrs, "printer-is-shared")) q.shared = ippGetBoolean(shared, 0);
        if (auto* accepting = find(attrs, "printer-is-accepting-jobs"))
            q.accepting = ippGetBoolean(accepting, 0);
        q.jobs = std::uint32_t(integerOf(find(attrs, "queued-job-count")));
        if (auto* uris = find(attrs, "printer-uri-supported"))
            for (int i = 0; i < ippGetCount(uris); ++i)
                if (const char* uri = ippGetString(uris, i, nullptr))
                    reportedHosts.push_back(parseDeviceUri(uri).host);
        byName[q.name] = std::move(q);
    });

    cups_dest_t* dests = nullptr;
    http.arm();
    const int count = cupsGetDests2(http.get(), &dests);
    if (count == 0 && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE &&
        cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND) {
        http.noAnswer();
        cupsFreeDests(count, dests);
        out.error = kServerUnavailable;
        return out;
    }

    for (int i = 0; i < count; ++i) {
        const cups_dest_t& d = dests[i];
        if (d.instance) continue;  // an instance is a set of options, not a queue of its own
        Queue q;
        if (auto it = byName.find(d.name); it != byName.end()) {
            q = it->second;
        } else {
            q.name = d.name;
            if (const char* uri = cupsGetOption("device-uri", d.num_options, d.options))
                q.deviceUri = uri;
        }
        q.isDefault = d.is_default != 0;
        out.queues.push_back(std::move(q));
    }
    cupsFreeDests(count, dests);
    // The ports, each judged with the other queues at hand (a forward to one of them) and
    // numbered as the machine folder keeps the numbers.
    std::vector<QueueDevice> devices;
    std::vector<std::string> uris;
    for (const auto& q : out.queues) {
        devices.push_back({q.name, q.deviceUri, q.printerType});
        uris.push_back(q.deviceUri);
    }
    // The forwards' host names are looked up within the same deadline as a request.
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
    Listing listing = exchange([] { return listQueues(); });
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
    auto all = exchange([&] { return listJobs(q); });
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
        auto read = exchange([&]() -> std::optional<std::string> {
            Connection http;
            if (!http) return std::nullopt;
            return ppdText(http, q.name);
        });
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

Result<std::u16string> defaultPrinter() {
    using R = Result<std::u16string>;
    Snapshot& snap = tSnapshot;
    if (snap.depth > 0 && snap.defaultPrinter) return *snap.defaultPrinter;
    R found = exchange([]() -> R {
        Connection http;
        if (!http) return R::failure(kServerUnavailable);
        http.arm();
        const char* name = cupsGetDefault2(http.get());
        if (name && *name) return fromUtf8(name);
        // No default is an answer; no answer is not.
        if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE &&
            cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND && !refusedForRights(cupsLastError())) {
            http.noAnswer();
            return R::failure(kServerUnavailable);
        }
        return R::failure(kFileNotFound);
    });
    if (snap.depth > 0) snap.defaultPrinter = found;
    return found;
}

std::uint32_t setDefaultPrinter(std::u16string_view name) {
    auto q = queue(name);
    if (!q) return q.error;
    changed();
    const std::uint32_t e = send(request(IPP_OP_CUPS_SET_DEFAULT, q->name));
    if (e != kAccessDenied) return e;
    // Not the server's default for this user to change: the user's own default instead.
    return exchange([&]() -> std::uint32_t {
        Connection http;
        if (!http) return kServerUnavailable;
        cups_dest_t* dests = nullptr;
        http.arm();
        const int count = cupsGetDests2(http.get(), &dests);
        for (int i = 0; i < count; ++i)
            dests[i].is_default = !dests[i].instance && q->name == dests[i].name;
        http.arm();
        const int written = cupsSetDests2(http.get(), count, dests);
        cupsFreeDests(count, dests);
        return written == 0 ? kOk : kAccessDenied;
    });
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
    return exchange([&] {
        // The queue is judged again as the job is made: its device may have changed since.
        if (std::string why = changedSinceJudged(queue); !why.empty()) {
            Submission refused;
            refused.error = std::move(why);
            return refused;
        }
        Connection http;
        return submitOn(http, queue, title, pdf, options);
    });
}

}  // namespace platform::spooler::cups
