#include "ciphers-native/aria/aria_core.h"

#include <algorithm>
#include <utility>

#include "lib/gf256/gf256.h"
#include "platform/bytes/byteorder.h"

namespace sealwyn::aria {

namespace {

namespace bytes = platform::bytes;

// S1 is the AES box (inverse in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1, then the affine map
// with 0x63); S2(x) = B·x^247 ⊕ 0xE2 in the same field; S3 and S4 are their inverses.
constexpr unsigned kPoly = 0x11B;
constexpr std::array<std::uint8_t, 8> kAesAffine = {0xF1, 0xE3, 0xC7, 0x8F, 0x1F, 0x3E, 0x7C, 0xF8};
constexpr std::array<std::uint8_t, 8> kB = {0x7A, 0xBC, 0xEB, 0xB9, 0x34, 0x81, 0xBA, 0xCB};
constexpr auto kS1 = tessel::gf256::box(kAesAffine, 254, kPoly, 0x63);
constexpr auto kS2 = tessel::gf256::box(kB, 247, kPoly, 0xE2);
constexpr auto kS3 = tessel::gf256::inverse(kS1);
constexpr auto kS4 = tessel::gf256::inverse(kS2);
static_assert(kS1[0] == 0x63 && kS1[1] == 0x7C && kS1[2] == 0x77 && kS1[3] == 0x7B);
static_assert(kS1[0x53] == 0xED && kS1[0xFF] == 0x16);
static_assert(kS2[0] == 0xE2 && kS2[1] == 0x4E && kS2[2] == 0x54 && kS2[15] == 0xD1);
static_assert(kS3[0x63] == 0 && kS4[0xE2] == 0);

using Block = std::array<std::uint32_t, 4>;
using Table = std::array<std::uint32_t, 256>;

// The diffusion layer A as 16 rows: output byte i is the XOR of the input bytes listed.
constexpr std::uint8_t kDiffusionRows[16][7] = {
    {3, 4, 6, 8, 9, 13, 14},   {2, 5, 7, 8, 9, 12, 15},  {1, 4, 6, 10, 11, 12, 15},
    {0, 5, 7, 10, 11, 13, 14}, {0, 2, 5, 8, 11, 14, 15}, {1, 3, 4, 9, 10, 14, 15},
    {0, 2, 7, 9, 10, 12, 13},  {1, 3, 6, 8, 11, 12, 13}, {0, 1, 4, 7, 10, 13, 15},
    {0, 1, 5, 6, 11, 12, 14},  {2, 3, 5, 6, 8, 13, 15},  {2, 3, 4, 7, 9, 12, 14},
    {1, 2, 6, 7, 9, 11, 12},   {0, 3, 6, 7, 8, 10, 13},  {0, 3, 4, 5, 9, 11, 14},
    {1, 2, 4, 5, 8, 10, 15}};

constexpr std::array<std::uint8_t, 16> diffuseBytes(const std::array<std::uint8_t, 16>& x) {
    std::array<std::uint8_t, 16> y{};
    for (int i = 0; i < 16; ++i)
        for (std::uint8_t j : kDiffusionRows[i]) y[i] ^= x[j];
    return y;
}

constexpr std::uint32_t rotr(std::uint32_t v, int n) {
    return (v >> n) | (v << (32 - n));
}

// A in word form, in three steps over the four big-endian words of the block:
//  1. inside each word, every byte becomes the XOR of the other three (the substitution
//     tables below fold this step in);
//  2. the words mix, then their bytes move (word 1 swaps neighbouring bytes, word 2 swaps its
//     halves, word 3 reverses its bytes), then the words mix once more.
// The words travel as four scalars: as an array the compiler packs them into vector registers
// and loses more in shuffles than it gains.
constexpr void mixWords(std::uint32_t& t0, std::uint32_t& t1, std::uint32_t& t2,
                        std::uint32_t& t3) {
    t1 ^= t2;
    t2 ^= t3;
    t0 ^= t1;
    t3 ^= t1;
    t2 ^= t0;
    t1 ^= t2;
}

constexpr void spreadWords(std::uint32_t& t0, std::uint32_t& t1, std::uint32_t& t2,
                           std::uint32_t& t3) {
    mixWords(t0, t1, t2, t3);
    t1 = ((t1 << 8) & 0xFF00FF00) | ((t1 >> 8) & 0x00FF00FF);
    t2 = rotr(t2, 16);
    t3 = bytes::byteSwapped(t3);
    mixWords(t0, t1, t2, t3);
}

constexpr std::uint32_t otherBytes(std::uint32_t w) {
    return rotr(w, 8) ^ rotr(w, 16) ^ rotr(w, 24);
}

constexpr Block diffuseWords(const Block& x) {
    std::uint32_t t0 = otherBytes(x[0]), t1 = otherBytes(x[1]), t2 = otherBytes(x[2]),
                  t3 = otherBytes(x[3]);
    spreadWords(t0, t1, t2, t3);
    return {t0, t1, t2, t3};
}

constexpr Block toWords(const std::array<std::uint8_t, 16>& b) {
    Block t{};
    for (int i = 0; i < 16; ++i) t[i / 4] |= std::uint32_t(b[i]) << (24 - 8 * (i % 4));
    return t;
}

constexpr std::array<std::uint8_t, 16> toBytes(const Block& t) {
    std::array<std::uint8_t, 16> b{};
    for (int i = 0; i < 16; ++i) b[i] = static_cast<std::uint8_t>(t[i / 4] >> (24 - 8 * (i % 4)));
    return b;
}

// A is linear, so agreeing on every single set byte (all bits set) is agreeing everywhere.
constexpr bool wordDiffusionMatchesRows() {
    for (int i = 0; i < 16; ++i) {
        std::array<std::uint8_t, 16> x{};
        x[i] = 0xFF;
        if (toBytes(diffuseWords(toWords(x))) != diffuseBytes(x)) return false;
    }
    return true;
}
static_assert(wordDiffusionMatchesRows());

// Substitution and step 1 of the diffusion in one look-up: the box output placed in the three
// bytes of its word other than its own position (byte 0 is the most significant).
constexpr std::uint32_t kSpread[4] = {0x00010101, 0x01000101, 0x01010001, 0x01010100};

constexpr Table spreadBox(const std::array<std::uint8_t, 256>& box, int position) {
    Table t{};
    for (unsigned x = 0; x < 256; ++x) t[x] = box[x] * kSpread[position];
    return t;
}

// Odd rounds substitute the bytes of each word with S1 S2 S3 S4, even rounds with S3 S4 S1 S2.
constexpr Table kOdd[4] = {spreadBox(kS1, 0), spreadBox(kS2, 1), spreadBox(kS3, 2),
                           spreadBox(kS4, 3)};
constexpr Table kEven[4] = {spreadBox(kS3, 0), spreadBox(kS4, 1), spreadBox(kS1, 2),
                            spreadBox(kS2, 3)};
static_assert(kOdd[0][0] == 0x00636363 && kOdd[1][0] == 0xE200E2E2 && kOdd[2][0x63] == 0 &&
              kOdd[3][1] == 0x68686800);
static_assert(kEven[0][0] == 0x00525252 && kEven[2][1] == 0x7C7C007C && kEven[3][0] == 0xE2E2E200);

constexpr std::uint32_t lookUp(const Table (&t)[4], std::uint32_t w) {
    return t[0][w >> 24] ^ t[1][(w >> 16) & 0xFF] ^ t[2][(w >> 8) & 0xFF] ^ t[3][w & 0xFF];
}

// One full round: round key, substitution layer, diffusion.
constexpr void round(const Table (&t)[4], std::uint32_t& t0, std::uint32_t& t1, std::uint32_t& t2,
                     std::uint32_t& t3, const std::uint32_t* k) {
    t0 = lookUp(t, t0 ^ k[0]);
    t1 = lookUp(t, t1 ^ k[1]);
    t2 = lookUp(t, t2 ^ k[2]);
    t3 = lookUp(t, t3 ^ k[3]);
    spreadWords(t0, t1, t2, t3);
}

constexpr Block round(const Table (&t)[4], Block x, const Block& k) {
    round(t, x[0], x[1], x[2], x[3], k.data());
    return x;
}

// The tables and the word diffusion against the byte-wise definition of one odd and one even
// round.
constexpr bool roundsMatchDefinition() {
    std::array<std::uint8_t, 16> x{}, k{};
    for (int i = 0; i < 16; ++i) {
        x[i] = static_cast<std::uint8_t>(i * 37 + 11);
        k[i] = static_cast<std::uint8_t>(i * 91 + 200);
    }
    for (int odd = 0; odd < 2; ++odd) {
        std::array<std::uint8_t, 16> s{};
        for (int i = 0; i < 16; ++i) {
            const std::uint8_t v = x[i] ^ k[i];
            const int box = (i + (odd ? 0 : 2)) % 4;
            s[i] = box == 0 ? kS1[v] : box == 1 ? kS2[v] : box == 2 ? kS3[v] : kS4[v];
        }
        const Block w = round(odd ? kOdd : kEven, toWords(x), toWords(k));
        if (toBytes(w) != diffuseBytes(s)) return false;
    }
    return true;
}
static_assert(roundsMatchDefinition());

// The last round: substitution with S3 S4 S1 S2 between two round keys, no diffusion.
inline std::uint32_t lastSubstitution(std::uint32_t w) {
    return (std::uint32_t(kS3[w >> 24]) << 24) | (std::uint32_t(kS4[(w >> 16) & 0xFF]) << 16) |
           (std::uint32_t(kS1[(w >> 8) & 0xFF]) << 8) | kS2[w & 0xFF];
}

// Key-schedule constants CK1..CK3 (the fractional part of 1/pi).
constexpr Block kConstants[3] = {{0x517cc1b7, 0x27220a94, 0xfe13abe8, 0xfa9a6ee0},
                                 {0x6db14acc, 0x9e21c820, 0xff28b1d5, 0xef5de2b0},
                                 {0xdb92371d, 0x2126e970, 0x03249775, 0x04e8c90e}};

// The 128-bit value (word 0 most significant) rotated right by N bits, 0 < N < 128.
template <int N>
inline Block rotateRight(const Block& x) {
    constexpr int words = N / 32, bits = N % 32;
    Block out;
    for (int j = 0; j < 4; ++j) {
        const std::uint32_t hi = x[(j - words + 4) % 4];
        const std::uint32_t lo = x[(j - words + 3) % 4];
        if constexpr (bits == 0)
            out[j] = hi;
        else
            out[j] = (hi >> bits) | (lo << (32 - bits));
    }
    return out;
}

inline Block xorOf(const Block& a, const Block& b) {
    return {a[0] ^ b[0], a[1] ^ b[1], a[2] ^ b[2], a[3] ^ b[3]};
}

// Round key 4g + i is W[i] ^ (W[(i + 1) % 4] >>> r[g]) for the right rotations 19, 31, 67, 97,
// then the final key with 109. All 17 are derived; the shorter keys use fewer.
template <std::size_t... K>
void deriveRoundKeys(const Block (&w)[4], std::uint32_t* out, std::index_sequence<K...>) {
    static constexpr int kRotations[5] = {19, 31, 67, 97, 109};
    auto put = [out](std::size_t k, const Block& key) {
        std::copy(key.begin(), key.end(), out + 4 * k);
    };
    (put(K, xorOf(w[K % 4], rotateRight<kRotations[K / 4]>(w[(K + 1) % 4]))), ...);
}

}  // namespace

void diffuse(const std::uint8_t* in, std::uint8_t* out) {
    Block t;
    for (int i = 0; i < 4; ++i) t[i] = bytes::loadBigEndian<std::uint32_t>(in + 4 * i);
    t = diffuseWords(t);
    for (int i = 0; i < 4; ++i) bytes::storeBigEndian<std::uint32_t>(out + 4 * i, t[i]);
}

void AriaCore::clear() {
    std::fill(encrypt_.begin(), encrypt_.end(), 0u);
    std::fill(decrypt_.begin(), decrypt_.end(), 0u);
    rounds_ = 0;
}

bool AriaCore::setKey(std::span<const std::uint8_t> key) {
    const std::size_t n = key.size();
    if (n != 16 && n != 24 && n != 32) {
        clear();
        return false;
    }
    const int rounds = static_cast<int>(n / 4 + 8);

    Block kl{}, kr{};
    for (int i = 0; i < 4; ++i) kl[i] = bytes::loadBigEndian<std::uint32_t>(key.data() + 4 * i);
    for (std::size_t i = 4; i < n / 4; ++i)
        kr[i - 4] = bytes::loadBigEndian<std::uint32_t>(key.data() + 4 * i);

    // The constants start at CK(1 + (key bits - 128) / 64) and cycle.
    const std::size_t first = (n - 16) / 8;
    const Block w0 = kl;
    const Block w1 = xorOf(round(kOdd, w0, kConstants[first]), kr);
    const Block w2 = xorOf(round(kEven, w1, kConstants[(first + 1) % 3]), w0);
    const Block w3 = xorOf(round(kOdd, w2, kConstants[(first + 2) % 3]), w1);
    const Block w[4] = {w0, w1, w2, w3};

    deriveRoundKeys(w, encrypt_.data(), std::make_index_sequence<kMaxRounds + 1>());

    // Decryption runs the same rounds with the keys in reverse order, the inner ones passed
    // through the diffusion layer.
    std::copy_n(encrypt_.begin() + 4 * rounds, 4, decrypt_.begin());
    std::copy_n(encrypt_.begin(), 4, decrypt_.begin() + 4 * rounds);
    for (int k = 1; k < rounds; ++k) {
        const std::uint32_t* e = &encrypt_[static_cast<std::size_t>(4 * (rounds - k))];
        std::uint32_t t0 = otherBytes(e[0]), t1 = otherBytes(e[1]), t2 = otherBytes(e[2]),
                      t3 = otherBytes(e[3]);
        spreadWords(t0, t1, t2, t3);
        std::uint32_t* d = &decrypt_[static_cast<std::size_t>(4 * k)];
        d[0] = t0;
        d[1] = t1;
        d[2] = t2;
        d[3] = t3;
    }
    // No keys of an earlier, longer key stay behind.
    std::fill(decrypt_.begin() + 4 * (rounds + 1), decrypt_.end(), 0u);
    rounds_ = rounds;
    return true;
}

bool AriaCore::encryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
    return process(encrypt_, in, out);
}

