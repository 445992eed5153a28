#include "ciphers-native/seed/seed_core.h"

#include "ciphers-native/gf256.h"
#include "ciphers-native/words.h"

namespace sealwyn::seed {

namespace {

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

void SeedCore::setKey(std::span<const std::uint8_t, kKeySize> key) {
    std::uint32_t a = loadBigEndian(&key[0]), b = loadBigEndian(&key[4]),
                  c = loadBigEndian(&key[8]), d = loadBigEndian(&key[12]);
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

// One block from `in` to `out` (which may be the same memory).
inline void encryptOne(const std::array<std::uint32_t, 32>& k, const std::uint8_t* in,
                       std::uint8_t* out) {
    std::uint32_t l0 = loadBigEndian(in), l1 = loadBigEndian(in + 4), r0 = loadBigEndian(in + 8),
                  r1 = loadBigEndian(in + 12);
    for (int i = 0; i < 32; i += 4) {
        round(l0, l1, r0, r1, k[i], k[i + 1]);
        round(r0, r1, l0, l1, k[i + 2], k[i + 3]);
    }
    storeBigEndian(out, r0);
    storeBigEndian(out + 4, r1);
    storeBigEndian(out + 8, l0);
    storeBigEndian(out + 12, l1);
}

inline void decryptOne(const std::array<std::uint32_t, 32>& k, const std::uint8_t* in,
                       std::uint8_t* out) {
    std::uint32_t l0 = loadBigEndian(in), l1 = loadBigEndian(in + 4), r0 = loadBigEndian(in + 8),
                  r1 = loadBigEndian(in + 12);
    for (int i = 30; i >= 0; i -= 4) {
        round(l0, l1, r0, r1, k[i], k[i + 1]);
        round(r0, r1, l0, l1, k[i - 2], k[i - 1]);
    }
    storeBigEndian(out, r0);
    storeBigEndian(out + 4, r1);
    storeBigEndian(out + 8, l0);
    storeBigEndian(out + 12, l1);
}

bool wholeBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    return in.size() == out.size() && in.size() % kBlockSize == 0;
}

}  // namespace

void SeedCore::encryptBlock(std::uint8_t* block) const {
    encryptOne(roundKeys_, block, block);
}

void SeedCore::decryptBlock(std::uint8_t* block) const {
    decryptOne(roundKeys_, block, block);
}

bool SeedCore::encryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
    if (!wholeBlocks(in, out)) return false;
    for (std::size_t off = 0; off < in.size(); off += kBlockSize)
        encryptOne(roundKeys_, in.data() + off, out.data() + off);
    return true;
}

bool SeedCore::decryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
    if (!wholeBlocks(in, out)) return false;
    for (std::size_t off = 0; off < in.size(); off += kBlockSize)
        decryptOne(roundKeys_, in.data() + off, out.data() + off);
    return true;
}

}  // namespace sealwyn::seed
