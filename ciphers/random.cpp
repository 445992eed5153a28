#include "ciphers/random.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "platform/system/files.h"

namespace ciphra {

namespace {

thread_local UniformSource overrideSource;

double cryptoUniform() {
    std::array<std::uint8_t, 8> raw{};
    if (!platform::system::randomBytes(raw))
        throw std::runtime_error("the random generator failed");
    std::uint64_t bits = 0;
    for (auto b : raw) bits = bits << 8 | b;
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

}  // namespace

double uniform() {
    if (overrideSource) {
        double r = overrideSource();
        if (r >= 0.0 && r < 1.0) return r;
        throw std::logic_error("uniform source out of [0, 1)");
    }
    return cryptoUniform();
}

void setUniformSource(UniformSource source) {
    overrideSource = std::move(source);
}

}  // namespace ciphra
