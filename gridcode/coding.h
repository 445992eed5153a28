// The arithmetic under every grid code: the field GF(256) with the polynomial 0x171 and the
// primitive element 2, a systematic Reed-Solomon coder over it, the library's CRC-32 variant,
// CRC-16/XMODEM, the check row of the dot grid and the scrambling of the data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/bytes/byteorder.h"

namespace gridcode {

// GF(256): exp[i] = 2^i for i in 0..509 (doubled so that sums of two logarithms need no
// reduction); log[0] is unused.
struct Field {
    std::array<std::uint8_t, 510> exp{};
    std::array<int, 256> log{};
    std::uint8_t mul(std::uint8_t a, std::uint8_t b) const {
        return a == 0 || b == 0 ? 0 : exp[log[a] + log[b]];
    }
    std::uint8_t div(std::uint8_t a, std::uint8_t b) const {  // b != 0
        return a == 0 ? 0 : exp[log[a] + 255 - log[b]];
    }
    std::uint8_t pow(int e) const { return exp[((e % 255) + 255) % 255]; }
};
const Field& field();

// A systematic code with `checks` check symbols: generator (x - a)(x - a^2)...(x - a^checks).
// A codeword keeps its check bytes first (lowest degree first) and data byte j at position
// checks + j, so the whole word, read as coefficients of x^0, x^1, ..., is divisible by the
// generator. Data shorter than 255 - checks bytes makes a shortened word.
class ReedSolomon {
  public:
    explicit ReedSolomon(int checks);
    int checks() const { return checks_; }
    // The check bytes for `data` (at most 255 - checks bytes), lowest degree first.
    void encode(std::span<const std::uint8_t> data, std::span<std::uint8_t> check) const;
    // Generator coefficient of x^j (g_checks is 1).
    std::uint8_t generator(int j) const { return g_[j]; }

  private:
    int checks_;
    std::vector<std::uint8_t> g_;
};

// S_j = w(a^j) for j = 1..checks: all zero exactly for a codeword.
std::vector<std::uint8_t> syndromes(std::span<const std::uint8_t> word, int checks);

// The library's CRC: reflected table of 0xEDB88320, register starting at 0, each byte entered
// inverted, no final inversion.
std::uint32_t crc32(std::span<const std::uint8_t> data, std::uint32_t crc = 0);
// CRC-16/XMODEM: polynomial 0x1021, initial 0, not reflected, no final XOR.
std::uint16_t crc16(std::span<const std::uint8_t> data);

// The check byte under three data bytes of one column.
std::uint8_t checkRowByte(std::uint8_t first, std::uint8_t second, std::uint8_t third);

// XORs data with the repeated scrambling key (an involution).
void scramble(std::span<std::uint8_t> data);

// Data bytes per 255-byte codeword at error-correction level 0..100.
inline int dataBytesForLevel(int level) {
    return 255 - level * 127 / 100;
}

// The little-endian words of the code's headers and of its BMP image.
inline void putLe32(std::uint8_t* p, std::uint32_t v) {
    platform::bytes::storeLittleEndian<std::uint32_t>(p, v);
}
inline void putLe16(std::uint8_t* p, std::uint16_t v) {
    platform::bytes::storeLittleEndian<std::uint16_t>(p, v);
}
inline std::uint32_t getLe32(const std::uint8_t* p) {
    return platform::bytes::loadLittleEndian<std::uint32_t>(p);
}
inline std::uint16_t getLe16(const std::uint8_t* p) {
    return platform::bytes::loadLittleEndian<std::uint16_t>(p);
}

}  // namespace gridcode
