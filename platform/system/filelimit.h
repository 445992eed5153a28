// The size limit on the files a process writes (RLIMIT_FSIZE, `ulimit -f`, `prlimit --fsize`).
// By default a write past it ends the program with SIGXFSZ half-way through the write; every
// program of the system ignores that signal instead, so such a write fails with EFBIG like any
// other failed write, reported, and the writer puts things back as on a full disk.
#pragma once

#include <cstdint>

namespace platform::system {

// Makes a write past the file size limit fail with EFBIG instead of ending the program. Every
// program calls it first thing in main.
void ignoreFileSizeSignal();

// EFBIG when a file of `size` bytes would pass this process's file size limit, else 0: for
// writers that check before they change anything.
int fileSizeLimitError(std::uint64_t size);

}  // namespace platform::system
