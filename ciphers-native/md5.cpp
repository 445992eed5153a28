#include "ciphers-native/md5.h"

#include <cstring>

#include "platform/bytes/byteorder.h"

namespace sealwyn {

namespace {

namespace bytes = platform::bytes;

constexpr std::uint32_t rotl(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

// T[i] = floor(2^32 × |sin(i + 1)|)
constexpr std::uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// Compresses `count` whole 64-byte blocks into the four state words, which stay in registers
// from one block to the next.
void compress(std::uint32_t* state, const std::uint8_t* p, std::size_t count) {
    std::uint32_t a0 = state[0], b0 = state[1], c0 = state[2], d0 = state[3];
    for (; count > 0; --count, p += 64) {
        // The block's sixteen little-endian words, all read before the first step.
        std::uint32_t x[16];
        for (int i = 0; i < 16; ++i) x[i] = bytes::loadLittleEndian<std::uint32_t>(p + 4 * i);
        std::uint32_t a = a0, b = b0, c = c0, d = d0;

        // The 64 steps unrolled; each round's function, message order and shifts are
        // constants. The message word and constant are added first, off the path through b
        // (the word just computed); G is written as a sum of two disjoint masks, so only one
        // AND waits for b.
#define SEALWYN_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define SEALWYN_G(x, y, z) (((x) & (z)) + ((y) & ~(z)))
#define SEALWYN_H(x, y, z) ((x) ^ ((y) ^ (z)))
#define SEALWYN_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define SEALWYN_STEP(f, a, b, c, d, i, k, r) \
    a += x[k] + kT[i];                       \
    a += f(b, c, d);                         \
    a = rotl(a, kShift[r][(i) % 4]) + b;
#define SEALWYN_FOUR(f, i, r, k0, k1, k2, k3)   \
    SEALWYN_STEP(f, a, b, c, d, (i) + 0, k0, r) \
    SEALWYN_STEP(f, d, a, b, c, (i) + 1, k1, r) \
    SEALWYN_STEP(f, c, d, a, b, (i) + 2, k2, r) \
    SEALWYN_STEP(f, b, c, d, a, (i) + 3, k3, r)

        SEALWYN_FOUR(SEALWYN_F, 0, 0, 0, 1, 2, 3)
        SEALWYN_FOUR(SEALWYN_F, 4, 0, 4, 5, 6, 7)
        SEALWYN_FOUR(SEALWYN_F, 8, 0, 8, 9, 10, 11)
        SEALWYN_FOUR(SEALWYN_F, 12, 0, 12, 13, 14, 15)
        SEALWYN_FOUR(SEALWYN_G, 16, 1, 1, 6, 11, 0)
        SEALWYN_FOUR(SEALWYN_G, 20, 1, 5, 10, 15, 4)
        SEALWYN_FOUR(SEALWYN_G, 24, 1, 9, 14, 3, 8)
        SEALWYN_FOUR(SEALWYN_G, 28, 1, 13, 2, 7, 12)
        SEALWYN_FOUR(SEALWYN_H, 32, 2, 5, 8, 11, 14)
        SEALWYN_FOUR(SEALWYN_H, 36, 2, 1, 4, 7, 10)
        SEALWYN_FOUR(SEALWYN_H, 40, 2, 13, 0, 3, 6)
        SEALWYN_FOUR(SEALWYN_H, 44, 2, 9, 12, 15, 2)
        SEALWYN_FOUR(SEALWYN_I, 48, 3, 0, 7, 14, 5)
        SEALWYN_FOUR(SEALWYN_I, 52, 3, 12, 3, 10, 1)
        SEALWYN_FOUR(SEALWYN_I, 56, 3, 8, 15, 6, 13)
        SEALWYN_FOUR(SEALWYN_I, 60, 3, 4, 11, 2, 9)

#undef SEALWYN_FOUR
#undef SEALWYN_STEP
#undef SEALWYN_I
#undef SEALWYN_H
#undef SEALWYN_G
#undef SEALWYN_F

        a0 += a;
        b0 += b;
        c0 += c;
        d0 += d;
    }
    state[0] = a0;
    state[1] = b0;
    state[2] = c0;
    state[3] = d0;
}

}  // namespace

void Md5::init() {
    state_ = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};
    count_ = {0, 0};
    buffer_.fill(0);
}

void Md5::update(const std::uint8_t* data, std::size_t count) {
    std::size_t index = (count_[0] >> 3) & 0x3F;
    const std::uint64_t bits = std::uint64_t(count_[1]) << 32 | count_[0];
    const std::uint64_t total = bits + (std::uint64_t(count) << 3);
    count_[0] = static_cast<std::uint32_t>(total);
    count_[1] = static_cast<std::uint32_t>(total >> 32);
    if (index != 0) {
        // Fill the waiting block first.
        const std::size_t room = 64 - index;
        if (count < room) {
            if (count != 0) std::memcpy(&buffer_[index], data, count);
            return;
        }
        std::memcpy(&buffer_[index], data, room);
        compress(state_.data(), buffer_.data(), 1);
        data += room;
        count -= room;
    }
    // Whole blocks straight from the caller's bytes, the rest kept for later.
    if (count >= 64) {
        compress(state_.data(), data, count / 64);
        data += count & ~std::size_t(63);
        count &= 63;
    }
    if (count != 0) std::memcpy(buffer_.data(), data, count);
}

Md5::Digest Md5::final() {
    std::uint8_t bits[8];
    bytes::storeLittleEndian<std::uint32_t>(bits, count_[0]);
    bytes::storeLittleEndian<std::uint32_t>(bits + 4, count_[1]);
    const std::size_t index = (count_[0] >> 3) & 0x3F;
    const std::size_t padLen = index < 56 ? 56 - index : 120 - index;
    static const std::uint8_t padding[64] = {0x80};
    update(padding, padLen);
    update(bits, 8);
    Digest out;
    for (int i = 0; i < 4; ++i)
        bytes::storeLittleEndian<std::uint32_t>(out.data() + 4 * i, state_[i]);
    state_ = {};
    count_ = {};
    buffer_.fill(0);
    return out;
}

Md5::Digest Md5::of(std::span<const std::uint8_t> data) {
    Md5 m;
    m.update(data.data(), data.size());
    return m.final();
}

Md5::Digest Md5::of(std::string_view bytes) {
    Md5 m;
    m.update(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return m.final();
}

}  // namespace sealwyn
