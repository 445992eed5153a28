// The described machine: what the print spooler, the profile entries and the system of a
// Windows kiosk would show, kept in "machine.json" in the machine folder.
//
// Format (every key optional; texts UTF-8; numbers decimal or "0x..." texts):
//   {
//     "os": {"major": 10, "minor": 0, "build": 19045, "platformId": 2, "servicePack": ""},
//     "spooler": "cups",                    // the printers are the machine's real CUPS queues
//                                           // (platform/spooler/cups_map.h), not those below;
//                                           // TESSEL_SPOOLER=cups or =described overrides it
//     "defaultPrinter": "Tessel Printer",
//     "printers": [ {                       // in the order the spooler lists them
//         "device": "Tessel Printer",       // device name (the key of every spooler call)
//         "printer": "...", "server": "\\\\srv", "share": "...",   // printer name defaults
//         "port": "USB001", "driver": "Tessel Laser", "comment": "", "location": "",
//         "separatorPage": "", "printProcessor": "winprint", "datatype": "RAW",
//         "parameters": "", "attributes": "0x240", "priority": 1, "defaultPriority": 0,
//         "startTime": 0, "untilTime": 0, "status": 0, "averagePPM": 0,
//         "devMode": {"orientation": 1, "paperSize": 9, ...} or "<hex bytes>" or null,
//         "dpi": 600 or [600, 600],
//         "canAdminister": true,            // may the current user open it to administer
//         "openError": 0, "getError": 0,    // injected failures (Windows error numbers)
//         "output": "print",                // folder (in the machine folder) of PDF output
//         "cupsQueue": "",                  // a real CUPS queue that receives the jobs
//         "jobs": [ {"id": 26, "document": "...", "user": "...", "machine": "...",
//                    "notify": "", "datatype": "RAW", "printProcessor": "winprint",
//                    "parameters": "", "driver": "", "statusText": "", "status": 0,
//                    "priority": 1, "startTime": 0, "untilTime": 0, "totalPages": 1,
//                    "size": 1000, "submitted": "2026-01-31T23:30:00.000Z", "time": 0,
//                    "pagesPrinted": 0, "devMode": ...} ] } ],
//     "ports": [ {"name": "USB001", "monitor": "USB Monitor", "description": "...",
//                 "type": 3} ],
//     "enumPortsError": 0,
//     "drivers": [ {"name": "Tessel Laser", "version": 3, "environment": "Windows NT x86",
//                   "driverPath": "C:\\...\\TSLASER.DLL", "dataFile": "...",
//                   "configFile": "..."} ],
//     "versionBlocks": { "C:\\...\\TSLASER.DLL": {"translations": [[1042, 1200]],
//                          "strings": {"CompanyName": "...", ...}},
//                        "C:\\...\\TSLASER.INI": null },          // null: no version block
//     "netUse": [ {"status": "OK", "local": "LPT1:", "remote": "\\\\srv\\q",
//                  "network": "Microsoft Windows Network"} ],
//     "profile": {"Section": {"Key": "Value"}}   // further profile entries written at run time
//   }
//
// Without machine.json the machine is the default one: a single admitted printer, "Tessel
// Printer" on the local port USB001 with an ordinary driver, writing PDF files into the
// folder "print" of the machine folder.
//
// Reads take no lock; changes go through updateMachine, which holds the machine folder's writer
// lock, re-reads, applies the change and renames a complete new file into place, so separate
// processes see each other's changes. What a change leaves alone keeps its stored form: keys
// this module does not know (at any level), values of a shape it does not read, numbers
// written as texts. Numbers out of a field's range are refused, never wrapped. The file holds
// at most 16 MiB and nests arrays and objects at most 64 deep.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::system {

// A date and time as the spooler stores it (UTC).
struct SystemTime {
    std::uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
    std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
    bool operator==(const SystemTime&) const = default;
};

struct DescribedJob {
    std::uint32_t id = 0;
    std::u16string document, userName, machineName, notifyName,
        datatype = u"RAW", printProcessor = u"winprint", parameters, driverName, statusText;
    std::uint32_t status = 0, priority = 1, startTime = 0, untilTime = 0, totalPages = 0, size = 0,
                  time = 0, pagesPrinted = 0;
    SystemTime submitted;
    std::optional<std::vector<std::uint8_t>> devMode;
};

