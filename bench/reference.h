// Shared helpers of the benchmarks: the data they work on and the naming that scripts/bench.sh
// pairs into ratios ("<subject>/ours" against "<subject>/ref").
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessel::bench {

// Deterministic pseudo-random bytes.
inline std::vector<std::uint8_t> randomBytes(std::size_t n, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> out(n);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return out;
}

// Registers the pair "<subject>/ours" and "<subject>/ref".
inline void registerPair(const std::string& subject, std::function<void(benchmark::State&)> ours,
                         std::function<void(benchmark::State&)> ref) {
    benchmark::RegisterBenchmark((subject + "/ours").c_str(), std::move(ours));
    benchmark::RegisterBenchmark((subject + "/ref").c_str(), std::move(ref));
}

}  // namespace tessel::bench
