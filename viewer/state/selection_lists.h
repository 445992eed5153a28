// What the print-selection probes gather for the admissibility checks: one set per thread,
// filled before the printer selection dialog opens and read by it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

// One port of the spooler's port list.
struct PortRecord {
    std::u16string pPortName;     // as the spooler reports it
    std::u16string pMonitorName;  // the port monitor
    std::u16string pDescription;
    std::uint32_t fPortType = 0;  // 1 write, 2 read, 4 redirected, 8 network attached
    std::u16string PortTypeText;  // the bits spelled out: "Write", " Read", " Redirected", ...
    std::uint32_t Reserved = 0;
    bool operator==(const PortRecord&) const = default;
};

// A known virtual printer of the deployment's list (both texts in lower case). A model that
// begins with "a," marks an admitted entry; "a,any" and "any" admit no driver / no port.
struct VirtualPrinterRecord {
    std::u16string model;
    std::u16string port;
    bool operator==(const VirtualPrinterRecord&) const = default;
};

// A program entry of the deployment's list (a virtual-printer or remote-control program).
struct ProgramRecord {
    std::u16string kind;
    std::u16string name;
    bool operator==(const ProgramRecord&) const = default;
};

// The dialog's admission record: the policy writes the kind of printer it found.
//   0 file, local virtual or blocked port; 1 network or shared virtual; 2 TCP/IP; 3 local;
//   4 redirected port; 5 shared printer the user may not administer.
struct AdmissionRecord {
    std::u16string AdmissionPrinterName;
    std::int32_t PrinterKind = 0;
};

struct SelectionLists {
    // The spooler's ports, read once per issue; PortCount entries are valid.
    std::vector<PortRecord> PortTable;
    std::int32_t PortCount = 0;

    // The deployment's virtual printers: entry i holds record i + 1 of the list file.
    std::vector<VirtualPrinterRecord> VirtualPrinterList;
    std::int16_t VirtualPrinterCount = 0;
    // The list file's program entries, kept apart from the printers.
    std::vector<ProgramRecord> ProgramList;

    // Device names of the installed printers, in the order the system lists them.
    std::vector<std::u16string> PrinterNameList;

    // The admission record of the printer selection.
    AdmissionRecord Admission;

    // Switches of the fax test and the cursor confinement; off unless a host turns them on.
    bool FaxMode = false;
    bool CursorLock = false;
};

}  // namespace vistrel
