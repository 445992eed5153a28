// The machine folder: the one place that holds all simulated machine-wide state (registry,
// machine description, system folder, print output). Its location comes from the
// environment variable TESSEL_MACHINE, default ~/.local/share/tessel/machine.
#pragma once

#include <filesystem>

namespace platform::system {

// The machine folder, created on first use.
std::filesystem::path machineFolder();
// The machine's system folder ("<machine>/system"), created on first use.
std::filesystem::path systemFolder();
// The user's application-data folder of the machine ("<machine>/AppData"), created on first
// use: where programs and controls keep their per-user working files.
std::filesystem::path appDataFolder();

}  // namespace platform::system
