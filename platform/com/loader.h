// Loading the file of an in-process server, as the runtime does for a class whose registry
// entry names it.
#pragma once

#include <string>

namespace platform::com {

// Opens the library at `path` when code may be loaded from there (platform/system/codefile.h),
// before any of its code runs. On failure returns null with the cause, naming the path, in
// `why` (the cause also goes to standard error, since callers may only pass on a status) and
// `refused` set when the path itself was refused rather than the load failing.
void* openServerLibrary(const std::string& path, std::string& why, bool& refused);

}  // namespace platform::com
