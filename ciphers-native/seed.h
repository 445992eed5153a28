// SEED in ECB mode over zero-terminated texts, keyed from a password through MD5, with the
// cipher text carried as lowercase hexadecimal. The block core is seed/seed_core.h.
#pragma once

#include <cstdint>
#include <span>

#include "ciphers-native/codings.h"
#include "lib/seed/seed_core.h"

namespace sealwyn {

class Seed {
  public:
    static constexpr std::size_t kBlockSize = tessel::seed::kBlockSize;
    static constexpr std::size_t kMinimumCapacity = 64;

    // Key := MD5 of the password's bytes up to a zero byte, as the 128-bit user key.
    void setKey(std::span<const std::uint8_t> password);
    void encryptBlock(std::uint8_t* block) const { core_.encryptBlock(block); }
    void decryptBlock(std::uint8_t* block) const { core_.decryptBlock(block); }

    // Encrypts n bytes into the object's output buffer, zero-filled to the next multiple of 16;
    // returns that padded length. The buffer is valid until the next call.
    std::size_t ecbEncrypt(std::span<const std::uint8_t> data);
    const std::uint8_t* output() const { return output_.data(); }

    // Zero-terminated text -> lowercase hexadecimal of the text and its zero byte, zero-filled
    // to the next multiple of 16.
    Bytes encryptText(std::span<const std::uint8_t> text);
    // Hexadecimal cipher text -> the bytes of its whole blocks up to the first zero byte (all
    // of them when none is zero). A partial last block is left out.
    Bytes decryptText(std::span<const std::uint8_t> hex) const;

  private:
    tessel::seed::SeedCore core_;
    Bytes output_;  // grows to max(needed, 64) bytes, never shrinks
};

}  // namespace sealwyn
