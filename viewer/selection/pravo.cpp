#include "viewer/selection/pravo.h"

#include "platform/text/codepage.h"
#include "platform/text/strings.h"
#include "viewer/log/log.h"
#include "viewer/state/module_state.h"

namespace vistrel {

namespace txt = platform::text;

namespace {

std::u16string number(std::size_t n) {
    return txt::fromUtf8(std::to_string(n));
}

std::u16string lastIndex(const std::vector<std::u16string>& list) {
    return txt::fromUtf8(std::to_string(std::int64_t(list.size()) - 1));
}

bool check(const std::vector<std::u16string>& table, std::u16string_view member,
           std::u16string_view label, std::u16string_view name) {
    WriteLog(u"PravoPrinter>>  " + std::u16string(member) + u" - " + std::u16string(name), 2);
    if (name.empty()) return false;
    for (const auto& entry : table)
        if (containsEitherWay(name, entry)) {
            WriteLog(std::u16string(label) + entry + u" True", 2);
            return true;
        }
    return false;
}

}  // namespace

bool containsEitherWay(std::u16string_view name, std::u16string_view entry) {
    if (entry.empty()) return false;
    const std::u16string n = txt::LCase(name), e = txt::LCase(entry);
    return n.size() > e.size() ? n.find(e) != std::u16string::npos
                               : e.find(n) != std::u16string::npos;
}

PravoPrinter::PravoPrinter()
    : PravoPrinter(printSettings(), moduleState().lists.VirtualPrinterList) {}

PravoPrinter::PravoPrinter(const PrintSettings& settings,
                           const std::vector<VirtualPrinterRecord>& virtualPrinters) {
    virtualDrivers_ = {u"SecuInfra Secumark Print", u"Microsoft XPS Document Writer"};
    ports_ = {u"kpms_port", u"NUL", u"Intercard Port", u"OKILPR00", u"EpsonNet Print Port"};
    blockPorts_ = {u"hancom pdf port",
                   u"documents\\*.pdf",
                   u"desktop\\*.pdf",
                   u"xpsport:",
                   u"file:",
                   u"fpr1:",
                   u"fpr2:",
                   u"fpr3:",
                   u"fpr4:",
                   u"fpr5:",
                   u"fpr6:",
                   u"fpr7:",
                   u"nul:",
                   u"send to microsoft onenote"};
    monitors_ = {u"Network printer",        u"zERO oNE nETWORK pORT", u"SmartNetMonitor",
                 u"Intercard Port Monitor", u"Canon BJNP Port",       u"EpsonNet Print Port",
                 u"Canon BJNP Port",        u"WSD 포트 모니터",       u"WSD Port Monitor"};
    drivers_ = {u"Canon PC-D300/FAX-L400/ICD300",
                u"JPA Print Driver",
                u"canon imageCLASS",
                u"Canon FAX-L360",
                u"Chungho CHP-428G",
                u"Canon MX850 series Printer",
                u"Laser Multifunction",
                u"EPSON TX600FW Series",
                u"EPSON AL-C4200 Advanced",
                u"Brother FAX-2820 USB Printer",
                u"OKI C5400n V2(PCL)",
                u"imageCLASS MF8050Cn",
                u"Samsung Universal Print Driver"};

    for (const auto& d : settings.ExceptDriverList) drivers_.push_back(d);

    // Admitted entries of the virtual-printer list: a model marked "a,", with every "a,"
    // taken out of it; "a,any" admits no driver and "any" no port.
    for (std::size_t i = 0; i < virtualPrinters.size(); ++i) {
        const auto& r = virtualPrinters[i];
        if (!txt::LCase(r.model).starts_with(u"a,")) continue;
        if (!txt::equalsNoCase(r.model, u"a,any")) {
            drivers_.push_back(txt::Replace(r.model, u"a,", u"", true));
            WriteLog(u"DriverNameArr Add, " + number(drivers_.size() - 1) + u"," + drivers_.back(),
                     3);
        }
        if (!txt::equalsNoCase(r.port, u"any")) {
            ports_.push_back(r.port);
            WriteLog(u"PortName Add, " + number(ports_.size() - 1) + u"," + ports_.back(), 3);
        }
    }

    for (const auto& p : settings.ExceptPortList) {
        ports_.push_back(p);
        WriteLog(u"PortName(사용자정의) Add, " + number(ports_.size() - 1) + u"," + p, 3);
    }
    WriteLog(u"PravoPrinter>> setDriverName.........[Ok]" + lastIndex(drivers_), 2);
}

bool PravoPrinter::CheckBlockPortName(std::u16string_view portName) const {
    return check(blockPorts_, u"CheckBlockPortName", u"PravoPrinter>> PortName: ", portName);
}

bool PravoPrinter::CheckVirtualDriver(std::u16string_view driverName) const {
    return check(virtualDrivers_, u"CheckVirtualDriver", u"PravoPrinter>> PrinterName: ",
                 driverName);
}

bool PravoPrinter::CheckMonitor(std::u16string_view monitorName) const {
    return check(monitors_, u"CheckMonitor", u"PravoPrinter>> Monitorname: ", monitorName);
}

bool PravoPrinter::PrinterAvalible(std::u16string_view driverName,
                                   std::u16string_view portName) const {
    WriteLog(u"PravoPrinter>>  PrinterAvalible - Printer=" + std::u16string(driverName) +
                 u", Port=" + std::u16string(portName),
             2);
    if (driverName.empty()) return false;

    bool portOK = false;
    if (!portName.empty()) {
        WriteLog(u"PravoPrinter>>  PortNameArr - Count=" + lastIndex(ports_), 2);
        for (const auto& entry : ports_) {
            if (txt::equalsNoCase(entry, portName)) {
                WriteLog(u"PravoPrinter>> Port=" + entry, 2);
                portOK = true;
                break;
            }
            if (entry.starts_with(u"^") &&
                txt::LCase(portName).starts_with(txt::LCase(entry.substr(1)))) {
                WriteLog(u"PravoPrinter>> Port(started)=" + entry, 2);
                portOK = true;
                break;
            }
        }
    }

    // Two-way containment admits broadly: a short driver name lying within an admitted entry
    // is admitted too.
    bool driverOK = false;
    WriteLog(u"PravoPrinter>>  DriverNameArr - Count=" + lastIndex(drivers_), 2);
    const std::u16string driver = txt::LCase(driverName);
    for (const auto& entry : drivers_) {
        if (entry.empty()) continue;
        const std::u16string e = txt::LCase(entry);
        if (driver.size() <= e.size() && e.find(driver) != std::u16string::npos) {
            WriteLog(u"PravoPrinter>> (2)DriverName=" + entry, 8);
            driverOK = true;
            break;
        }
        if (driver.size() > e.size() && driver.find(e) != std::u16string::npos) {
            WriteLog(u"PravoPrinter>> (1)DriverName=" + entry, 8);
            driverOK = true;
            break;
        }
    }

    const bool result = portOK || driverOK;
    WriteLog(u"PravoPrinter>>  PrinterAvalible ................[Ok] port=" + boolText(portOK) +
                 u", pp=" + boolText(driverOK) + u"[PrinterAvalible]" + boolText(result),
             2);
    return result;
}

}  // namespace vistrel
