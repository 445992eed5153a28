// The machine description reader on any text; what it reads must write out and read back to
// the same JSON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/system/description.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace platform::system;
    std::string json(reinterpret_cast<const char*>(data), size);
    MachineDescription machine;
    try {
        machine = machineFromJson(json);
    } catch (const std::invalid_argument&) {
        return 0;
    }
    std::string written = machineToJson(machine);
    if (machineToJson(machineFromJson(written)) != written) std::abort();
    return 0;
}
