// Test support for the print-selection probes: a described machine in a temporary machine
// folder, with the machine's "net.exe" and the deployment's virtual-printer list.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/system/description.h"
#include "platform/system/machine.h"
#include "platform/testing/temp_machine.h"
#include "viewer/log/log.h"
#include "viewer/selection/policy.h"
#include "viewer/selection/vplist.h"
#include "viewer/state/module_state.h"

namespace selection_test {

class DescribedMachine {
  public:
    // `json` is the machine description; the module state starts afresh.
    explicit DescribedMachine(const std::string& json = "{}") {
        vistrel::resetModuleState();
        vistrel::setLogEnabled(false);
        if (!platform::system::describeMachine(json)) std::abort();
    }
    ~DescribedMachine() { vistrel::resetModuleState(); }

    std::filesystem::path systemFolder() const { return platform::system::systemFolder(); }

    // The network-use command of the described machine, where the port probe looks for it.
    void installNetCommand(const char* name = "net.exe") const {
        std::filesystem::create_symlink(TESSEL_NET, systemFolder() / name);
    }

    bool writeList(const std::vector<vistrel::VirtualPrinterEntry>& entries) const {
        std::string error;
        return vistrel::writeVirtualPrinterFile(systemFolder() / "vplist.exml", entries, error);
    }

    const std::filesystem::path& path() const { return machine_.path(); }

  private:
    platform::testing::TempMachine machine_;
};

// What the admissibility policy says of a printer.
struct Verdict {
    bool admitted = false;
    vistrel::AdmissionRecord admission;
    vistrel::PrintableFindings found;
};

// Runs the policy with this thread's settings and lists on the machine's own probes.
inline Verdict judgeOnMachine(const std::u16string& device) {
    vistrel::PravoPrinter tables;
    vistrel::PrintablePolicy policy(vistrel::printSettings(), tables,
                                    vistrel::AdmissionProbes::machine());
    printers::CPrinterInfo info;
    info.setDeviceName(device);
    Verdict v;
    v.admitted = policy.GetPrintable(info, v.admission, device, v.found);
    return v;
}

}  // namespace selection_test
