#include "printers/printers.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <mutex>

#include "platform/system/messages.h"
#include "platform/system/profile.h"
#include "platform/system/version.h"
#include "platform/text/codepage.h"
#include "platform/text/numbers.h"
#include "platform/text/strings.h"
#include "strings/strings.h"

namespace printers {

namespace sp = platform::spooler;
using platform::text::equalsNoCase;

namespace {

std::u16string text(int id) {
    return vistrel::loadString(id);
}

// The platform and major version of the running system (NT 10 when the query fails).
std::pair<std::uint32_t, std::uint32_t> platformAndMajor() {
    auto v = platform::system::osVersion();
    if (!v) return {0, 0};
    return {v->platformId, v->major};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CDevMode

void CDevMode::SetDevModePtr(const std::vector<std::uint8_t>* record) {
    if (!record) return;
    std::size_t n = std::min(record->size(), kSize);
    // A record that says it is shorter than our copy ends where it says.
    if (record->size() >= 38) {
        const std::size_t own =
            platform::bytes::loadLittleEndian<std::uint16_t>(record->data() + 36);
        if (own >= 38) n = std::min(n, own);
    }
    std::fill(std::begin(record_), std::end(record_), std::uint8_t(0));
    std::copy_n(record->begin(), n, record_);
}

std::u16string CDevMode::name(std::size_t at) const {
    std::u16string s = platform::text::fromAnsi(std::span<const std::uint8_t>(record_ + at, 32));
    if (auto nul = s.find(u'\0'); nul != std::u16string::npos) return s.substr(0, nul);
    return platform::text::Trim(s);
}

// ---------------------------------------------------------------------------------------------
// CPrinterJobInfo

void CPrinterJobInfo::LoadJobInfo(const sp::JobInfo2& record) {
    rec_ = sp::JobInfo2{};
    devMode_ = CDevMode{};
    rec_ = record;
    rec_.devMode.reset();
    devMode_.SetDevModePtr(record.devMode ? &*record.devMode : nullptr);
    UpdateSizeMax(rec_.size);
    UpdateTotalPagesMax(rec_.totalPages);
}

void CPrinterJobInfo::UpdateSizeMax(std::uint32_t value) {
    if (value > sizeMax_) sizeMax_ = value;
}

void CPrinterJobInfo::UpdateTotalPagesMax(std::uint32_t value) {
    if (value > totalPagesMax_) totalPagesMax_ = value;
}

DateTime CPrinterJobInfo::Submitted() const {
    const auto& s = rec_.submitted;
    // A job without a submission time holds a zero time, which the platform's conversion
    // gives as the start of its calendar, 1601-01-01 00:00:00, with no zone applied.
    if (s.year == 0 && s.month == 0 && s.day == 0) return {1601, 1, 1, 0, 0, 0};
    std::tm utc{};
    utc.tm_year = s.year - 1900;
    utc.tm_mon = s.month - 1;
    utc.tm_mday = s.day;
    utc.tm_hour = s.hour;
    utc.tm_min = s.minute;
    utc.tm_sec = s.second;
    // The local time of that instant, with the time zone's offset at that instant (not
    // today's daylight-saving offset).
    std::time_t t = timegm(&utc);
    std::tm local{};
    localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::u16string CPrinterJobInfo::StatusText() const {
    if (!rec_.statusText.empty()) return rec_.statusText;
    const std::uint32_t s = rec_.status;
    std::u16string t;
    if (s & sp::JOB_STATUS_PAUSED) t = text(2148);
    if (s & sp::JOB_STATUS_ERROR) t = text(2076);
    if (s & sp::JOB_STATUS_USER_INTERVENTION) t = text(2153);
    static const std::pair<std::uint32_t, int> appended[] = {
        {sp::JOB_STATUS_OFFLINE, 2141},     {sp::JOB_STATUS_PAPEROUT, 2146},
        {sp::JOB_STATUS_DELETING, 2157},    {sp::JOB_STATUS_SPOOLING, 2156},
        {sp::JOB_STATUS_PRINTING, 2150},    {sp::JOB_STATUS_RESTART, 2161},
        {sp::JOB_STATUS_PRINTED, 2158},     {sp::JOB_STATUS_DELETED, 2159},
        {sp::JOB_STATUS_BLOCKED_DEVQ, 2160}};
    for (auto [bit, id] : appended) {
        if (!(s & bit)) continue;
        std::u16string piece = text(id);
        t = t.empty() ? piece : t + u" - " + piece;
    }
    return t;
}

// ---------------------------------------------------------------------------------------------
// CPrinterJobs

std::u16string CPrinterJobs::keyOf(std::uint32_t jobId) {
    return platform::text::Hex(jobId);
}

void CPrinterJobs::setDeviceName(std::u16string_view name) {
    deviceName_ = std::u16string(name);
    Refresh();
}

std::vector<CPrinterJobs::Entry>::iterator CPrinterJobs::FindJob(std::u16string_view key) {
    return std::find_if(jobs_.begin(), jobs_.end(),
                        [&](const Entry& e) { return equalsNoCase(e.key, key); });
}

std::int32_t CPrinterJobs::GetJobCount(const sp::PrinterHandle* handle) {
    std::optional<sp::PrinterHandle> own;
    if (!handle) {
        auto opened = sp::PrinterHandle::open(deviceName_);
        if (!opened) return 0;
        own = std::move(*opened);
        handle = &*own;
    }
    auto info = handle->info2();
    if (!info) {
        getPrinterError_ = info.error;
        return 0;
    }
    getPrinterError_ = 0;
    return std::int32_t(info->jobs);
}

std::int32_t CPrinterJobs::Count() {
    std::int32_t n = GetJobCount(nullptr);
    if (std::size_t(n) != jobs_.size()) Refresh();
    return n;
}

CPrinterJobs::Item_t CPrinterJobs::Item(long position) const {
    if (position < 1 || std::size_t(position) > jobs_.size()) return nullptr;
    return jobs_[std::size_t(position - 1)].job;
}

CPrinterJobs::Item_t CPrinterJobs::Item(std::u16string_view key) const {
    for (const auto& e : jobs_)
        if (equalsNoCase(e.key, key)) return e.job;
    return nullptr;
}

void CPrinterJobs::Refresh() {
    std::int32_t n = 0;
    std::vector<std::uint32_t> ids;
    if (auto handle = sp::PrinterHandle::open(deviceName_)) {
        n = GetJobCount(&*handle);
        if (n >= 1) {
            ids.assign(std::size_t(n), 0);
            if (auto records = handle->enumJobs(0, std::uint32_t(n))) {
                for (std::size_t i = 0; i < records->size() && i < ids.size(); ++i) {
                    auto job = std::make_shared<CPrinterJobInfo>();
                    job->LoadJobInfo((*records)[i]);
                    const std::u16string key = keyOf(job->JobId());
                    if (auto old = FindJob(key); old != jobs_.end()) {
                        job->UpdateSizeMax(old->job->SizeMax());
                        job->UpdateTotalPagesMax(old->job->TotalPagesMax());
                        jobs_.erase(old);
                    }
                    jobs_.push_back({key, job});
                    ids[i] = job->JobId();
                }
            }
        }
    }
    if (n < 1) {
        jobs_.clear();
        return;
    }
    std::erase_if(jobs_, [&](const Entry& e) {
        return std::find(ids.begin(), ids.end(), e.job->JobId()) == ids.end();
    });
}

bool CPrinterJobs::ControlJob(std::uint32_t jobId, std::uint32_t command) {
    auto handle = sp::PrinterHandle::open(deviceName_);
    if (!handle) return false;
    bool ok = handle->controlJob(jobId, command) == sp::kOk;
    Refresh();
    return ok;
}

bool CPrinterJobs::ControlPause(std::uint32_t jobId) {
    return ControlJob(jobId, sp::JOB_CONTROL_PAUSE);
}
bool CPrinterJobs::ControlResume(std::uint32_t jobId) {
    return ControlJob(jobId, sp::JOB_CONTROL_RESUME);
}
bool CPrinterJobs::ControlRestart(std::uint32_t jobId) {
    return ControlJob(jobId, sp::JOB_CONTROL_RESTART);
}
bool CPrinterJobs::ControlCancel(std::uint32_t jobId) {
    auto [platformId, major] = platformAndMajor();
    bool nt4OrLater = platformId == 2 && major > 3;
    return ControlJob(jobId, nt4OrLater ? sp::JOB_CONTROL_DELETE : sp::JOB_CONTROL_CANCEL);
}

bool CPrinterJobs::MoveJobPosition(std::uint32_t jobId, std::int32_t step) {
    auto handle = sp::PrinterHandle::open(deviceName_, sp::PRINTER_ACCESS_ADMINISTER);
    if (!handle) return false;
    auto job = handle->job1(jobId);
    if (!job) return false;
    job->position = std::uint32_t(std::int64_t(job->position) + step);
    return handle->setJob1(*job) == sp::kOk;
}

bool CPrinterJobs::PositionMoveDown(std::uint32_t jobId) {
    return MoveJobPosition(jobId, +1);
}
bool CPrinterJobs::PositionMoveUp(std::uint32_t jobId) {
    return MoveJobPosition(jobId, -1);
}

// ---------------------------------------------------------------------------------------------
// CPrinterInfo

namespace {

struct DialogHook {
    std::mutex mutex;
    std::function<void(const std::u16string&, std::intptr_t)> fn;
};
DialogHook& dialogHook() {
    static DialogHook h;
    return h;
}

}  // namespace

void CPrinterInfo::setDeviceName(std::u16string_view name) {
    deviceName_ = std::u16string(name);
    Refresh();
}

void CPrinterInfo::Refresh() {
    rec_ = sp::PrinterInfo2{};
    devMode_ = CDevMode{};
    if (auto handle = sp::PrinterHandle::open(deviceName_)) {
        // Every failed read keeps the error of the call that failed, so the status shows why
        // the record is empty.
        if (auto info = handle->info2()) {
            rec_ = std::move(*info);
            devMode_.SetDevModePtr(rec_.devMode ? &*rec_.devMode : nullptr);
            rec_.devMode.reset();
            getPrinterError_ = 0;
        } else {
            getPrinterError_ = info.error;
        }
    } else {
        getPrinterError_ = handle.error;
    }

    displayName_ = deviceName_;
    if ((rec_.attributes & sp::PRINTER_ATTRIBUTE_NETWORK) && rec_.serverName.size() > 2 &&
        rec_.serverName.compare(0, 2, u"\\\\") == 0) {
        auto p = rec_.printerName.find(u'\\', 2);
        if (p != std::u16string::npos)
            displayName_ = rec_.printerName.substr(p + 1) + u" on " + rec_.serverName.substr(2);
    }

    if (jobs_.DeviceName() != deviceName_)
        jobs_.setDeviceName(deviceName_);
    else
        jobs_.Refresh();
}

std::u16string CPrinterInfo::ApiErrorText(std::uint32_t code) {
    if (auto message = platform::system::formatMessage(code); message && message->size() > 2)
        return message->substr(0, message->size() - 2);
    return u"Error (" + platform::text::fromUtf8(std::to_string(code)) + u") not defined.";
}

std::u16string CPrinterInfo::StatusText() const {
    if (getPrinterError_ != 0) return ApiErrorText(getPrinterError_);
    switch (rec_.status) {
        case 0:
            return text(2090);
        case sp::PRINTER_STATUS_PAUSED:
            return text(2148);
        case sp::PRINTER_STATUS_ERROR:
            return text(2076);
        case sp::PRINTER_STATUS_PENDING_DELETION:
            return text(2157);
        case sp::PRINTER_STATUS_PAPER_JAM:
            return text(2145);
        case sp::PRINTER_STATUS_PAPER_OUT:
            return text(2146);
        case sp::PRINTER_STATUS_MANUAL_FEED:
            return text(2138);
        case sp::PRINTER_STATUS_PAPER_PROBLEM:
            return text(2147);
        case sp::PRINTER_STATUS_OFFLINE:
            return text(2141);
        case sp::PRINTER_STATUS_IO_ACTIVE:
            return text(2137);
        case sp::PRINTER_STATUS_BUSY:
            return text(2134);
        case sp::PRINTER_STATUS_PRINTING:
            return text(2150);
        case sp::PRINTER_STATUS_OUTPUT_BIN_FULL:
            return u"Output Bill Full";
        case sp::PRINTER_STATUS_NOT_AVAILABLE:
            return text(2140);
        case sp::PRINTER_STATUS_WAITING:
            return text(2154);
        case sp::PRINTER_STATUS_PROCESSING:
            return text(2151);
        case sp::PRINTER_STATUS_INITIALIZING:
            return text(2136);
        case sp::PRINTER_STATUS_WARMING_UP:
            return text(2092);
        case sp::PRINTER_STATUS_TONER_LOW:
            return text(2152);
        case sp::PRINTER_STATUS_NO_TONER:
            return text(2139);
        case sp::PRINTER_STATUS_PAGE_PUNT:
            return text(2144);
        case sp::PRINTER_STATUS_USER_INTERVENTION:
            return text(2153);
        case sp::PRINTER_STATUS_OUT_OF_MEMORY:
            return text(2142);
        case sp::PRINTER_STATUS_DOOR_OPEN:
            return text(2135);
        case sp::PRINTER_STATUS_SERVER_UNKNOWN:
            return text(2180);
        case sp::PRINTER_STATUS_POWER_SAVE:
            return text(2091);
        default:
            return platform::text::Hex(rec_.status);
    }
}

std::u16string CPrinterInfo::GetDefaultPrinterName() {
    auto [platformId, major] = platformAndMajor();
    if (platformId == 1) {
        auto info = sp::defaultPrinterInfo2();
        return info ? info->printerName : std::u16string();
    }
    if (platformId == 2 && major < 5) {
        auto device = platform::system::profileString(u"Windows", u"device");
        if (!device || device->empty()) return {};
        return device->substr(0, device->find(u','));
    }
    if (platformId == 2) {
        auto name = sp::getDefaultPrinter();
        return name ? name->substr(0, name->find(u'\0')) : std::u16string();
    }
    return {};
}

bool CPrinterInfo::IsDefault() const {
    return platform::text::UCase(GetDefaultPrinterName()) == platform::text::UCase(deviceName_);
}

void CPrinterInfo::setIsDefault(bool value) {
    if (!value) return;
    auto [platformId, major] = platformAndMajor();
    if (platformId == 1) {
        if (auto handle = sp::PrinterHandle::open(deviceName_)) {
            if (auto info = handle->info2()) {
                info->attributes |= sp::PRINTER_ATTRIBUTE_DEFAULT;
                handle->setInfo2(*info);  // the change notice of old systems goes nowhere here
            }
        }
    } else if (platformId == 2 && major < 5) {
        auto ports = platform::system::profileString(u"PrinterPorts", deviceName_);
        if (ports && !ports->empty()) {
            auto first = ports->find(u',');
            auto second = first == std::u16string::npos ? first : ports->find(u',', first + 1);
            if (second != std::u16string::npos)
                platform::system::writeProfileString(u"Windows", u"device",
                                                     deviceName_ + u"," + ports->substr(0, second));
        }
    } else if (platformId == 2) {
        sp::setDefaultPrinter(deviceName_);
    }
    Refresh();
    (void)IsDefault();
}

bool CPrinterInfo::CanAdminister() const {
    return bool(sp::PrinterHandle::open(deviceName_, sp::PRINTER_ACCESS_ADMINISTER));
}

bool CPrinterInfo::ControlPrinter(std::uint32_t command) {
    auto handle = sp::PrinterHandle::open(deviceName_, sp::PRINTER_ACCESS_ADMINISTER);
    if (!handle) return false;
    bool ok = handle->control(command) == sp::kOk;
    Refresh();
    return ok;
}

void CPrinterInfo::ShowPropertiesDialog(std::intptr_t parentWindow) {
    auto handle = sp::PrinterHandle::open(deviceName_, sp::PRINTER_ALL_ACCESS);
    if (!handle)
        handle = sp::PrinterHandle::open(deviceName_,
                                         sp::STANDARD_RIGHTS_REQUIRED | sp::PRINTER_ACCESS_USE);
    if (!handle) return;
    std::function<void(const std::u16string&, std::intptr_t)> fn;
    {
        std::lock_guard lock(dialogHook().mutex);
        fn = dialogHook().fn;
    }
    if (fn) fn(deviceName_, parentWindow);
}

void CPrinterInfo::setPropertiesDialogHook(
    std::function<void(const std::u16string&, std::intptr_t)> hook) {
    std::lock_guard lock(dialogHook().mutex);
    dialogHook().fn = std::move(hook);
}

// ---------------------------------------------------------------------------------------------
// CPrinters

CPrinters::CPrinters(AddedHandler onAdded) : onAdded_(std::move(onAdded)) {
    Refresh();
}

CPrinterInfo& CPrinters::Item(std::u16string_view deviceName) const {
    for (const auto& p : printers_)
        if (equalsNoCase(p->DeviceName(), deviceName)) return *p;
    throw platform::text::InvalidCall("Invalid procedure call or argument");
}

void CPrinters::Refresh() {
    // The profile's key list, each name ended by a NUL, read into a buffer that doubles while
    // the list fills it (the answer is then the buffer size minus 2).
    const std::vector<std::u16string> keys = platform::system::profileKeys(u"PrinterPorts");
    std::int64_t total = 0;
    for (const auto& k : keys) total += std::int64_t(platform::text::toAnsi(k).size()) + 1;
    std::int64_t size = 512, n = 0;
    while (true) {
        n = std::min<std::int64_t>(total, size - 2);
        if (n != size - 2) break;
        if (size * 2 > INT32_MAX) throw platform::text::Overflow("Overflow");
        size *= 2;
    }

    printers_.clear();
    for (const auto& name : keys) {
        if (name.empty()) break;
        auto info = std::make_unique<CPrinterInfo>();
        info->setDeviceName(name);
        printers_.push_back(std::move(info));
        if (onAdded_) onAdded_(name);
    }
    bad_ = n > 1022;
}

}  // namespace printers
