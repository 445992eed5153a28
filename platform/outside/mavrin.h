// Our packing component: compresses and encrypts buffers in place for the grid code.
//
// Compressed form (compress answered 1): the original length as a little-endian u32, then a
// zlib stream of the original bytes. The option's low four bits choose the zlib level (0 takes
// zlib's default); other bits are ignored. When that form would not be shorter than the
// original, the buffer is left alone and compress answers 101.
//
// Encrypted form: AES-256 in counter mode over the whole buffer, length unchanged. The key is
// SHA-256 of the key text's bytes; the counter block is a fresh random 12-byte nonce followed by
// a big-endian 32-bit block counter starting at 0. The nonce is written to bytes 0 to 11 of the
// caller's 20-byte block; bytes 12 to 19 are not touched. The option is ignored.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace platform::outside::mavrin {

constexpr int kCompressed = 1;
constexpr int kStored = 101;
constexpr int kCompressFailed = -12;
constexpr int kEncrypted = 1;
constexpr int kEncryptFailed = -1;

// buffer holds *length bytes; on kCompressed *length becomes the compressed length.
int compress(std::uint8_t* buffer, std::uint32_t* length, std::int32_t option);
int encrypt(std::uint8_t* buffer, std::uint32_t length, const char* key, std::uint8_t* block,
            std::int32_t option);

// The readers' side.
bool expand(std::span<const std::uint8_t> compressed, std::vector<std::uint8_t>& out);
bool decrypt(std::span<std::uint8_t> buffer, std::string_view key,
             std::span<const std::uint8_t, 12> nonce);

}  // namespace platform::outside::mavrin
