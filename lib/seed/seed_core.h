// The SEED block cipher (KISA TTAS.KO-12.0004, RFC 4269): 128-bit blocks, 128-bit key,
// 16 Feistel rounds. This is the raw block core, a library of its own: the password-derived
// text cipher of the native cipher library and the CBC class of the control library both
// build on it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tessel::seed {

constexpr std::size_t kBlockSize = 16;
constexpr std::size_t kKeySize = 16;

// The four 32-bit substitution tables SS0..SS3 of the standard (read-only, shared).
const std::array<std::uint32_t, 256>& ss(int which);

using RoundKeys = std::array<std::uint32_t, 32>;

// The 32 round-key words of a 128-bit user key, and one block in place under given round keys,
// for a user that keeps the round keys in storage of its own.
void expandKey(std::span<const std::uint8_t, kKeySize> key, RoundKeys& roundKeys);
void encryptBlock(const RoundKeys& roundKeys, std::uint8_t* block);
void decryptBlock(const RoundKeys& roundKeys, std::uint8_t* block);

class SeedCore {
  public:
    SeedCore() = default;
    explicit SeedCore(std::span<const std::uint8_t, kKeySize> key) { setKey(key); }

    // Derives the 32 round-key words from a 128-bit user key (four big-endian words).
    void setKey(std::span<const std::uint8_t, kKeySize> key);
    // One block in place; words are read and written big-endian.
    void encryptBlock(std::uint8_t* block) const;
    void decryptBlock(std::uint8_t* block) const;

    // Transforms whole 16-byte blocks from `in` into `out`, which may be the same memory.
    // False, with nothing written, when the sizes differ or are not a multiple of 16.
    bool encryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;
    bool decryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;

    const RoundKeys& roundKeys() const { return roundKeys_; }

  private:
    RoundKeys roundKeys_{};
};

}  // namespace tessel::seed