bool AriaCore::decryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
    return process(decrypt_, in, out);
}

bool AriaCore::process(const Schedule& keys, std::span<const std::uint8_t> in,
                       std::span<std::uint8_t> out) const {
    if (!hasKey() || in.size() != out.size() || in.size() % kBlockSize != 0) return false;
    const std::uint8_t* src = in.data();
    std::uint8_t* dst = out.data();
    for (std::size_t off = 0; off < in.size(); off += kBlockSize) {
        std::uint32_t t0 = bytes::loadBigEndian<std::uint32_t>(src + off),
                      t1 = bytes::loadBigEndian<std::uint32_t>(src + off + 4),
                      t2 = bytes::loadBigEndian<std::uint32_t>(src + off + 8),
                      t3 = bytes::loadBigEndian<std::uint32_t>(src + off + 12);
        const std::uint32_t* k = keys.data();
        for (int r = 1; r < rounds_ - 1; r += 2) {
            round(kOdd, t0, t1, t2, t3, k);
            round(kEven, t0, t1, t2, t3, k + 4);
            k += 8;
        }
        round(kOdd, t0, t1, t2, t3, k);
        k += 4;
        bytes::storeBigEndian<std::uint32_t>(dst + off, lastSubstitution(t0 ^ k[0]) ^ k[4]);
        bytes::storeBigEndian<std::uint32_t>(dst + off + 4, lastSubstitution(t1 ^ k[1]) ^ k[5]);
        bytes::storeBigEndian<std::uint32_t>(dst + off + 8, lastSubstitution(t2 ^ k[2]) ^ k[6]);
        bytes::storeBigEndian<std::uint32_t>(dst + off + 12, lastSubstitution(t3 ^ k[3]) ^ k[7]);
    }
    return true;
}

}  // namespace sealwyn::aria
