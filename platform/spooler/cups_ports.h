// The numbers of the CUPS queues' numbered ports (USB001, LPT1:, COM1:), kept in the machine
// folder so that a port's name belongs to its device: "cups-ports.json", one object per kind,
// device-uri -> number:
//   {"USB": {"usb://Tessel/Laser?serial=T1": 1}, "LPT": {"parallel:/dev/lp0": 1}, "COM": {}}
// A device-uri keeps its number once given, whether or not a queue uses it now; a new one gets
// the lowest number of its kind that no device-uri holds. The file is written whole (beside,
// then renamed) under the machine folder's writer lock, and only when a number is added; what
// else it holds is kept. A damaged file (not such an object, or empty) is reported on standard
// error, kept aside beside it ("cups-ports.json.damaged-<UTC time>") and written whole again
// from what is known: the numbers this process last read or wrote, then the entries that can
// still be read in the damaged text, so that no port takes another's number.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace platform::spooler::cups {

// The file's name in the machine folder.
constexpr const char* kPortNumbersFile = "cups-ports.json";

// The numbers of these device-uris (device-uri -> number), each numbered device-uri among them
// given a number, kept in the machine folder's file. When the file cannot be read or written,
// the numbers missing from it are given for this listing alone (and the cause goes to
// standard error once); a damaged file is repaired as above.
std::map<std::string, int> portNumbers(const std::vector<std::string>& deviceUris);

}  // namespace platform::spooler::cups
