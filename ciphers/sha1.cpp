#include "ciphers/sha1.h"

#include <cstring>
#include <vector>

#include "platform/bytes/byteorder.h"
#include "platform/text/text.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define CIPHRA_SHA1_X86 1
#endif

namespace ciphra {

namespace {

namespace bytes = platform::bytes;

using State = std::uint32_t[5];
// Compresses `count` whole 64-byte blocks into the state.
using BlocksFunction = void (*)(std::uint32_t* h, const std::uint8_t* p, std::size_t count);

inline std::uint32_t rotl(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

// The portable compression: the 80 rounds unrolled over a 16-word circular message schedule,
// with the five working variables renamed instead of moved from round to round.
void portableBlocks(std::uint32_t* h, const std::uint8_t* p, std::size_t count) {
    for (; count > 0; --count, p += 64) {
        std::uint32_t w[16];
        for (int t = 0; t < 16; ++t) w[t] = bytes::loadBigEndian<std::uint32_t>(p + 4 * t);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];

#define CIPHRA_W(t) \
    (w[(t)&15] = rotl(w[((t) + 13) & 15] ^ w[((t) + 8) & 15] ^ w[((t) + 2) & 15] ^ w[(t)&15], 1))
#define CIPHRA_R0(v, x, y, z, u, t)                             \
    u += ((x & (y ^ z)) ^ z) + w[t] + 0x5A827999u + rotl(v, 5); \
    x = rotl(x, 30);
#define CIPHRA_R1(v, x, y, z, u, t)                                    \
    u += ((x & (y ^ z)) ^ z) + CIPHRA_W(t) + 0x5A827999u + rotl(v, 5); \
    x = rotl(x, 30);
#define CIPHRA_R2(v, x, y, z, u, t)                            \
    u += (x ^ y ^ z) + CIPHRA_W(t) + 0x6ED9EBA1u + rotl(v, 5); \
    x = rotl(x, 30);
#define CIPHRA_R3(v, x, y, z, u, t)                                          \
    u += (((x | y) & z) | (x & y)) + CIPHRA_W(t) + 0x8F1BBCDCu + rotl(v, 5); \
    x = rotl(x, 30);
#define CIPHRA_R4(v, x, y, z, u, t)                            \
    u += (x ^ y ^ z) + CIPHRA_W(t) + 0xCA62C1D6u + rotl(v, 5); \
    x = rotl(x, 30);
// Five rounds with the variables in their five rotations.
#define CIPHRA_FIVE(R, t)     \
    R(a, b, c, d, e, (t) + 0) \
    R(e, a, b, c, d, (t) + 1) \
    R(d, e, a, b, c, (t) + 2) \
    R(c, d, e, a, b, (t) + 3) \
    R(b, c, d, e, a, (t) + 4)

        CIPHRA_FIVE(CIPHRA_R0, 0)
        CIPHRA_FIVE(CIPHRA_R0, 5)
        CIPHRA_FIVE(CIPHRA_R0, 10)
        CIPHRA_R0(a, b, c, d, e, 15)
        CIPHRA_R1(e, a, b, c, d, 16)
        CIPHRA_R1(d, e, a, b, c, 17)
        CIPHRA_R1(c, d, e, a, b, 18)
        CIPHRA_R1(b, c, d, e, a, 19)
        CIPHRA_FIVE(CIPHRA_R2, 20)
        CIPHRA_FIVE(CIPHRA_R2, 25)
        CIPHRA_FIVE(CIPHRA_R2, 30)
        CIPHRA_FIVE(CIPHRA_R2, 35)
        CIPHRA_FIVE(CIPHRA_R3, 40)
        CIPHRA_FIVE(CIPHRA_R3, 45)
        CIPHRA_FIVE(CIPHRA_R3, 50)
        CIPHRA_FIVE(CIPHRA_R3, 55)
        CIPHRA_FIVE(CIPHRA_R4, 60)
        CIPHRA_FIVE(CIPHRA_R4, 65)
        CIPHRA_FIVE(CIPHRA_R4, 70)
        CIPHRA_FIVE(CIPHRA_R4, 75)

#undef CIPHRA_FIVE
#undef CIPHRA_R4
#undef CIPHRA_R3
#undef CIPHRA_R2
#undef CIPHRA_R1
#undef CIPHRA_R0
#undef CIPHRA_W

        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
}

#ifdef CIPHRA_SHA1_X86

#define CIPHRA_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// Four rounds (group k of 20) with the SHA instructions. m holds the message words of groups
// k..k+3 as they are completed: group k also advances the schedule of groups k+1..k+3.
template <int k>
CIPHRA_SHA_TARGET __attribute__((always_inline)) inline void shaGroup(__m128i& abcd, __m128i& e,
                                                                      __m128i& saved,
                                                                      __m128i (&m)[4]) {
    if constexpr (k == 0)
        e = _mm_add_epi32(e, m[0]);
    else
        e = _mm_sha1nexte_epu32(saved, m[k % 4]);
    saved = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, k / 5);
    if constexpr (k >= 1 && k <= 16) m[(k + 3) % 4] = _mm_sha1msg1_epu32(m[(k + 3) % 4], m[k % 4]);
    if constexpr (k >= 2 && k <= 17) m[(k + 2) % 4] = _mm_xor_si128(m[(k + 2) % 4], m[k % 4]);
    if constexpr (k >= 3 && k <= 18) m[(k + 1) % 4] = _mm_sha1msg2_epu32(m[(k + 1) % 4], m[k % 4]);
}

CIPHRA_SHA_TARGET void shaBlocks(std::uint32_t* h, const std::uint8_t* p, std::size_t count) {
    // Reverses the 16 bytes: big-endian words, the first word in the top lane.
    const __m128i reverse = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(h[4]), 0, 0, 0);
    for (; count > 0; --count, p += 64) {
        const __m128i abcdStart = abcd, eStart = e0;
        __m128i m[4];
        for (int i = 0; i < 4; ++i)
            m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)),
                                    reverse);
        __m128i e = e0, saved;
        shaGroup<0>(abcd, e, saved, m);
        shaGroup<1>(abcd, e, saved, m);
        shaGroup<2>(abcd, e, saved, m);
        shaGroup<3>(abcd, e, saved, m);
        shaGroup<4>(abcd, e, saved, m);
        shaGroup<5>(abcd, e, saved, m);
        shaGroup<6>(abcd, e, saved, m);
        shaGroup<7>(abcd, e, saved, m);
        shaGroup<8>(abcd, e, saved, m);
        shaGroup<9>(abcd, e, saved, m);
        shaGroup<10>(abcd, e, saved, m);
        shaGroup<11>(abcd, e, saved, m);
        shaGroup<12>(abcd, e, saved, m);
        shaGroup<13>(abcd, e, saved, m);
        shaGroup<14>(abcd, e, saved, m);
        shaGroup<15>(abcd, e, saved, m);
        shaGroup<16>(abcd, e, saved, m);
        shaGroup<17>(abcd, e, saved, m);
        shaGroup<18>(abcd, e, saved, m);
        shaGroup<19>(abcd, e, saved, m);
        e0 = _mm_sha1nexte_epu32(saved, eStart);
        abcd = _mm_add_epi32(abcd, abcdStart);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_shuffle_epi32(abcd, 0x1B));
    h[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e0, 3));
}

