#include "viewer/selection/enumeration.h"

#include <cmath>
#include <exception>

#include "platform/spooler/spooler.h"
#include "platform/system/description.h"
#include "platform/text/codepage.h"
#include "platform/text/common.h"
#include "platform/text/numbers.h"
#include "platform/text/strings.h"
#include "strings/strings.h"
#include "viewer/state/module_state.h"

namespace vistrel {

namespace txt = platform::text;

bool GetAllPrinters(std::u16string& message) {
    auto& names = moduleState().lists.PrinterNameList;
    names.clear();
    try {
        for (const auto& device : platform::spooler::printerNames())
            if (!device.empty()) names.push_back(device);
        if (!names.empty()) {
            message.clear();
            return true;
        }
        message = loadString(3062);
        return false;
    } catch (const std::exception& e) {
        names.clear();
        std::u16string cause;
        if (const auto* t = dynamic_cast<const txt::Error*>(&e))
            cause = t->description();
        else
            cause = txt::fromUtf8(e.what());
        try {
            message = loadString(3063) + u" " + cause;
        } catch (const std::exception&) {
            message = cause;
        }
        return false;
    }
}

std::int16_t GetPrinterDpi(std::u16string_view deviceName) {
    try {
        const auto machine = platform::system::loadMachine();
        const auto* printer = machine.findPrinter(deviceName);
        if (!printer || printer->dpiX == 0) return 0;
        // The runtime keeps a pixel's size in twips as a single-precision number.
        const float twipsPerPixel = 1440.0f / float(printer->dpiX);
        return txt::CInt(double(1440.0f / twipsPerPixel));
    } catch (const std::exception&) {
        return 0;
    }
}

bool IsFaxPrinter(std::u16string_view driverName, std::u16string_view portName) {
    const std::u16string driver = txt::LCase(driverName);
    const bool faxDriver =
        driver.starts_with(u"black ice tiff driver") || driver.starts_with(u"gms fax driver");
    const bool faxPort =
        txt::equalsNoCase(portName, u"IcePortMRTS:") || txt::equalsNoCase(portName, u"IcePortMR:");
    return faxDriver && faxPort && moduleState().lists.FaxMode;
}

}  // namespace vistrel