struct DescribedPrinter {
    std::u16string deviceName;
    std::u16string printerName;  // empty: the device name
    std::u16string serverName, shareName, portName, driverName, comment, location, separatorPage,
        printProcessor = u"winprint", datatype = u"RAW", parameters;
    std::uint32_t attributes = 0x40, priority = 1, defaultPriority = 0, startTime = 0,
                  untilTime = 0, status = 0, averagePpm = 0;
    std::optional<std::vector<std::uint8_t>> devMode;
    std::uint32_t dpiX = 600, dpiY = 600;
    bool canAdminister = true;
    std::uint32_t openError = 0;  // OpenPrinter fails with this error
    std::uint32_t getError = 0;   // reading the printer record fails with this error
    std::string output;           // folder of the PDF output, relative to the machine folder
    std::string cupsQueue;        // a real print queue that receives the jobs instead
    std::vector<DescribedJob> jobs;

    std::u16string effectivePrinterName() const {
        return printerName.empty() ? deviceName : printerName;
    }
};

struct DescribedPort {
    std::u16string name, monitor, description;
    std::uint32_t type = 1;  // 1 write, 2 read, 4 redirected, 8 network attached
};

struct DescribedDriver {
    std::u16string name;
    std::uint32_t version = 3;
    std::u16string environment = u"Windows NT x86", driverPath, dataFile, configFile;
};

struct VersionBlock {
    struct Translation {
        std::uint16_t language = 0, codePage = 0;
    };
    std::vector<Translation> translations;
    // Strings of the block, under the first translation.
    std::map<std::u16string, std::u16string> strings;
};

struct NetworkUse {
    std::u16string status = u"OK", local, remote, network = u"Microsoft Windows Network";
};

struct MachineDescription {
    std::u16string spooler;  // "cups": the spooler shows the real CUPS queues, not "printers"
    std::u16string defaultPrinter;
    std::vector<DescribedPrinter> printers;
    std::vector<DescribedPort> ports;
    std::uint32_t enumPortsError = 0;
    std::vector<DescribedDriver> drivers;
    // File path (as the spooler names it) -> version block, or nullopt for a file without one.
    std::map<std::u16string, std::optional<VersionBlock>> versionBlocks;
    std::vector<NetworkUse> netUse;
    std::map<std::u16string, std::map<std::u16string, std::u16string>> profile;

    DescribedPrinter* findPrinter(std::u16string_view deviceName);  // without regard to case
    const DescribedPrinter* findPrinter(std::u16string_view deviceName) const;
    const DescribedDriver* findDriver(std::u16string_view name) const;
};

// The machine without a description file.
MachineDescription defaultMachine();

// The current description (re-read when the file changed). A damaged file reads as a machine
// without printers, ports or drivers (and a warning on standard error).
MachineDescription loadMachine();

// Applies a change under the machine folder's writer lock and writes the result. False when the
// file is damaged or cannot be written (nothing changes then; the cause goes to standard
// error).
bool updateMachine(const std::function<void(MachineDescription&)>& change);

// Replaces the description with `machine` (the "os" entry and unknown keys are kept).
bool writeMachine(const MachineDescription& machine);

// Writes a description given as JSON text (for tests and tools), after checking that it reads;
// throws std::invalid_argument when it does not.
bool describeMachine(std::string_view json);

// JSON form of a description and back; used by the file and by tests that write snippets.
std::string machineToJson(const MachineDescription& machine);
// Throws std::invalid_argument on a malformed description.
MachineDescription machineFromJson(const std::string& json);

// Named device-mode fields, laid out into the 8-bit device-mode record of 124 bytes:
// device name (32 bytes) @0, specVersion @32, driverVersion @34, size @36, driverExtra @38,
// fields @40, orientation @44, paperSize @46, paperLength @48, paperWidth @50, scale @52,
// copies @54, defaultSource @56, printQuality @58, color @60, duplex @62, yResolution @64,
// ttOption @66, collate @68, form name (32 bytes) @70, logPixels @102, bitsPerPel @104,
// pelsWidth @108, pelsHeight @112, nup @116, displayFrequency @120.
struct DevModeFields {
    std::u16string deviceName, formName;
    std::uint16_t specVersion = 0x0401, driverVersion = 0, size = 124, driverExtra = 0;
    std::optional<std::uint32_t> fields;  // default: the bits of the fields set below
    std::optional<std::int16_t> orientation, paperSize, paperLength, paperWidth, scale, copies,
        defaultSource, printQuality, color, duplex, yResolution, ttOption, collate;
    std::uint16_t logPixels = 0;
    std::uint32_t bitsPerPel = 0, pelsWidth = 0, pelsHeight = 0, nup = 0, displayFrequency = 0;
};
constexpr std::size_t kDevModeSize = 124;
std::vector<std::uint8_t> devModeRecord(const DevModeFields& fields);

// The submission time of a job as the spooler keeps it, from a UTC time_t.
SystemTime systemTimeFromUtc(std::int64_t secondsSinceEpoch, std::uint16_t milliseconds = 0);

}  // namespace platform::system
