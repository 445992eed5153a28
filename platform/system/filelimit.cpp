#include "platform/system/filelimit.h"

#include <signal.h>
#include <sys/resource.h>

#include <cerrno>

namespace platform::system {

void ignoreFileSizeSignal() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

int fileSizeLimitError(std::uint64_t size) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
    return size > std::uint64_t(limit.rlim_cur) ? EFBIG : 0;
}

}  // namespace platform::system
