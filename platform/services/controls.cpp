#include "platform/services/controls.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform::services {

namespace {

sigset_t controlSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGUSR2);
    return set;
}

}  // namespace

ControlLoop::~ControlLoop() {
    if (fd_ >= 0) ::close(fd_);
}

bool ControlLoop::open() {
    if (fd_ >= 0) return true;
    sigset_t set = controlSignals();
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
    fd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
    return fd_ >= 0;
}

std::optional<Control> ControlLoop::wait(
    std::optional<std::chrono::steady_clock::time_point> deadline) {
    while (true) {
        int timeout = -1;
        if (deadline) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            timeout = int(std::min<long long>(left.count(), 1 << 30));
        }
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, timeout);
        if (r < 0 && errno != EINTR) return Control::Stop;  // nothing left to wait on
        if (r <= 0) continue;
        signalfd_siginfo info{};
        if (::read(fd_, &info, sizeof info) != ssize_t(sizeof info)) continue;
        switch (info.ssi_signo) {
            case SIGUSR1:
                return Control::Pause;
            case SIGUSR2:
                return Control::Continue;
            default:
                return Control::Stop;
        }
    }
}

}  // namespace platform::services
