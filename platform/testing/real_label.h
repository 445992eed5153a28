// Test support: every test program with a case that starts a real component (a private cupsd,
// an Xvfb display) carries the CTest label "real", so CI can check that all those cases ran,
// passed and none of them skipped (ctest -L real). tessel_test(... REAL) gives the label and
// defines TESSEL_REAL_LABEL for the program. The start of a real component
// (TESSEL_REQUIRE_CUPSD, TESSEL_START_XVFB) fails a case of a program without it wherever real
// components are required, so a new program cannot be left out of that check.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace platform::testing {

// Real components are required (a missing one fails instead of skipping) where CI or
// TESSEL_REQUIRE_REAL is set to anything but "", "0" or "false".
inline bool realComponentsRequired() {
    for (const char* name : {"CI", "TESSEL_REQUIRE_REAL"}) {
        const std::string v = std::getenv(name) ? std::getenv(name) : "";
        if (!v.empty() && v != "0" && v != "false") return true;
    }
    return false;
}

// Why the running case may not start a real component (they are required and the case's
// program lacks the label); nullopt when it may.
inline std::optional<std::string> realLabelMissing(bool required) {
#ifdef TESSEL_REAL_LABEL
    (void)required;
    return std::nullopt;
#else
    if (!required) return std::nullopt;
    return std::string(
        "this case starts a real component but its test program lacks the CTest label "
        "\"real\": add REAL to the program's tessel_test(...) in its CMakeLists.txt");
#endif
}

}  // namespace platform::testing
