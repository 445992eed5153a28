// The spooler over the machine's real CUPS queues (libcups, the server CUPS_SERVER names or the
// client's default): chosen by TESSEL_SPOOLER=cups, or by the machine description's top-level
// "spooler": "cups" unless TESSEL_SPOOLER says otherwise. The mapping of a queue's attributes is
// in cups_map.h; what CUPS cannot know (version blocks of other files, the profile entries of
// other sections, the OS version) still comes from the description.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/spooler/cups_map.h"
#include "platform/spooler/spooler.h"

namespace platform::spooler::cups {

// Whether the spooler's printers are the CUPS queues.
bool chosen();

// How long one request to the scheduler may take in all (connecting, sending, waiting for and
// reading the answer). A request that has not finished by then fails as unanswered.
constexpr int kRequestDeadlineMs = 5000;

// Every request runs on a thread of its own while the calling thread waits; the calling thread
// runs `hook` (when set) every few milliseconds meanwhile, so that a host's event loop keeps
// turning. Per thread; an empty function: the thread just waits.
void setWaitHook(std::function<void()> hook);

// Why the scheduler could not be used by the last request this thread made: not reachable,
// closed the connection, answered no IPP, or did not answer before the deadline, each naming
// the scheduler (host:port or socket). Empty when the last request reached it and it answered.
const std::string& schedulerFailure();

// The number of IPP requests and of connections made so far by this process, for tests.
std::uint64_t requestsSent();
std::uint64_t connectionsMade();

// A listing scope: while one is open on a thread, the queues are listed once (with the default
// printer, each queue's jobs and PPD read once when first asked for) and every call of the
// thread reads that listing; a change made through this backend makes the next read list
// again. Scopes nest; the listing is dropped when the outermost one closes.
void beginListing();
void endListing();

// A queue as one listing shows it.
struct Queue {
    std::string name, deviceUri, info, location, makeAndModel;
    int state = 3;  // printer-state: idle
    std::vector<std::string> reasons;
    std::uint32_t printerType = 0;
    bool shared = false, isDefault = false;
    // printer-is-accepting-jobs: a queue that rejects jobs cannot print now, whatever its state.
    bool accepting = true;
    std::uint32_t jobs = 0;
    MappedPort port;
};

// The queues in order with their ports numbered; `error` is set (1722) when the server cannot
// be reached or does not answer either listing request.
std::vector<Queue> queues(std::uint32_t* error = nullptr);

// The named queue (letter case ignored), or the error of looking for it (1801 when CUPS has no
// such queue).
Result<Queue> queue(std::u16string_view name);

// The printer record of a queue. A queue that accepts no jobs has exactly the status
// PRINTER_STATUS_NOT_AVAILABLE, which the printer selection shows as an error.
PrinterInfo2 info2Of(const Queue& q);
Result<std::vector<JobInfo2>> jobs(const Queue& q, std::uint32_t first, std::uint32_t count);
Result<JobInfo1> job1(const Queue& q, std::uint32_t jobId);
Result<DriverInfo2> driver2(const Queue& q);
// Printer pause, resume, purge / job pause, resume, cancel, restart, delete; any other command is
// refused as an invalid parameter (87) without a request.
std::uint32_t control(const std::string& queue, std::uint32_t command);
std::uint32_t controlJob(const std::string& queue, std::uint32_t jobId, std::uint32_t command);
// Writes what CUPS keeps of a printer record: printer-info, printer-location, printer-is-shared
// (and the default attribute makes it the default).
std::uint32_t modify(const std::string& queue, const std::u16string* comment,
                     const std::u16string* location, std::uint32_t attributes);
Result<std::u16string> defaultPrinter();
std::uint32_t setDefaultPrinter(std::u16string_view name);
Result<std::vector<PortInfo2>> ports();

// A queue's paper as the scheduler gives it (media-col-default, else media-default): the sheet
// and its margins in hundredths of a millimetre, and the media keyword to ask a job for. A
// queue that names no paper has A4 without margins and no keyword.
struct PageLayout {
    int width = 21000, height = 29700;
    int left = 0, top = 0, right = 0, bottom = 0;
    std::string media;
};
// One request for the named queue (read once within a listing scope); fails with 1722 when the
// scheduler gives no answer, 1801 when it has no such queue.
Result<PageLayout> pageLayout(const std::string& queue);

// A document handed to a queue as one job, or why not.
struct Submission {
    std::uint32_t jobId = 0;  // the id CUPS gave the job; 0 when it took none
    std::string error;        // empty when every step succeeded
};
// Hands a PDF document to the queue: Create-Job, then Send-Document as the job's last document;
// the answer of each step is checked, and a job created but not completed is cancelled. Only a
// submission with a job id and an empty error was taken by the spooler.
Submission submit(const std::string& queue, const std::string& title, const std::string& pdf,
                  const std::vector<std::pair<std::string, std::string>>& options = {});

}  // namespace platform::spooler::cups
