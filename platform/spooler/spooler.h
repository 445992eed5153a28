// The print spooler: of the described machine (platform/system/description.h), the default, or
// of the machine's real CUPS queues (platform/spooler/cups_backend.h). Printers opened
// with an access mask, their records at the levels the system reads (2 and 5), printer and
// job control, job positions, ports, drivers and the default printer. Texts are typed; a
// device mode is the raw record bytes, as the spooler hands it out and takes it back.
//
// Failures are Windows error numbers (0 = success). Every change is written to the machine
// description (or sent to the CUPS server) at once, so other processes see it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/spooler/winspool.h"
#include "platform/system/description.h"

namespace platform::spooler {

// Windows error numbers the spooler reports.
enum Error : std::uint32_t {
    kOk = 0,
    kAccessDenied = 5,              // ERROR_ACCESS_DENIED
    kInvalidHandle = 6,             // ERROR_INVALID_HANDLE
    kInvalidParameter = 87,         // ERROR_INVALID_PARAMETER
    kInvalidLevel = 124,            // ERROR_INVALID_LEVEL
    kUnknownPrinterDriver = 1797,   // ERROR_UNKNOWN_PRINTER_DRIVER
    kInvalidPrinterName = 1801,     // ERROR_INVALID_PRINTER_NAME
    kInvalidPrinterCommand = 1803,  // ERROR_INVALID_PRINTER_COMMAND
};

// A value or the error of the call that failed.
template <class T>
struct Result {
    std::optional<T> value;
    std::uint32_t error = kOk;

    Result(T v) : value(std::move(v)) {}
    static Result failure(std::uint32_t e) { return Result(e, 0); }
    explicit operator bool() const { return value.has_value(); }
    T& operator*() { return *value; }
    const T& operator*() const { return *value; }
    T* operator->() { return &*value; }
    const T* operator->() const { return &*value; }

  private:
    Result(std::uint32_t e, int) : error(e) {}
};

using DevMode = std::vector<std::uint8_t>;

// PRINTER_INFO_2.
struct PrinterInfo2 {
    std::u16string serverName, printerName, shareName, portName, driverName, comment, location;
    std::optional<DevMode> devMode;  // nullopt: no device mode
    std::u16string sepFile, printProcessor, datatype, parameters;
    std::uint32_t attributes = 0, priority = 0, defaultPriority = 0, startTime = 0, untilTime = 0,
                  status = 0, jobs = 0, averagePpm = 0;
};

// PRINTER_INFO_5.
struct PrinterInfo5 {
    std::u16string printerName, portName;
    std::uint32_t attributes = 0, deviceNotSelectedTimeout = 15000,
                  transmissionRetryTimeout = 45000;
};

// JOB_INFO_1 (the fields a position move reads and writes).
struct JobInfo1 {
    std::uint32_t jobId = 0;
    std::u16string printerName, machineName, userName, document, datatype, statusText;
    std::uint32_t status = 0, priority = 0, position = 0, totalPages = 0, pagesPrinted = 0;
    platform::system::SystemTime submitted;
};

// JOB_INFO_2.
struct JobInfo2 {
    std::uint32_t jobId = 0;
    std::u16string printerName, machineName, userName, document, notifyName, datatype,
        printProcessor, parameters, driverName;
    std::optional<DevMode> devMode;
    std::u16string statusText;  // the spooler's own status text, often empty
    std::uint32_t status = 0, priority = 0, position = 0, startTime = 0, untilTime = 0,
                  totalPages = 0, size = 0;
    platform::system::SystemTime submitted;  // UTC
    std::uint32_t time = 0, pagesPrinted = 0;
};

// The level-1 record of a job: the fields of its level-2 record that level 1 also holds.
JobInfo1 jobInfo1Of(const JobInfo2& job);

// PORT_INFO_2.
struct PortInfo2 {
    std::u16string portName, monitorName, description;
    std::uint32_t portType = 0, reserved = 0;
};

// DRIVER_INFO_2.
struct DriverInfo2 {
    std::uint32_t version = 0;
    std::u16string name, environment, driverPath, dataFile, configFile;
};

// An open printer (OpenPrinter ... ClosePrinter).
class PrinterHandle {
  public:
    // Opens a printer by its device name (without regard to case) asking for `access`
    // (0: the default, use). Fails with 1801 for a printer that is not installed, with the
    // described open error, and with 5 when administration is asked of a printer the user may
    // not administer.
    static Result<PrinterHandle> open(std::u16string_view deviceName, std::uint32_t access = 0);

