// The run-time errors of the library's window-message classes (subclassing and timers): the
// code in the library's own range (code | 0x80040000), the library's name with ".WindowProc"
// as their source.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/error.h"

namespace vistrel {

inline constexpr char16_t kWindowProcErrorSource[] = u"Vistrel.WindowProc";

[[noreturn]] inline void raiseWindowProcError(std::uint32_t code, std::u16string text) {
    platform::com::raise(platform::com::hr(0x80040000u | code), std::move(text),
                         kWindowProcErrorSource);
}

}  // namespace vistrel
