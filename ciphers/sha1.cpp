#include "ciphers/sha1.h"

#include <vector>

#include "platform/text/text.h"

namespace ciphra {

namespace {

constexpr std::uint32_t rotl(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

void block(std::uint32_t h[5], const std::uint8_t* p) {
    std::uint32_t w[80];
    for (int t = 0; t < 16; ++t)
        w[t] = (std::uint32_t(p[4 * t]) << 24) | (std::uint32_t(p[4 * t + 1]) << 16) |
               (std::uint32_t(p[4 * t + 2]) << 8) | p[4 * t + 3];
    for (int t = 16; t < 80; ++t) w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int t = 0; t < 80; ++t) {
        std::uint32_t f, k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        std::uint32_t temp = rotl(a, 5) + f + e + k + w[t];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = temp;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

}  // namespace

std::array<std::uint8_t, 20> sha1Digest(std::span<const std::uint8_t> data) {
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::size_t whole = data.size() / 64 * 64;
    for (std::size_t i = 0; i < whole; i += 64) block(h, data.data() + i);
    // The tail, the 0x80 marker and the 64-bit bit length fill one or two final blocks.
    std::vector<std::uint8_t> tail(data.begin() + static_cast<std::ptrdiff_t>(whole), data.end());
    tail.push_back(0x80);
    while (tail.size() % 64 != 56) tail.push_back(0);
    const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
    for (int i = 7; i >= 0; --i) tail.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    for (std::size_t i = 0; i < tail.size(); i += 64) block(h, tail.data() + i);
    std::array<std::uint8_t, 20> out;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = static_cast<std::uint8_t>(h[i] >> (24 - 8 * j));
    return out;
}

std::u16string clsSHA1::SHA1(std::u16string_view textIn) const {
    std::vector<std::uint8_t> bytes = platform::text::toAnsi(textIn);
    return platform::text::toHex(sha1Digest(bytes), platform::text::HexCase::Upper);
}

}  // namespace ciphra