    const std::u16string& deviceName() const { return device_; }
    std::uint32_t access() const { return access_; }

    Result<PrinterInfo2> info2() const;
    Result<PrinterInfo5> info5() const;
    // Writes the fields a level-2 write changes (texts, attributes, priorities, times, device
    // mode) / the attributes of a level-5 write. Needs administration rights.
    std::uint32_t setInfo2(const PrinterInfo2& info) const;
    std::uint32_t setInfo5(const PrinterInfo5& info) const;
    // Pause (1), resume (2) or purge (3). Needs administration rights.
    std::uint32_t control(std::uint32_t command) const;

    // Up to `count` jobs from position `first` (0-based) in queue order.
    Result<std::vector<JobInfo2>> enumJobs(std::uint32_t first, std::uint32_t count) const;
    Result<JobInfo1> job1(std::uint32_t jobId) const;
    // Moves the job to the record's position (1-based); needs administration rights.
    std::uint32_t setJob1(const JobInfo1& info) const;
    // Job command: pause 1, resume 2, cancel 3, restart 4, delete 5.
    std::uint32_t controlJob(std::uint32_t jobId, std::uint32_t command) const;

    Result<DriverInfo2> driver2() const;

  private:
    PrinterHandle(std::u16string device, std::uint32_t access)
        : device_(std::move(device)), access_(access) {}
    std::u16string device_;
    std::uint32_t access_ = 0;
};

// Whether the printers are the machine's real CUPS queues (TESSEL_SPOOLER=cups, or the
// description's "spooler": "cups"; mapped as platform/spooler/cups_map.h says) rather than the
// described ones.
bool realQueues();

// Device names of the installed printers, in order.
std::vector<std::u16string> printerNames();
// EnumPrinters with the default flag, level 2.
Result<PrinterInfo2> defaultPrinterInfo2();

// GetDefaultPrinter: fails with ERROR_FILE_NOT_FOUND (2) when no installed printer is the
// default.
Result<std::u16string> getDefaultPrinter();
// SetDefaultPrinter: fails with 1801 for a printer that is not installed.
std::uint32_t setDefaultPrinter(std::u16string_view deviceName);

// EnumPorts level 2 (the server name is accepted; only the local machine is described).
Result<std::vector<PortInfo2>> enumPorts(std::u16string_view serverName = {});

// One listing of the CUPS queues for the length of a step (an enumeration, the judging of a
// selected printer): while a scope is open on a thread, the spooler's calls on that thread
// read the queues, the default printer, each queue's jobs and PPD from one listing taken when
// first needed, instead of asking the server again for each. A change made through the spooler
// (control, job control, printer record, default) makes the next read ask again. Scopes nest;
// the listing goes when the outermost one closes. No effect on the described machine.
class ListingScope {
  public:
    ListingScope();
    ~ListingScope();
    ListingScope(const ListingScope&) = delete;
    ListingScope& operator=(const ListingScope&) = delete;
};

// While the spooler waits for the CUPS server, the calling thread runs `hook` every few
// milliseconds (a host's event loop turning once). Per thread; empty: the thread just waits.
void setWaitHook(std::function<void()> hook);

// Why the CUPS server could not be used by the thread's last request (it cannot be reached,
// closed the connection, gave no IPP answer, or did not answer within the deadline), naming
// the server; empty when it answered, and always on the described machine.
std::u16string serverFailure();

// A record of the spooler's calls for tests: the hook runs at the start of every call above
// with the call's name ("open", "info2", "enumJobs", ...). Empty function: no hook.
void setCallHook(std::function<void(std::string_view call)> hook);

}  // namespace platform::spooler
