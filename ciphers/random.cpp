#include "ciphers/random.h"

#include <openssl/rand.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace ciphra {

namespace {

thread_local UniformSource overrideSource;

double cryptoUniform() {
    std::uint64_t bits = 0;
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&bits), sizeof bits) != 1)
        throw std::runtime_error("the random generator failed");
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
