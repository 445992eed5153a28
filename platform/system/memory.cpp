#include "platform/system/memory.h"

#include <malloc.h>

namespace platform::system {

std::size_t freeHeapBytes() {
#if defined(__GLIBC__)
    return mallinfo2().fordblks;
#else
    return 0;
#endif
}

void keepFreedMemory(std::size_t largest, std::size_t held) {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(largest));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(held));
    // One heap for every thread: a thread's own heap keeps its free end however long the
    // program idles (only the main heap's goes back on request), so large blocks freed by
    // worker threads would stay with the program for good.
    mallopt(M_ARENA_MAX, 1);
#else
    (void)largest;
    (void)held;
#endif
}

bool releaseFreeMemory(std::size_t reserve) {
#if defined(__GLIBC__)
    if (freeHeapBytes() <= reserve) return false;
    malloc_trim(0);
    return true;
#else
    (void)reserve;
    return false;
#endif
}

}  // namespace platform::system
