#include "platform/spooler/spooler.h"

#include <algorithm>
#include <mutex>

#include "platform/spooler/cups_backend.h"
#include "platform/system/printer_source.h"
#include "platform/system/version.h"
#include "platform/text/codepage.h"
#include "platform/text/strings.h"

namespace platform::spooler {

using platform::system::DescribedJob;
using platform::system::DescribedPrinter;
using platform::system::loadMachine;
using platform::system::MachineDescription;
using platform::system::updateMachine;

namespace {

constexpr std::uint32_t kFileNotFound = 2, kNotSupported = 50;

struct Hook {
    std::mutex mutex;
    std::function<void(std::string_view)> fn;
};
Hook& hook() {
    static Hook h;
    return h;
}

void called(std::string_view name) {
    std::function<void(std::string_view)> fn;
    {
        std::lock_guard lock(hook().mutex);
        fn = hook().fn;
    }
    if (fn) fn(name);
}

bool administers(std::uint32_t access) {
    return (access & PRINTER_ACCESS_ADMINISTER) != 0;
}

PrinterInfo2 info2Of(const DescribedPrinter& p) {
    PrinterInfo2 i;
    i.serverName = p.serverName;
    i.printerName = p.effectivePrinterName();
    i.shareName = p.shareName;
    i.portName = p.portName;
    i.driverName = p.driverName;
    i.comment = p.comment;
    i.location = p.location;
    i.devMode = p.devMode;
    i.sepFile = p.separatorPage;
    i.printProcessor = p.printProcessor;
    i.datatype = p.datatype;
    i.parameters = p.parameters;
    i.attributes = p.attributes;
    i.priority = p.priority;
    i.defaultPriority = p.defaultPriority;
    i.startTime = p.startTime;
    i.untilTime = p.untilTime;
    i.status = p.status;
    i.jobs = std::uint32_t(p.jobs.size());
    i.averagePpm = p.averagePpm;
    return i;
}

// The level-5 record of a printer: the fields of its level-2 record that level 5 also holds
// (its time-outs are the spooler's defaults).
PrinterInfo5 info5Of(const PrinterInfo2& info) {
    PrinterInfo5 i;
    i.printerName = info.printerName;
    i.portName = info.portName;
    i.attributes = info.attributes;
    return i;
}

JobInfo2 job2Of(const DescribedPrinter& p, const DescribedJob& j, std::uint32_t position) {
    JobInfo2 i;
    i.jobId = j.id;
    i.printerName = p.effectivePrinterName();
    i.machineName = j.machineName;
    i.userName = j.userName;
    i.document = j.document;
    i.notifyName = j.notifyName;
    i.datatype = j.datatype;
    i.printProcessor = j.printProcessor;
    i.parameters = j.parameters;
    i.driverName = j.driverName.empty() ? p.driverName : j.driverName;
    i.devMode = j.devMode;
    i.statusText = j.statusText;
    i.status = j.status;
    i.priority = j.priority;
    i.position = position;
    i.startTime = j.startTime;
    i.untilTime = j.untilTime;
    i.totalPages = j.totalPages;
    i.size = j.size;
    i.submitted = j.submitted;
    i.time = j.time;
    i.pagesPrinted = j.pagesPrinted;
    return i;
}

// While the CUPS queues are the printers, the profile entries list them and the PostScript
// filter that stands as a PostScript queue's driver file has its version block.
const bool kSourceInstalled = [] {
    platform::system::PrinterSource source;
    source.printers = []() -> std::optional<platform::system::SourcePrinters> {
        if (!cups::chosen()) return std::nullopt;
        platform::system::SourcePrinters r;
        for (const auto& q : cups::queues()) {
            r.printers.emplace_back(platform::text::fromUtf8(q.name), q.port.name);
            if (q.isDefault) r.defaultPrinter = platform::text::fromUtf8(q.name);
        }
        return r;
    };
    source.versionBlock =
        [](std::u16string_view path) -> std::optional<platform::system::VersionBlock> {
        if (!cups::chosen() || path != platform::text::fromUtf8(cups::kPostscriptCore))
            return std::nullopt;
        platform::system::VersionBlock b;
        b.translations.push_back({0x0409, 1200});
        b.strings = {{u"CompanyName", u"CUPS"},
                     {u"FileDescription", u"PostScript printer driver"},
                     {u"InternalName", u"pstops"},
                     {u"OriginalFileName", u"pstops"},
                     {u"ProductName", u"CUPS"}};
        return b;
    };
    platform::system::setPrinterSource(std::move(source));
    return true;
}();

// Reads the printer a handle names; the error when it is no longer installed or cannot be read.
template <class T, class F>
Result<T> read(const std::u16string& device, F&& f) {
    MachineDescription m = loadMachine();
    const DescribedPrinter* p = m.findPrinter(device);
    if (!p) return Result<T>::failure(kInvalidHandle);
    return f(*p);
}

// Changes the printer a handle names under the machine's lock.
template <class F>
std::uint32_t change(const std::u16string& device, F&& f) {
    std::uint32_t error = kInvalidHandle;
    bool written = updateMachine([&](MachineDescription& m) {
        if (DescribedPrinter* p = m.findPrinter(device)) error = f(*p, m);
    });
    if (!written && error == kOk) return kAccessDenied;
    return error;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

JobInfo1 jobInfo1Of(const JobInfo2& job) {
    JobInfo1 r;
    r.jobId = job.jobId;
    r.printerName = job.printerName;
    r.machineName = job.machineName;
    r.userName = job.userName;
    r.document = job.document;
    r.datatype = job.datatype;
    r.statusText = job.statusText;
    r.status = job.status;
    r.priority = job.priority;
    r.position = job.position;
    r.totalPages = job.totalPages;
    r.pagesPrinted = job.pagesPrinted;
    r.submitted = job.submitted;
    return r;
}

Result<PrinterHandle> PrinterHandle::open(std::u16string_view deviceName, std::uint32_t access) {
    called("open");
    if (cups::chosen()) {
        auto q = cups::queue(deviceName);
        if (!q) return Result<PrinterHandle>::failure(q.error);
        // The server judges the administering operations themselves (5 when it refuses).
        if (auto os = platform::system::osVersion(); os && os->platformId == 1)
            return PrinterHandle(platform::text::fromUtf8(q->name), PRINTER_ALL_ACCESS);
        return PrinterHandle(platform::text::fromUtf8(q->name),
                             access == 0 ? PRINTER_ACCESS_USE : access);
    }
    MachineDescription m = loadMachine();
    const DescribedPrinter* p = deviceName.empty() ? nullptr : m.findPrinter(deviceName);
    if (!p) return Result<PrinterHandle>::failure(kInvalidPrinterName);
    if (p->openError != kOk) return Result<PrinterHandle>::failure(p->openError);
    // Systems of the Windows 9x family have no printer security: every handle may do all.
    if (auto os = platform::system::osVersion(); os && os->platformId == 1)
        return PrinterHandle(p->deviceName, PRINTER_ALL_ACCESS);
    if (administers(access) && !p->canAdminister)
        return Result<PrinterHandle>::failure(kAccessDenied);
    return PrinterHandle(p->deviceName, access == 0 ? PRINTER_ACCESS_USE : access);
}

Result<PrinterInfo2> PrinterHandle::info2() const {
    called("info2");
    if (cups::chosen()) {
        auto q = cups::queue(device_);
        if (!q) return Result<PrinterInfo2>::failure(kInvalidHandle);
        return cups::info2Of(*q);
    }
    return read<PrinterInfo2>(device_, [](const DescribedPrinter& p) -> Result<PrinterInfo2> {
        if (p.getError != kOk) return Result<PrinterInfo2>::failure(p.getError);
        return info2Of(p);
    });
}

Result<PrinterInfo5> PrinterHandle::info5() const {
    called("info5");
    if (cups::chosen()) {
        auto q = cups::queue(device_);
        if (!q) return Result<PrinterInfo5>::failure(kInvalidHandle);
        return info5Of(cups::info2Of(*q));
    }
    return read<PrinterInfo5>(device_, [](const DescribedPrinter& p) -> Result<PrinterInfo5> {
        if (p.getError != kOk) return Result<PrinterInfo5>::failure(p.getError);
        return info5Of(info2Of(p));
    });
}

std::uint32_t PrinterHandle::setInfo2(const PrinterInfo2& info) const {
    called("setInfo2");
    if (!administers(access_)) return kAccessDenied;
    if (cups::chosen())
        return cups::modify(platform::text::toUtf8(device_), &info.comment, &info.location,
                            info.attributes);
    return change(device_, [&](DescribedPrinter& p, MachineDescription& m) -> std::uint32_t {
        p.shareName = info.shareName;
        p.portName = info.portName;
        p.driverName = info.driverName;
        p.comment = info.comment;
        p.location = info.location;
        if (info.devMode) p.devMode = info.devMode;
        p.separatorPage = info.sepFile;
        p.printProcessor = info.printProcessor;
        p.datatype = info.datatype;
        p.parameters = info.parameters;
        p.attributes = info.attributes;
        // The default attribute makes the printer the default one (how old systems set it).
        if (info.attributes & PRINTER_ATTRIBUTE_DEFAULT) m.defaultPrinter = p.deviceName;
        p.priority = info.priority;
        p.defaultPriority = info.defaultPriority;
        p.startTime = info.startTime;
        p.untilTime = info.untilTime;
        return kOk;
    });
}

std::uint32_t PrinterHandle::setInfo5(const PrinterInfo5& info) const {
    called("setInfo5");
    if (!administers(access_)) return kAccessDenied;
    if (cups::chosen())
        return cups::modify(platform::text::toUtf8(device_), nullptr, nullptr, info.attributes);
    return change(device_, [&](DescribedPrinter& p, MachineDescription&) -> std::uint32_t {
        p.attributes = info.attributes;
        return kOk;
    });
}

std::uint32_t PrinterHandle::control(std::uint32_t command) const {
    called("control");
    if (command < PRINTER_CONTROL_PAUSE || command > PRINTER_CONTROL_PURGE)
        return kInvalidPrinterCommand;
    if (!administers(access_)) return kAccessDenied;
    if (cups::chosen()) return cups::control(platform::text::toUtf8(device_), command);
    return change(device_, [&](DescribedPrinter& p, MachineDescription&) -> std::uint32_t {
        if (command == PRINTER_CONTROL_PAUSE) p.status |= PRINTER_STATUS_PAUSED;
        if (command == PRINTER_CONTROL_RESUME) p.status &= ~PRINTER_STATUS_PAUSED;
        if (command == PRINTER_CONTROL_PURGE) p.jobs.clear();
        return kOk;
    });
}

Result<std::vector<JobInfo2>> PrinterHandle::enumJobs(std::uint32_t first,
                                                      std::uint32_t count) const {
    called("enumJobs");
    using R = Result<std::vector<JobInfo2>>;
    if (cups::chosen()) {
        auto q = cups::queue(device_);
        if (!q) return R::failure(kInvalidHandle);
        return cups::jobs(*q, first, count);
    }
    return read<std::vector<JobInfo2>>(device_, [&](const DescribedPrinter& p) -> R {
        std::vector<JobInfo2> jobs;
        for (std::size_t i = first; i < p.jobs.size() && jobs.size() < count; ++i)
            jobs.push_back(job2Of(p, p.jobs[i], std::uint32_t(i + 1)));
        return jobs;
    });
}

Result<JobInfo1> PrinterHandle::job1(std::uint32_t jobId) const {
    called("job1");
    if (cups::chosen()) {
        auto q = cups::queue(device_);
        if (!q) return Result<JobInfo1>::failure(kInvalidHandle);
        return cups::job1(*q, jobId);
    }
    return read<JobInfo1>(device_, [&](const DescribedPrinter& p) -> Result<JobInfo1> {
        for (std::size_t i = 0; i < p.jobs.size(); ++i)
            if (p.jobs[i].id == jobId)
                return jobInfo1Of(job2Of(p, p.jobs[i], std::uint32_t(i + 1)));
        return Result<JobInfo1>::failure(kInvalidParameter);
    });
}

std::uint32_t PrinterHandle::setJob1(const JobInfo1& info) const {
    called("setJob1");
    if (!administers(access_)) return kAccessDenied;
    if (cups::chosen()) return kNotSupported;  // CUPS cannot move a job within its queue
    return change(device_, [&](DescribedPrinter& p, MachineDescription&) -> std::uint32_t {
        auto it = std::find_if(p.jobs.begin(), p.jobs.end(),
                               [&](const DescribedJob& j) { return j.id == info.jobId; });
        if (it == p.jobs.end()) return kInvalidParameter;
        if (info.position < 1 || info.position > p.jobs.size()) return kInvalidParameter;
        DescribedJob job = *it;
        job.priority = info.priority;
        p.jobs.erase(it);
        p.jobs.insert(p.jobs.begin() + (info.position - 1), std::move(job));
        return kOk;
    });
}

std::uint32_t PrinterHandle::controlJob(std::uint32_t jobId, std::uint32_t command) const {
    called("controlJob");
    if (command < JOB_CONTROL_PAUSE || command > JOB_CONTROL_DELETE) return kInvalidParameter;
    if (cups::chosen()) return cups::controlJob(platform::text::toUtf8(device_), jobId, command);
    return change(device_, [&](DescribedPrinter& p, MachineDescription&) -> std::uint32_t {
        auto it = std::find_if(p.jobs.begin(), p.jobs.end(),
                               [&](const DescribedJob& j) { return j.id == jobId; });
        if (it == p.jobs.end()) return kInvalidParameter;
        switch (command) {
            case JOB_CONTROL_PAUSE:
                it->status |= JOB_STATUS_PAUSED;
                break;
            case JOB_CONTROL_RESUME:
                it->status &= ~JOB_STATUS_PAUSED;
                break;
            case JOB_CONTROL_RESTART:
                it->status |= JOB_STATUS_RESTART;
                break;
            default:
                p.jobs.erase(it);
                break;  // cancel and delete
        }
        return kOk;
    });
}

Result<DriverInfo2> PrinterHandle::driver2() const {
    called("driver2");
    if (cups::chosen()) {
        auto q = cups::queue(device_);
        if (!q) return Result<DriverInfo2>::failure(kInvalidHandle);
        return cups::driver2(*q);
    }
    MachineDescription m = loadMachine();
    const DescribedPrinter* p = m.findPrinter(device_);
    if (!p) return Result<DriverInfo2>::failure(kInvalidHandle);
    const auto* d = m.findDriver(p->driverName);
    if (!d) return Result<DriverInfo2>::failure(kUnknownPrinterDriver);
    DriverInfo2 i;
    i.version = d->version;
    i.name = d->name;
    i.environment = d->environment;
    i.driverPath = d->driverPath;
    i.dataFile = d->dataFile;
    i.configFile = d->configFile;
    return i;
}

// ---------------------------------------------------------------------------------------------

bool realQueues() {
    return cups::chosen();
}

std::vector<std::u16string> printerNames() {
    called("printerNames");
    std::vector<std::u16string> names;
    if (cups::chosen()) {
        for (const auto& q : cups::queues()) names.push_back(platform::text::fromUtf8(q.name));
        return names;
    }
    for (const auto& p : loadMachine().printers) names.push_back(p.deviceName);
    return names;
}

Result<PrinterInfo2> defaultPrinterInfo2() {
    called("defaultPrinterInfo2");
    if (cups::chosen()) {
        for (const auto& q : cups::queues())
            if (q.isDefault) return cups::info2Of(q);
        return Result<PrinterInfo2>::failure(kFileNotFound);
    }
    MachineDescription m = loadMachine();
    const DescribedPrinter* p = m.findPrinter(m.defaultPrinter);
    if (!p || m.defaultPrinter.empty()) return Result<PrinterInfo2>::failure(kFileNotFound);
    return info2Of(*p);
}

Result<std::u16string> getDefaultPrinter() {
    called("getDefaultPrinter");
    if (cups::chosen()) return cups::defaultPrinter();
    MachineDescription m = loadMachine();
    const DescribedPrinter* p =
        m.defaultPrinter.empty() ? nullptr : m.findPrinter(m.defaultPrinter);
    if (!p) return Result<std::u16string>::failure(kFileNotFound);
    return p->deviceName;
}

std::uint32_t setDefaultPrinter(std::u16string_view deviceName) {
    called("setDefaultPrinter");
    if (cups::chosen()) return cups::setDefaultPrinter(deviceName);
    std::uint32_t error = kInvalidPrinterName;
    bool written = updateMachine([&](MachineDescription& m) {
        if (const DescribedPrinter* p = deviceName.empty() ? nullptr : m.findPrinter(deviceName)) {
            m.defaultPrinter = p->deviceName;
            error = kOk;
        }
    });
    if (!written && error == kOk) return kAccessDenied;
    return error;
}

Result<std::vector<PortInfo2>> enumPorts(std::u16string_view) {
    called("enumPorts");
    if (cups::chosen()) return cups::ports();
    MachineDescription m = loadMachine();
    if (m.enumPortsError != kOk) return Result<std::vector<PortInfo2>>::failure(m.enumPortsError);
    std::vector<PortInfo2> ports;
    for (const auto& p : m.ports) ports.push_back({p.name, p.monitor, p.description, p.type, 0});
    return ports;
}

ListingScope::ListingScope() {
    cups::beginListing();
}

ListingScope::~ListingScope() {
    cups::endListing();
}

void setWaitHook(std::function<void()> hook) {
    cups::setWaitHook(std::move(hook));
}

std::u16string serverFailure() {
    if (!cups::chosen()) return {};
    return platform::text::fromUtf8(cups::schedulerFailure());
}

void setCallHook(std::function<void(std::string_view)> h) {
    std::lock_guard lock(hook().mutex);
    hook().fn = std::move(h);
}

}  // namespace platform::spooler