bool cpuHasSha() {
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    const bool sha = b & (1u << 29);
    return ssse3 && sse41 && sha;
}

#else

bool cpuHasSha() {
    return false;
}

#endif

std::array<std::uint8_t, 20> digestWith(BlocksFunction blocks, std::span<const std::uint8_t> data) {
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const std::size_t whole = data.size() / 64;
    if (whole) blocks(h, data.data(), whole);
    // The tail, the 0x80 marker and the 64-bit bit length fill one or two final blocks.
    std::uint8_t tail[128] = {};
    const std::size_t rest = data.size() - whole * 64;
    if (rest) std::memcpy(tail, data.data() + whole * 64, rest);
    tail[rest] = 0x80;
    const std::size_t tailLength = rest < 56 ? 64 : 128;
    const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
    bytes::storeBigEndian<std::uint64_t>(tail + tailLength - 8, bits);
    blocks(h, tail, tailLength / 64);
    std::array<std::uint8_t, 20> out;
    for (int i = 0; i < 5; ++i) bytes::storeBigEndian<std::uint32_t>(out.data() + 4 * i, h[i]);
    return out;
}

BlocksFunction chosenBlocks() {
#ifdef CIPHRA_SHA1_X86
    static const BlocksFunction chosen = cpuHasSha() ? shaBlocks : portableBlocks;
    return chosen;
#else
    return portableBlocks;
#endif
}

}  // namespace

namespace sha1_detail {

std::array<std::uint8_t, 20> portableDigest(std::span<const std::uint8_t> data) {
    return digestWith(portableBlocks, data);
}

bool hasShaInstructions() {
    static const bool has = cpuHasSha();
    return has;
}

std::array<std::uint8_t, 20> instructionDigest(std::span<const std::uint8_t> data) {
#ifdef CIPHRA_SHA1_X86
    if (hasShaInstructions()) return digestWith(shaBlocks, data);
#endif
    return {};
}

}  // namespace sha1_detail

std::array<std::uint8_t, 20> sha1Digest(std::span<const std::uint8_t> data) {
    return digestWith(chosenBlocks(), data);
}

std::u16string clsSHA1::SHA1(std::u16string_view textIn) const {
    std::vector<std::uint8_t> bytes = platform::text::toAnsi(textIn);
    return platform::text::toHex(sha1Digest(bytes), platform::text::HexCase::Upper);
}

}  // namespace ciphra
