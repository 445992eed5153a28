// Loading the file of an in-process server, as the runtime does for a class whose registry
// entry names it, and as the registration tool does for the file it is given.
#pragma once

#include <string>

namespace platform::com {

// Opens the library at `path` when code may be loaded from there (platform/system/codefile.h),
// before any of its code runs. On failure returns null with the cause, naming the path, in
// `why`, and `refused` set when the path itself was refused rather than the load failing.
void* loadLibraryFile(const std::string& path, std::string& why, bool& refused);

// loadLibraryFile for the runtime: the cause of a failure also goes to standard error, since
// the runtime's callers may only pass on a status.
void* openServerLibrary(const std::string& path, std::string& why, bool& refused);

// Releases a library opened by loadLibraryFile (null: nothing).
void closeLibrary(void* library);

// The address of an exported function of an opened library; null when it has none.
void* libraryEntry(void* library, const char* name);

}  // namespace platform::com
