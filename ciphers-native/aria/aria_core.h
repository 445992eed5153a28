// The ARIA block cipher (KS X 1213, RFC 5794): 128-bit blocks, 128-, 192- or 256-bit keys,
// 12, 14 or 16 rounds. This is the raw block core: key schedule and whole blocks only; the
// password-keyed text cipher (modes, padding, text coding) builds on it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace sealwyn::aria {

constexpr std::size_t kBlockSize = 16;
constexpr int kMaxRounds = 16;

class AriaCore {
  public:
    AriaCore() = default;
    ~AriaCore() { clear(); }
    AriaCore(const AriaCore&) = default;
    AriaCore& operator=(const AriaCore&) = default;

    // Derives the encryption and decryption round keys from a key of 16, 24 or 32 bytes. Any
    // other length returns false and leaves the object without a key.
    bool setKey(std::span<const std::uint8_t> key);
    bool hasKey() const { return rounds_ > 0; }
    int rounds() const { return rounds_; }

    // Transforms whole 16-byte blocks from `in` into `out`, which may be the same memory.
    // False, with nothing written, when the sizes differ, are not a multiple of 16, or no key
    // is set.
    bool encryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;
    bool decryptBlocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;

    // Wipes the round keys; the object then has no key.
    void clear();

  private:
    // Round key n is words 4n..4n+3, big-endian within the block.
    using Schedule = std::array<std::uint32_t, 4 * (kMaxRounds + 1)>;
    bool process(const Schedule& keys, std::span<const std::uint8_t> in,
                 std::span<std::uint8_t> out) const;

    Schedule encrypt_{};
    Schedule decrypt_{};
    int rounds_ = 0;
};

// The diffusion layer (an involution) on one block, exposed for tests.
void diffuse(const std::uint8_t* in, std::uint8_t* out);

}  // namespace sealwyn::aria
