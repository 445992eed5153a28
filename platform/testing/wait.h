// A bounded wait for something another process, thread or event loop makes true.
#pragma once

#include <chrono>
#include <thread>

namespace platform::testing {

inline constexpr std::chrono::milliseconds kWaitLimit{15000};

// Asks `done` until it answers true or `limit` has passed, calling `idle` in between (by
// default a 20 ms sleep; an event-loop test passes one that runs its events). True when `done`
// held, asked once more at the limit.
template <class Condition, class Idle>
bool waitFor(Condition&& done, std::chrono::milliseconds limit, Idle&& idle) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        idle();
    }
    return done();
}

template <class Condition>
bool waitFor(Condition&& done, std::chrono::milliseconds limit = kWaitLimit) {
    return waitFor(done, limit, [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
}

}  // namespace platform::testing
