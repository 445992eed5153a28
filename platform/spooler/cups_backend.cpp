#include "platform/spooler/cups_backend.h"

#include <cups/cups.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

#include <sys/mman.h>
#include <unistd.h>

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

// One connection to the server for the length of a call.
class Connection {
  public:
    Connection() {
        cupsSetPasswordCB2(noPassword, nullptr);
        // The server is looked up afresh, so a changed CUPS_SERVER takes effect.
        cupsSetServer(nullptr);
        http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                             30000, nullptr);
    }
    ~Connection() {
        if (http_) httpClose(http_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    explicit operator bool() const { return http_ != nullptr; }
    http_t* get() const { return http_; }

  private:
    http_t* http_ = nullptr;
};

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

// Sends a request without an answer to read.
std::uint32_t send(Ipp r, const char* resource = "/admin/") {
    Connection http;
    if (!http) return kServerUnavailable;
    Ipp answer(cupsDoRequest(http.get(), r.release(), resource));
    return errorOf(cupsLastError());
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
std::string ppdText(http_t* http, const std::string& queue) {
    const int fd = ::memfd_create("tessel-ppd", MFD_CLOEXEC);
    if (fd < 0) return {};
    // Queue names hold no spaces, "/", "#" or "?": the name needs no encoding in the path.
    const std::string path = "/printers/" + queue + ".ppd";
    std::string text;
    if (cupsGetFd(http, path.c_str(), fd) == HTTP_STATUS_OK) {
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

std::vector<Queue> queues(std::uint32_t* error) {
    if (error) *error = kOk;
    Connection http;
    if (!http) {
        if (error) *error = kServerUnavailable;
        return {};
    }
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http.get(), &dests);
    if (count == 0 && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE &&
        cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND && error)
        *error = kServerUnavailable;

    Ipp r = request(IPP_OP_CUPS_GET_PRINTERS, "");
    requested(r.get(), {"printer-name", "device-uri", "printer-info", "printer-location",
                        "printer-make-and-model", "printer-state", "printer-state-reasons",
                        "printer-type", "printer-is-shared", "queued-job-count"});
    Ipp answer(cupsDoRequest(http.get(), r.release(), "/"));
    std::map<std::string, Queue> byName;
    if (answer)
        eachGroup(answer.get(), IPP_TAG_PRINTER, [&](const auto& attrs) {
            Queue q;
            q.name = stringOf(find(attrs, "printer-name"));
            q.deviceUri = stringOf(find(attrs, "device-uri"));
            q.info = stringOf(find(attrs, "printer-info"));
            q.location = stringOf(find(attrs, "printer-location"));
            q.makeAndModel = stringOf(find(attrs, "printer-make-and-model"));
            q.state = integerOf(find(attrs, "printer-state"), 3);
            if (auto* reasons = find(attrs, "printer-state-reasons"))
                for (int i = 0; i < ippGetCount(reasons); ++i)
                    if (const char* s = ippGetString(reasons, i, nullptr)) q.reasons.push_back(s);
            q.printerType = std::uint32_t(integerOf(find(attrs, "printer-type")));
            if (auto* shared = find(attrs, "printer-is-shared"))
                q.shared = ippGetBoolean(shared, 0);
            q.jobs = std::uint32_t(integerOf(find(attrs, "queued-job-count")));
            byName[q.name] = std::move(q);
        });

    std::vector<Queue> out;
    PortCounter ports;
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
        constexpr std::uint32_t kCupsClass = 0x1;
        q.port = (q.printerType & kCupsClass)
                     ? MappedPort{u"CLASS:", u"Local Port", fromUtf8(q.deviceUri), 1}
                     : ports.portOf(q.deviceUri);
        out.push_back(std::move(q));
    }
    cupsFreeDests(count, dests);
    return out;
}

Result<Queue> queue(std::u16string_view name) {
    if (name.empty()) return Result<Queue>::failure(kInvalidPrinterName);
    std::uint32_t error = kOk;
    for (auto& q : queues(&error))
        if (text::equalsNoCase(fromUtf8(q.name), name)) return std::move(q);
    return Result<Queue>::failure(error == kOk ? kInvalidPrinterName : error);
}

PrinterInfo2 info2Of(const Queue& q) {
    PrinterInfo2 i;
    i.printerName = fromUtf8(q.name);
    if (q.shared) i.shareName = i.printerName;
    i.portName = q.port.name;
    i.driverName = fromUtf8(q.makeAndModel);
    i.comment = fromUtf8(q.info);
    i.location = fromUtf8(q.location);
    i.attributes = printerAttributes(q.printerType, q.shared, q.isDefault);
    i.priority = 1;
    i.status = printerStatus(q.state, q.reasons);
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
    j.driverName = fromUtf8(q.makeAndModel);
    j.status = jobStatus(integerOf(find(attrs, "job-state"), 3));
    j.priority = std::uint32_t(integerOf(find(attrs, "job-priority"), 50));
    j.position = position;
    j.size = std::uint32_t(integerOf(find(attrs, "job-k-octets"))) * 1024u;
    j.pagesPrinted = std::uint32_t(integerOf(find(attrs, "job-media-sheets-completed")));
    j.submitted = system::systemTimeFromUtc(integerOf(find(attrs, "time-at-creation")));
    return j;
}

Result<std::vector<JobInfo2>> activeJobs(const Queue& q) {
    using R = Result<std::vector<JobInfo2>>;
    Connection http;
    if (!http) return R::failure(kServerUnavailable);
    Ipp r = request(IPP_OP_GET_JOBS, q.name);
    ippAddString(r.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr,
                 "not-completed");
    requested(r.get(), {"job-id", "job-name", "job-originating-user-name",
                        "job-originating-host-name", "job-state", "job-priority", "job-k-octets",
                        "job-media-sheets-completed", "time-at-creation"});
    Ipp answer(cupsDoRequest(http.get(), r.release(), "/"));
    if (!succeeded(cupsLastError())) return R::failure(errorOf(cupsLastError()));
    std::vector<JobInfo2> all;
    if (answer)
        eachGroup(answer.get(), IPP_TAG_JOB, [&](const auto& attrs) {
            all.push_back(jobOf(q, attrs, std::uint32_t(all.size() + 1)));
        });
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
    for (const auto& j : *all) {
        if (j.jobId != jobId) continue;
        JobInfo1 r;
        r.jobId = j.jobId;
        r.printerName = j.printerName;
        r.machineName = j.machineName;
        r.userName = j.userName;
        r.document = j.document;
        r.status = j.status;
        r.priority = j.priority;
        r.position = j.position;
        r.pagesPrinted = j.pagesPrinted;
        r.submitted = j.submitted;
        return r;
    }
    return Result<JobInfo1>::failure(kInvalidParameter);
}

Result<DriverInfo2> driver2(const Queue& q) {
    Connection http;
    if (!http) return Result<DriverInfo2>::failure(kServerUnavailable);
    const std::string ppd = ppdText(http.get(), q.name);
    DriverInfo2 d;
    d.version = 3;
    d.name = fromUtf8(q.makeAndModel);
    d.environment = u"CUPS";
    d.driverPath = fromUtf8(isPostscript(ppd, q.makeAndModel) ? std::string(kPostscriptCore)
                                                              : backendProgram(q.deviceUri));
    if (!ppd.empty()) d.dataFile = fromUtf8(serverRoot() + "/ppd/" + q.name + ".ppd");
    return d;
}

std::uint32_t control(const std::string& queue, std::uint32_t command) {
    const ipp_op_t op = command == PRINTER_CONTROL_PAUSE    ? IPP_OP_PAUSE_PRINTER
                        : command == PRINTER_CONTROL_RESUME ? IPP_OP_RESUME_PRINTER
                                                            : IPP_OP_PURGE_JOBS;
    return send(request(op, queue));
}

std::uint32_t controlJob(const std::string& queue, std::uint32_t jobId, std::uint32_t command) {
    ipp_op_t op = IPP_OP_CANCEL_JOB;  // cancel and delete
    if (command == JOB_CONTROL_PAUSE) op = IPP_OP_HOLD_JOB;
    if (command == JOB_CONTROL_RESUME) op = IPP_OP_RELEASE_JOB;
    if (command == JOB_CONTROL_RESTART) op = IPP_OP_RESTART_JOB;
    Ipp r = request(op, queue);
    ippAddInteger(r.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", int(jobId));
    return send(std::move(r), "/jobs/");
}

std::uint32_t modify(const std::string& queue, const std::u16string* comment,
                     const std::u16string* location, std::uint32_t attributes) {
    Ipp r = request(IPP_OP_CUPS_ADD_MODIFY_PRINTER, queue);
    if (comment)
        ippAddString(r.get(), IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr,
                     toUtf8(*comment).c_str());
    if (location)
        ippAddString(r.get(), IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-location", nullptr,
                     toUtf8(*location).c_str());
    ippAddBoolean(r.get(), IPP_TAG_PRINTER, "printer-is-shared", (attributes & 0x8) != 0);
    if (std::uint32_t e = send(std::move(r)); e != kOk) return e;
    if (attributes & 0x4) return setDefaultPrinter(fromUtf8(queue));
    return kOk;
}

Result<std::u16string> defaultPrinter() {
    Connection http;
    if (!http) return Result<std::u16string>::failure(kServerUnavailable);
    const char* name = cupsGetDefault2(http.get());
    if (!name || !*name) return Result<std::u16string>::failure(kFileNotFound);
    return fromUtf8(name);
}

std::uint32_t setDefaultPrinter(std::u16string_view name) {
    auto q = queue(name);
    if (!q) return q.error;
    const std::uint32_t e = send(request(IPP_OP_CUPS_SET_DEFAULT, q->name));
    if (e != kAccessDenied) return e;
    // Not the server's default for this user to change: the user's own default instead.
    Connection http;
    if (!http) return kServerUnavailable;
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http.get(), &dests);
    for (int i = 0; i < count; ++i)
        dests[i].is_default = !dests[i].instance && q->name == dests[i].name;
    const int written = cupsSetDests2(http.get(), count, dests);
    cupsFreeDests(count, dests);
    return written == 0 ? kOk : kAccessDenied;
}

Result<std::vector<PortInfo2>> ports() {
    std::uint32_t error = kOk;
    const auto all = queues(&error);
    if (error != kOk) return Result<std::vector<PortInfo2>>::failure(error);
    std::vector<PortInfo2> out;
    for (const auto& q : all) {
        bool listed = false;
        for (const auto& p : out) listed = listed || p.portName == q.port.name;
        if (!listed)
            out.push_back({q.port.name, q.port.monitor, q.port.description, q.port.type, 0});
    }
    return out;
}

}  // namespace platform::spooler::cups
