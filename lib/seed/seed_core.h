// The SEED block cipher (KISA TTAS.KO-12.0004, RFC 4269): 128-bit blocks, 128-bit key,
// 16 Feistel rounds. This is the raw block core; the password-derived text cipher of the
// native cipher class and the CBC class of the control library both build on it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace sealwyn::seed {

constexpr std::size_t kBlockSize = 16;
constexpr std::size_t kKeySize = 16;

// The four 32-bit substitution tables SS0..SS3 of the standard (read-only, shared).
const std::array<std::uint32_t, 256>& ss(int which);

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

    const std::array<std::uint32_t, 32>& roundKeys() const { return roundKeys_; }

  private:
    std::array<std::uint32_t, 32> roundKeys_{};
};

}  // namespace sealwyn::seed
