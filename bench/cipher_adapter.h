// The system's own block ciphers, stream cipher and digests behind one small interface, so the
// benchmarks do not depend on how each core spells its block-level calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace tessel::bench {

class BlockCipher {
  public:
    virtual ~BlockCipher() = default;
    // Key schedule for encryption; false when the core refuses the key.
    virtual bool setKey(std::span<const std::uint8_t> key) = 0;
    // ECB over whole blocks (length a multiple of the block size).
    virtual void encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) = 0;
};

std::unique_ptr<BlockCipher> ourAria(int keyBits);
std::unique_ptr<BlockCipher> ourSeed();
std::unique_ptr<BlockCipher> ourBlowfish();

// Key schedule plus keystream over the data, in place.
void ourRc4(std::span<std::uint8_t> data, std::span<const std::uint8_t> key);
std::array<std::uint8_t, 16> ourMd5(std::span<const std::uint8_t> data);
// The digest as the library computes it (the CPU's SHA instructions when it has them).
std::array<std::uint8_t, 20> ourSha1(std::span<const std::uint8_t> data);
// The digest through the portable code only.
std::array<std::uint8_t, 20> ourSha1Portable(std::span<const std::uint8_t> data);

}  // namespace tessel::bench
