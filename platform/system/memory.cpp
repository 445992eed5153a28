#include "platform/system/memory.h"

#include <malloc.h>

namespace platform::system {

void releaseFreeMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace platform::system
