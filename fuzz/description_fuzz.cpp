// The machine description reader on any text; what it reads must write out and read back to
// the same JSON.
#include <cstddef>
#include <cstdint>
#include <cstdio>
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
    std::string again = machineToJson(machineFromJson(written));
    if (again != written) {
        std::fprintf(stderr, "written:\n%s\nread back and written:\n%s\n", written.c_str(),
                     again.c_str());
        std::abort();
    }
    return 0;
}
