// Failures inside the library are the system's one error type, platform::text::Error: the
// runtime's error number and its description. Members catch every failure at their boundary
// and report it the way their class does (an error text, an empty result).
#pragma once

#include <string>

#include "platform/text/common.h"

namespace ciphra {

// The runtime's numbers of the failures the library raises itself.
inline constexpr int kErrInvalidCall = 5;
inline constexpr int kErrOverflow = 6;
inline constexpr int kErrOutOfMemory = 7;
inline constexpr int kErrSubscript = 9;
inline constexpr int kErrFileAccess = 75;
inline constexpr int kErrObjectNotSet = 91;

// Throws the error with its number and description.
[[noreturn]] void fail(int number, std::u16string description);

// The description of the exception being handled, as the runtime's error object gives it
// ("Subscript out of range", "Overflow", a component's own description, ...).
std::u16string currentDescription();

}  // namespace ciphra
