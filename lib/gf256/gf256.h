// Arithmetic in GF(2^8) and the affine maps that define the substitution boxes of the block
// ciphers, so the boxes are computed at compile time from their algebraic definition instead
// of being typed in as tables.
#pragma once

#include <array>
#include <cstdint>

namespace tessel::gf256 {

// Product of a and b modulo the field polynomial `poly` (with its x^8 bit, e.g. 0x11B).
constexpr std::uint8_t mul(std::uint8_t a, std::uint8_t b, unsigned poly) {
    unsigned x = a, r = 0;
    while (b) {
        if (b & 1) r ^= x;
        b >>= 1;
        x <<= 1;
        if (x & 0x100) x ^= poly;
    }
    return static_cast<std::uint8_t>(r);
}

constexpr std::uint8_t power(std::uint8_t x, unsigned e, unsigned poly) {
    std::uint8_t r = 1;
    while (e) {
        if (e & 1) r = mul(r, x, poly);
        x = mul(x, x, poly);
        e >>= 1;
    }
    return r;
}

// y = M·x over GF(2): rows[i] selects the input bits whose parity is output bit i (bit 0 is
// the least significant bit).
constexpr std::uint8_t affine(const std::array<std::uint8_t, 8>& rows, std::uint8_t x) {
    std::uint8_t y = 0;
    for (int i = 0; i < 8; ++i) {
        unsigned v = rows[i] & x;
        v ^= v >> 4;
        v ^= v >> 2;
        v ^= v >> 1;
        y = static_cast<std::uint8_t>(y | ((v & 1) << i));
    }
    return y;
}

// The box x -> M·x^e ⊕ c (0 stays 0 before the affine step, as x^e is taken as 0 for x = 0).
constexpr std::array<std::uint8_t, 256> box(const std::array<std::uint8_t, 8>& rows, unsigned e,
                                            unsigned poly, std::uint8_t c) {
    std::array<std::uint8_t, 256> out{};
    for (unsigned x = 0; x < 256; ++x) {
        std::uint8_t p = x ? power(static_cast<std::uint8_t>(x), e, poly) : 0;
        out[x] = static_cast<std::uint8_t>(affine(rows, p) ^ c);
    }
    return out;
}

constexpr std::array<std::uint8_t, 256> inverse(const std::array<std::uint8_t, 256>& s) {
    std::array<std::uint8_t, 256> out{};
    for (unsigned x = 0; x < 256; ++x) out[s[x]] = static_cast<std::uint8_t>(x);
    return out;
}

}  // namespace tessel::gf256
