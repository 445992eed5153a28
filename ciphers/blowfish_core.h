// The Blowfish block cipher (64-bit blocks, 16 rounds, big-endian words) with PKCS#5 padding
// and ECB over byte arrays.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace ciphra {

class BlowfishCore {
  public:
    // Key set-up from the standard initial tables. False (and no change) unless the key has 1
    // to 56 bytes.
    bool keyInit(std::span<const std::uint8_t> key);

    void encryptBlock(std::uint32_t& left, std::uint32_t& right) const;
    void decryptBlock(std::uint32_t& left, std::uint32_t& right) const;
    void encryptBlock(std::uint8_t block[8]) const;
    void decryptBlock(std::uint8_t block[8]) const;

    // ECB over whole 8-byte blocks; bytes past the last whole block are dropped.
    std::vector<std::uint8_t> encryptEcb(std::span<const std::uint8_t> data) const;
    std::vector<std::uint8_t> decryptEcb(std::span<const std::uint8_t> data) const;

    // Pads, then enciphers / deciphers, then removes the padding.
    std::vector<std::uint8_t> encryptBytes(std::span<const std::uint8_t> data) const;
    std::vector<std::uint8_t> decryptBytes(std::span<const std::uint8_t> data) const;

  private:
    std::uint32_t f(std::uint32_t x) const;
    std::array<std::uint32_t, 18> p_{};
    std::array<std::array<std::uint32_t, 256>, 4> s_{};
};

// p = 8 - (n mod 8) bytes of value p appended (a whole block for a multiple of 8).
std::vector<std::uint8_t> padBytes(std::span<const std::uint8_t> data);
// Looks at the last byte v only: v > 8 removes nothing; otherwise the first n - v bytes stay
// (none when n - v is not above 0).
std::vector<std::uint8_t> unpadBytes(std::span<const std::uint8_t> data);

}  // namespace ciphra
