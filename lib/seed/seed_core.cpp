#include "lib/seed/seed_core.h"

#include "lib/gf256/gf256.h"
#include "platform/bytes/byteorder.h"

namespace tessel::seed {

namespace {

namespace bytes = platform::bytes;

// S1(x) = A1·x^247 ⊕ 0xA9 and S2(x) = A2·x^251 ⊕ 0x38 in GF(2^8) modulo
// x^8 + x^6 + x^5 + x + 1; each row selects the input bits of one output bit.
constexpr unsigned kPoly = 0x163;
constexpr std::array<std::uint8_t, 8> kA1 = {0x14, 0x88, 0x21, 0x45, 0x42, 0x85, 0xFE, 0x8A};
constexpr std::array<std::uint8_t, 8> kA2 = {0x14, 0x42, 0x88, 0x8A, 0x21, 0xFE, 0x85, 0x45};
constexpr auto kS1 = gf256::box(kA1, 247, kPoly, 0xA9);
constexpr auto kS2 = gf256::box(kA2, 251, kPoly, 0x38);

// The G function's masks m0..m3, folded into the four tables.
constexpr std::uint32_t kM0 = 0xFC, kM1 = 0xF3, kM2 = 0xCF, kM3 = 0x3F;

constexpr std::uint32_t pack(std::uint32_t b3, std::uint32_t b2, std::uint32_t b1,
                             std::uint32_t b0) {
    return (b3 << 24) | (b2 << 16) | (b1 << 8) | b0;
}

using Table = std::array<std::uint32_t, 256>;

constexpr std::array<Table, 4> makeTables() {
    std::array<Table, 4> t{};
    for (unsigned x = 0; x < 256; ++x) {
        const std::uint32_t a = kS1[x], b = kS2[x];
        t[0][x] = pack(a & kM3, a & kM2, a & kM1, a & kM0);
        t[1][x] = pack(b & kM0, b & kM3, b & kM2, b & kM1);
        t[2][x] = pack(a & kM1, a & kM0, a & kM3, a & kM2);
        t[3][x] = pack(b & kM2, b & kM1, b & kM0, b & kM3);
    }
    return t;
}

constexpr std::array<Table, 4> kSS = makeTables();
static_assert(kSS[0][0] == 0x2989A1A8 && kSS[1][0] == 0x38380830 && kSS[2][0] == 0xA1A82989 &&
              kSS[3][0] == 0x08303838);

inline std::uint32_t g(std::uint32_t x) {
    return kSS[0][x & 0xFF] ^ kSS[1][(x >> 8) & 0xFF] ^ kSS[2][(x >> 16) & 0xFF] ^ kSS[3][x >> 24];
}

// One Feistel round: (l0, l1) ^= F(k0, k1; r0, r1).
inline void round(std::uint32_t& l0, std::uint32_t& l1, std::uint32_t r0, std::uint32_t r1,
                  std::uint32_t k0, std::uint32_t k1) {
    std::uint32_t c = r0 ^ k0;
    std::uint32_t d = r1 ^ k1;
    d ^= c;
    d = g(d);
    c = g(c + d);
    d = g(d + c);
    c += d;
    l0 ^= c;
    l1 ^= d;
}

}  // namespace

const std::array<std::uint32_t, 256>& ss(int which) {
    return kSS[static_cast<std::size_t>(which & 3)];
}

void expandKey(std::span<const std::uint8_t, kKeySize> key, RoundKeys& roundKeys_) {
    std::uint32_t a = bytes::loadBigEndian<std::uint32_t>(&key[0]),
                  b = bytes::loadBigEndian<std::uint32_t>(&key[4]),
                  c = bytes::loadBigEndian<std::uint32_t>(&key[8]),
                  d = bytes::loadBigEndian<std::uint32_t>(&key[12]);
    std::uint32_t kc = 0x9E3779B9;
    for (int i = 0; i < 16; ++i) {
        roundKeys_[2 * i] = g(a + c - kc);
        roundKeys_[2 * i + 1] = g(b - d + kc);
        if (i % 2 == 0) {
            // (a || b) rotated right by 8 bits
            const std::uint32_t t = a;
            a = (a >> 8) | (b << 24);
            b = (b >> 8) | (t << 24);
        } else {
            // (c || d) rotated left by 8 bits
            const std::uint32_t t = c;
            c = (c << 8) | (d >> 24);
            d = (d << 8) | (t >> 24);
        }
        kc = (kc << 1) | (kc >> 31);
    }
}

namespace {

struct Halves {
    std::uint32_t l0, l1, r0, r1;
};

// N blocks from `in` to `out` (which may be the same memory) in one pass: each round of a block
// waits on its own table look-ups, so the rounds of the other blocks fill that time.
template <std::size_t N, bool Decrypt>
inline void cipherBlocks(const std::array<std::uint32_t, 32>& k, const std::uint8_t* in,
                         std::uint8_t* out) {
    Halves h[N];
    for (std::size_t n = 0; n < N; ++n) {
        const std::uint8_t* p = in + n * kBlockSize;
        h[n] = {bytes::loadBigEndian<std::uint32_t>(p), bytes::loadBigEndian<std::uint32_t>(p + 4),
                bytes::loadBigEndian<std::uint32_t>(p + 8),
                bytes::loadBigEndian<std::uint32_t>(p + 12)};
    }
    for (int step = 0; step < 8; ++step) {
        // Encryption takes the round keys in order, decryption from the last pair back.
        const int i = Decrypt ? 30 - 4 * step : 4 * step;
        const int j = Decrypt ? i - 2 : i + 2;
        for (std::size_t n = 0; n < N; ++n)
            round(h[n].l0, h[n].l1, h[n].r0, h[n].r1, k[i], k[i + 1]);
        for (std::size_t n = 0; n < N; ++n)
            round(h[n].r0, h[n].r1, h[n].l0, h[n].l1, k[j], k[j + 1]);
    }
    for (std::size_t n = 0; n < N; ++n) {
        std::uint8_t* p = out + n * kBlockSize;
        bytes::storeBigEndian<std::uint32_t>(p, h[n].r0);
        bytes::storeBigEndian<std::uint32_t>(p + 4, h[n].r1);
        bytes::storeBigEndian<std::uint32_t>(p + 8, h[n].l0);
        bytes::storeBigEndian<std::uint32_t>(p + 12, h[n].l1);
    }
}

template <bool Decrypt>
void cipherSpan(const std::array<std::uint32_t, 32>& k, std::span<const std::uint8_t> in,
                std::span<std::uint8_t> out) {
    constexpr std::size_t kWide = 4;
    std::size_t off = 0;
    for (; off + kWide * kBlockSize <= in.size(); off += kWide * kBlockSize)
        cipherBlocks<kWide, Decrypt>(k, in.data() + off, out.data() + off);
    for (; off < in.size(); off += kBlockSize)
        cipherBlocks<1, Decrypt>(k, in.data() + off, out.data() + off);
}

bool wholeBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    return in.size() == out.size() && in.size() % kBlockSize == 0;
}

}  // namespace

void encryptBlock(const RoundKeys& k, std::uint8_t* block) {
    cipherBlocks<1, false>(k, block, block);
}

void decryptBlock(const RoundKeys& k, std::uint8_t* block) {
    cipherBlocks<1, true>(k, block, block);
}

void SeedCore::setKey(std::span<const std::uint8_t, kKeySize> key) {
    expandKey(key, roundKeys_);
}

void SeedCore::encryptBlock(std::uint8_t* block) const {
    seed::encryptBlock(roundKeys_, block);
}

void SeedCore::decryptBlock(std::uint8_t* block) const {
    seed::decryptBlock(roundKeys_, block);
}

bool SeedCore::encryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
    if (!wholeBlocks(in, out)) return false;
    cipherSpan<false>(roundKeys_, in, out);
    return true;
}

bool SeedCore::decryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
    if (!wholeBlocks(in, out)) return false;
    cipherSpan<true>(roundKeys_, in, out);
    return true;
}

}  // namespace tessel::seed
