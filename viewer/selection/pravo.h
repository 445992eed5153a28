// The admission tables of the printer policy: port monitors of real TCP/IP printers, virtual
// drivers, blocked ports, and the drivers and ports admitted whatever the other tests say.
// Built once when an instance is created, from fixed entries, the exception lists of the
// settings and the admitted entries of the virtual-printer list; never changed afterwards.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "viewer/state/print_settings.h"
#include "viewer/state/selection_lists.h"

namespace vistrel {

class PravoPrinter {
  public:
    // From this thread's settings and virtual-printer list.
    PravoPrinter();
    PravoPrinter(const PrintSettings& settings,
                 const std::vector<VirtualPrinterRecord>& virtualPrinters);

    // Name tests against one table: a name matches an entry that is not empty when, case
    // ignored, the shorter of the two lies within the longer. An empty name matches nothing.
    bool CheckBlockPortName(std::u16string_view portName) const;
    bool CheckVirtualDriver(std::u16string_view driverName) const;
    bool CheckMonitor(std::u16string_view monitorName) const;
    // Admitted when the port equals an admitted port (or begins with the rest of a "^" entry),
    // or the driver name and an admitted driver lie one within the other; never without a
    // driver name.
    bool PrinterAvalible(std::u16string_view driverName, std::u16string_view portName) const;

    const std::vector<std::u16string>& VirtualDriverList() const { return virtualDrivers_; }
    const std::vector<std::u16string>& DriverNameArr() const { return drivers_; }
    const std::vector<std::u16string>& PortNameArr() const { return ports_; }
    const std::vector<std::u16string>& BlockPortList() const { return blockPorts_; }
    const std::vector<std::u16string>& MonitorList() const { return monitors_; }

  private:
    std::vector<std::u16string> virtualDrivers_, drivers_, ports_, blockPorts_, monitors_;
};

// One lies within the other, case ignored (the entry must not be empty).
bool containsEitherWay(std::u16string_view name, std::u16string_view entry);

}  // namespace vistrel
