// The spooler over the machine's real CUPS queues (libcups, the server CUPS_SERVER names or the
// client's default): chosen by TESSEL_SPOOLER=cups, or by the machine description's top-level
// "spooler": "cups" unless TESSEL_SPOOLER says otherwise. The mapping of a queue's attributes is
// in cups_map.h; what CUPS cannot know (version blocks of other files, the profile entries of
// other sections, the OS version) still comes from the description.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/spooler/cups_map.h"
#include "platform/spooler/spooler.h"

namespace platform::spooler::cups {

// Whether the spooler's printers are the CUPS queues.
bool chosen();

// A queue as one listing shows it.
struct Queue {
    std::string name, deviceUri, info, location, makeAndModel;
    int state = 3;
    std::vector<std::string> reasons;
    std::uint32_t printerType = 0;
    bool shared = false, isDefault = false;
    std::uint32_t jobs = 0;
    MappedPort port;
};

// The queues in order with their ports numbered; `error` is set (1722) when the server cannot
// be reached.
std::vector<Queue> queues(std::uint32_t* error = nullptr);

// The named queue (letter case ignored), or the error of looking for it (1801 when CUPS has no
// such queue).
Result<Queue> queue(std::u16string_view name);

PrinterInfo2 info2Of(const Queue& q);
Result<std::vector<JobInfo2>> jobs(const Queue& q, std::uint32_t first, std::uint32_t count);
Result<JobInfo1> job1(const Queue& q, std::uint32_t jobId);
Result<DriverInfo2> driver2(const Queue& q);
std::uint32_t control(const std::string& queue, std::uint32_t command);
std::uint32_t controlJob(const std::string& queue, std::uint32_t jobId, std::uint32_t command);
// Writes what CUPS keeps of a printer record: printer-info, printer-location, printer-is-shared
// (and the default attribute makes it the default).
std::uint32_t modify(const std::string& queue, const std::u16string* comment,
                     const std::u16string* location, std::uint32_t attributes);
Result<std::u16string> defaultPrinter();
std::uint32_t setDefaultPrinter(std::u16string_view name);
Result<std::vector<PortInfo2>> ports();

}  // namespace platform::spooler::cups
