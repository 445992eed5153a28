#include "ciphers/random.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "platform/bytes/byteorder.h"
#include "platform/system/files.h"

namespace ciphra {

namespace {

thread_local UniformSource overrideSource;

double cryptoUniform() {
    std::array<std::uint8_t, 8> raw{};
    if (!platform::system::randomBytes(raw))
        throw std::runtime_error("the random generator failed");
    const auto bits = platform::bytes::loadBigEndian<std::uint64_t>(raw.data());
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
