// The Blowfish block cipher: 64-bit blocks read as two big-endian words, 16 rounds, keys of 1
// to 56 bytes. This is the raw block core: key set-up and whole blocks only; padding and the
// byte-array modes build on it (blowfish_bytes.h).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace ciphra::blowfish {

constexpr std::size_t kBlockSize = 8;
constexpr std::size_t kMaxKeySize = 56;

class BlowfishCore {
  public:
    // Key set-up from the standard initial tables. False (and no change) unless the key has 1
    // to 56 bytes.
    bool setKey(std::span<const std::uint8_t> key);
    bool hasKey() const { return hasKey_; }

    // One block as its two words.
    void encryptBlock(std::uint32_t& left, std::uint32_t& right) const;
    void decryptBlock(std::uint32_t& left, std::uint32_t& right) const;

    // Transforms whole 8-byte blocks from `in` into `out`, which may be the same memory.
    // False, with nothing written, when the sizes differ, are not a multiple of 8, or no key
    // is set.
    bool encryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;
    bool decryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;

  private:
    std::uint32_t f(std::uint32_t x) const {
        return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) +
               s_[3][x & 0xFF];
    }

    std::array<std::uint32_t, 18> p_{};
    std::array<std::array<std::uint32_t, 256>, 4> s_{};
    bool hasKey_ = false;
};

}  // namespace ciphra::blowfish
