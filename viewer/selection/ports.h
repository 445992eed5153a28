// Port probes: the spooler's port list kept in the module's port table, a port's record, the
// machine's system folder, and whether a port is redirected to a network share (the "net use"
// listing of the machine).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/state/selection_lists.h"

namespace vistrel {

// The port-type bits spelled out: "Write" for 1, then " Read", " Redirected", " Network" for
// 2, 4 and 8, in that order (a read-only port gives " Read").
std::u16string PortTypeText(std::uint32_t bits);

// Reads the spooler's ports into this thread's PortTable and PortCount. The server name is
// accepted for the local machine only. When the spooler fails or lists no port the table keeps
// what it held.
void GetAvailableprts(std::u16string& serverName);

// The entry of the table (of this thread's table) whose port name equals `portName` without
// regard to case; the empty record when none does.
PortRecord FindPort(const std::vector<PortRecord>& table, std::int32_t count,
                    std::u16string_view portName);
PortRecord FindPort(std::u16string_view portName);

// The machine's system folder, ending with "/".
std::u16string GetSystemFolder();

// Runs a command line (a program and its arguments, never a shell line) and answers what it
// wrote, or nullopt when it could not run.
using CommandRunner = std::function<std::optional<std::u16string>(std::u16string_view line)>;
// The command runner of the control library (ClassDosOutput with a time-out).
CommandRunner commandRunner();

// "Redirected" when the network-use listing names the port, "" otherwise. The port name loses
// its surrounding blanks in place. The listing comes from the program "net.exe" (else
// "net1.exe") of the system folder, run as "<program> use" with no shell; the lines naming the
// port (without its colons, case ignored) are picked here. No program: "".
std::u16string GetRealPort(std::u16string& portName, const CommandRunner& run);
std::u16string GetRealPort(std::u16string& portName);

}  // namespace vistrel
