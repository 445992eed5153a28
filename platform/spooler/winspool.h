// The Windows print spooler's numbers under their Windows names: printer access rights, printer
// and job control commands, printer status bits, printer attribute bits, job status bits and
// port type bits. The spooler (both backends), the printer model, the printer selection and the
// privileged spooler settings all read and write these fields, so the bits are named once here.
// The values are fixed by the platform.
#pragma once

#include <cstdint>

namespace platform::spooler {

// Access rights of OpenPrinter.
constexpr std::uint32_t STANDARD_RIGHTS_REQUIRED = 0xF0000;
constexpr std::uint32_t PRINTER_ACCESS_ADMINISTER = 0x4;
constexpr std::uint32_t PRINTER_ACCESS_USE = 0x8;
constexpr std::uint32_t PRINTER_ALL_ACCESS =
    STANDARD_RIGHTS_REQUIRED | PRINTER_ACCESS_ADMINISTER | PRINTER_ACCESS_USE;
static_assert(PRINTER_ALL_ACCESS == 0xF000C);

// Printer control commands (SetPrinter level 0).
constexpr std::uint32_t PRINTER_CONTROL_PAUSE = 1;
constexpr std::uint32_t PRINTER_CONTROL_RESUME = 2;
constexpr std::uint32_t PRINTER_CONTROL_PURGE = 3;

// Job control commands (SetJob level 0).
constexpr std::uint32_t JOB_CONTROL_PAUSE = 1;
constexpr std::uint32_t JOB_CONTROL_RESUME = 2;
constexpr std::uint32_t JOB_CONTROL_CANCEL = 3;
constexpr std::uint32_t JOB_CONTROL_RESTART = 4;
constexpr std::uint32_t JOB_CONTROL_DELETE = 5;

// Printer status bits (PRINTER_INFO_2 Status).
constexpr std::uint32_t PRINTER_STATUS_PAUSED = 0x1;
constexpr std::uint32_t PRINTER_STATUS_ERROR = 0x2;
constexpr std::uint32_t PRINTER_STATUS_PENDING_DELETION = 0x4;
constexpr std::uint32_t PRINTER_STATUS_PAPER_JAM = 0x8;
constexpr std::uint32_t PRINTER_STATUS_PAPER_OUT = 0x10;
constexpr std::uint32_t PRINTER_STATUS_MANUAL_FEED = 0x20;
constexpr std::uint32_t PRINTER_STATUS_PAPER_PROBLEM = 0x40;
constexpr std::uint32_t PRINTER_STATUS_OFFLINE = 0x80;
constexpr std::uint32_t PRINTER_STATUS_IO_ACTIVE = 0x100;
constexpr std::uint32_t PRINTER_STATUS_BUSY = 0x200;
constexpr std::uint32_t PRINTER_STATUS_PRINTING = 0x400;
constexpr std::uint32_t PRINTER_STATUS_OUTPUT_BIN_FULL = 0x800;
constexpr std::uint32_t PRINTER_STATUS_NOT_AVAILABLE = 0x1000;
constexpr std::uint32_t PRINTER_STATUS_WAITING = 0x2000;
constexpr std::uint32_t PRINTER_STATUS_PROCESSING = 0x4000;
constexpr std::uint32_t PRINTER_STATUS_INITIALIZING = 0x8000;
constexpr std::uint32_t PRINTER_STATUS_WARMING_UP = 0x10000;
constexpr std::uint32_t PRINTER_STATUS_TONER_LOW = 0x20000;
constexpr std::uint32_t PRINTER_STATUS_NO_TONER = 0x40000;
constexpr std::uint32_t PRINTER_STATUS_PAGE_PUNT = 0x80000;
constexpr std::uint32_t PRINTER_STATUS_USER_INTERVENTION = 0x100000;
constexpr std::uint32_t PRINTER_STATUS_OUT_OF_MEMORY = 0x200000;
constexpr std::uint32_t PRINTER_STATUS_DOOR_OPEN = 0x400000;
constexpr std::uint32_t PRINTER_STATUS_SERVER_UNKNOWN = 0x800000;
constexpr std::uint32_t PRINTER_STATUS_POWER_SAVE = 0x1000000;

// Printer attribute bits (PRINTER_INFO_2 and PRINTER_INFO_5 Attributes).
constexpr std::uint32_t PRINTER_ATTRIBUTE_QUEUED = 0x1;
constexpr std::uint32_t PRINTER_ATTRIBUTE_DIRECT = 0x2;
constexpr std::uint32_t PRINTER_ATTRIBUTE_DEFAULT = 0x4;
constexpr std::uint32_t PRINTER_ATTRIBUTE_SHARED = 0x8;
constexpr std::uint32_t PRINTER_ATTRIBUTE_NETWORK = 0x10;
constexpr std::uint32_t PRINTER_ATTRIBUTE_HIDDEN = 0x20;
constexpr std::uint32_t PRINTER_ATTRIBUTE_LOCAL = 0x40;
constexpr std::uint32_t PRINTER_ATTRIBUTE_ENABLE_DEVQ = 0x80;
constexpr std::uint32_t PRINTER_ATTRIBUTE_KEEPPRINTEDJOBS = 0x100;
constexpr std::uint32_t PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST = 0x200;
constexpr std::uint32_t PRINTER_ATTRIBUTE_WORK_OFFLINE = 0x400;
constexpr std::uint32_t PRINTER_ATTRIBUTE_ENABLE_BIDI = 0x800;
constexpr std::uint32_t PRINTER_ATTRIBUTE_RAW_ONLY = 0x1000;
constexpr std::uint32_t PRINTER_ATTRIBUTE_PUBLISHED = 0x2000;
constexpr std::uint32_t PRINTER_ATTRIBUTE_FAX = 0x4000;

// Job status bits (JOB_INFO_1 and JOB_INFO_2 Status).
constexpr std::uint32_t JOB_STATUS_PAUSED = 0x1;
constexpr std::uint32_t JOB_STATUS_ERROR = 0x2;
constexpr std::uint32_t JOB_STATUS_DELETING = 0x4;
constexpr std::uint32_t JOB_STATUS_SPOOLING = 0x8;
constexpr std::uint32_t JOB_STATUS_PRINTING = 0x10;
constexpr std::uint32_t JOB_STATUS_OFFLINE = 0x20;
constexpr std::uint32_t JOB_STATUS_PAPEROUT = 0x40;
constexpr std::uint32_t JOB_STATUS_PRINTED = 0x80;
constexpr std::uint32_t JOB_STATUS_DELETED = 0x100;
constexpr std::uint32_t JOB_STATUS_BLOCKED_DEVQ = 0x200;
constexpr std::uint32_t JOB_STATUS_USER_INTERVENTION = 0x400;
constexpr std::uint32_t JOB_STATUS_RESTART = 0x800;
constexpr std::uint32_t JOB_STATUS_COMPLETE = 0x1000;

// Port type bits (PORT_INFO_2 fPortType).
constexpr std::uint32_t PORT_TYPE_WRITE = 0x1;
constexpr std::uint32_t PORT_TYPE_READ = 0x2;
constexpr std::uint32_t PORT_TYPE_REDIRECTED = 0x4;
constexpr std::uint32_t PORT_TYPE_NET_ATTACHED = 0x8;

}  // namespace platform::spooler
