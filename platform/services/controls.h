// The controls a running service receives, as signals read from a descriptor: SIGTERM (and
// SIGINT) stop the service, SIGUSR1 pauses it, SIGUSR2 lets it continue. Opening a ControlLoop
// blocks those signals in the calling thread (and the threads it starts afterwards), so they
// wait for the loop instead of ending the process.
#pragma once

#include <chrono>
#include <optional>

namespace platform::services {

enum class Control { Stop, Pause, Continue };

class ControlLoop {
  public:
    ControlLoop() = default;
    ControlLoop(const ControlLoop&) = delete;
    ControlLoop& operator=(const ControlLoop&) = delete;
    ~ControlLoop();

    // False (with errno set) when the descriptor cannot be had.
    bool open();
    // Waits for the next control until `deadline` (none: without limit). nullopt when the
    // deadline passed first. A control already waiting is answered even when the deadline has
    // passed before the call.
    std::optional<Control> wait(std::optional<std::chrono::steady_clock::time_point> deadline);

  private:
    int fd_ = -1;
};

}  // namespace platform::services
