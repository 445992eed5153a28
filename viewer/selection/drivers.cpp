#include "viewer/selection/drivers.h"

#include <exception>

#include "platform/spooler/spooler.h"
#include "platform/text/strings.h"
#include "viewer/log/log.h"
#include "viewer/probes/probes.h"
#include "viewer/state/module_state.h"

namespace vistrel {

namespace txt = platform::text;

namespace {

std::u16string cutAtNul(const std::u16string& s) {
    return s.substr(0, s.find(u'\0'));
}

// The part of a path after its last separator ("\" or "/").
std::u16string fileNamePart(std::u16string_view path) {
    const auto at = path.find_last_of(u"\\/");
    return std::u16string(at == std::u16string_view::npos ? path : path.substr(at + 1));
}

// The folder part of a path with its closing separator; "" without one.
std::u16string folderPart(std::u16string_view path) {
    const auto at = path.find_last_of(u"\\/");
    return at == std::u16string_view::npos ? std::u16string()
                                           : std::u16string(path.substr(0, at + 1));
}

bool contains(std::u16string_view text, std::u16string_view find) {
    return txt::InStr(text, find, true) > 0;
}

constexpr const char16_t* kExemptFiles[] = {
    u"cx21s.dll",  u"ssp4m.dll",  u"sst1c.dll",  u"ssp2m.dll", u"ssp1m.dll",
    u"sse1m.dll",  u"ml405P.dll", u"ml347P.dll", u"cl61c.dll", u"sss2m.dll",
    u"scx622.dll", u"sso3m.dll",  u"ml2570.dll"};

constexpr const char16_t* kCapturePortWords[] = {u"live meeting", u"xpsport", u"printport", u"*",
                                                 u"snagit",       u"flash",   u"imaging",   u"fpr",
                                                 u"pdf",          u"fax",     u"file"};

constexpr const char16_t* kOrdinaryPortMarks[] = {u"usb", u"lpt", u"dot", u"ip_", u"SLPS"};

}  // namespace

DriverInfo GetDriverInfo(std::u16string_view printerName) {
    auto handle = platform::spooler::PrinterHandle::open(printerName);
    if (!handle) return DriverInfo{};
    auto driver = handle->driver2();
    if (!driver) return DriverInfo{};
    DriverInfo info;
    info.cVersion = driver->version;
    info.pName = cutAtNul(driver->name);
    info.pEnvironment = cutAtNul(driver->environment);
    info.pDriverPath = cutAtNul(driver->driverPath);
    info.pDataFile = cutAtNul(driver->dataFile);
    info.pConfigFile = cutAtNul(driver->configFile);
    return info;
}

bool IsVirtualPrinterDriver(std::u16string_view printerName, std::u16string& company,
                            std::u16string& product) {
    try {
        const DriverInfo info = GetDriverInfo(printerName);
        if (!txt::equalsNoCase(fileNamePart(info.pDataFile), u"nedip.gpd")) return false;
        const FileVersionStrings v =
            GetFileVersionText(folderPart(info.pDataFile) + u"NEDIPDRV.DLL");
        company = v.CompanyName;
        product = v.ProductName;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool IsExemptDriverFile(std::u16string_view fileName) {
    for (const char16_t* name : kExemptFiles)
        if (txt::equalsNoCase(fileName, name)) return true;
    return false;
}

bool IsPostscriptPrinter(std::u16string_view printerName, std::u16string& company,
                         std::u16string& description) {
    try {
        const DriverInfo info = GetDriverInfo(printerName);
        const std::u16string dll = fileNamePart(info.pDriverPath);
        if (IsExemptDriverFile(dll) || info.pDriverPath.empty()) return false;
        const FileVersionStrings v = GetFileVersionText(info.pDriverPath);
        company = v.CompanyName;
        description = v.FileDescription;
        if (!contains(v.FileDescription, u"postscript") &&
            !contains(v.FileDescription, u"ps printer"))
            return false;
        // The system's own PostScript core renamed is not a PostScript driver of its own.
        return txt::equalsNoCase(v.InternalName, dll) ||
               !txt::equalsNoCase(v.InternalName, u"pscript.dll") ||
               !txt::equalsNoCase(v.ProductVersion, u"4.00");
    } catch (const std::exception&) {
        return false;
    }
}

bool IsFilePrinter(std::u16string_view driverName, std::u16string_view portName,
                   const std::vector<VirtualPrinterRecord>& virtualPrinters, std::int16_t count) {
    WriteLog(
        u"isFile DriverName=" + std::u16string(driverName) + u",Port=" + std::u16string(portName),
        4);
    if (driverName.empty()) {
        WriteLog(u"inf.DriverName is Null ==> 파일 프린터로 판단", 4);
        return true;
    }
    try {
        if (txt::equalsNoCase(driverName, u"SecuInfra Secumark Print")) return true;
        for (std::int16_t i = 0; i < count && std::size_t(i) < virtualPrinters.size(); ++i) {
            const auto& r = virtualPrinters[std::size_t(i)];
            // An empty field of a record names nothing.
            const bool portHit = !r.port.empty() && txt::equalsNoCase(r.port, portName);
            const bool modelHit = !r.model.empty() && (txt::equalsNoCase(r.model, driverName) ||
                                                       contains(driverName, r.model));
            if (portHit || modelHit) {
                WriteLog(u"vpList 존재, Model=" + r.model + u",port=" + r.port, 4);
                return true;
            }
        }
        for (const char16_t* word : kCapturePortWords)
            if (contains(portName, word)) {
                WriteLog(u"Port 존재, port=" + std::u16string(portName), 4);
                return true;
            }
        bool ordinary = portName.starts_with(u"\\\\");
        for (const char16_t* mark : kOrdinaryPortMarks)
            ordinary = ordinary || contains(portName, mark);
        if (!ordinary) {
            WriteLog(u"기본 port가 아닌경우, port=" + std::u16string(portName), 4);
            return true;
        }
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

bool IsFilePrinter(std::u16string_view driverName, std::u16string_view portName) {
    const auto& lists = moduleState().lists;
    return IsFilePrinter(driverName, portName, lists.VirtualPrinterList, lists.VirtualPrinterCount);
}

}  // namespace vistrel
