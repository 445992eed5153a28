#include "platform/services/controls.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/process/process.h"

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
        // A deadline already passed (a check that took longer than its period) still looks
        // once: a control that waits is taken, so a busy service never misses its stop.
        auto until = deadline;
        if (deadline && *deadline <= std::chrono::steady_clock::now()) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return std::nullopt;
            until.reset();  // something is there to read
        }
        signalfd_siginfo info{};
        std::size_t got = 0;
        switch (platform::process::readSome(fd_, reinterpret_cast<std::uint8_t*>(&info),
                                            sizeof info, got, until)) {
            case platform::process::ReadStatus::TimedOut:
                return std::nullopt;
            case platform::process::ReadStatus::Data:
                break;
            default:
                return Control::Stop;  // nothing left to wait on
        }
        if (got != sizeof info) continue;
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
