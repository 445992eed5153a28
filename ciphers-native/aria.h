// The ARIA block cipher (KS X 1213, RFC 5794) in ECB mode over zero-terminated texts, keyed
// from a password through MD5, with the cipher text carried as lowercase hexadecimal. The block
// core is aria/aria_core.h.
#pragma once

#include <cstdint>
#include <span>

#include "ciphers-native/aria/aria_core.h"
#include "ciphers-native/codings.h"

namespace sealwyn {

class Aria {
  public:
    enum class Direction { Encrypt, Decrypt };
    static constexpr int kBlockSize = 16;

    Aria() = default;
    virtual ~Aria() { release(); }
    Aria(const Aria&) = delete;
    Aria& operator=(const Aria&) = delete;

    // Key from a password: MD5 of its bytes (up to a zero byte) repeated to 32 bytes, of which
    // the first keyBits / 8 are used. Only 128, 192 and 256 bits build a schedule; any other
    // length returns false and leaves the object without a key.
    bool setKey(std::span<const std::uint8_t> password, int keyBits, Direction direction);
    // The standard's key schedule under a key given directly (keyBits / 8 bytes).
    bool setRawKey(std::span<const std::uint8_t> key, int keyBits, Direction direction);
    bool hasKey() const { return core_.hasKey(); }
    int rounds() const { return core_.rounds(); }

    // Transforms each 16-byte block independently. Returns the length, or -1 (nothing written)
    // when it is not a multiple of 16 or no key is set.
    int ecbProcess(const std::uint8_t* in, std::uint8_t* out, std::size_t length) const;

    // Zero-terminated text -> lowercase hexadecimal cipher text: the text, its zero byte and
    // zero bytes up to the next multiple of 16. Empty when no key is set.
    Bytes encryptText(std::span<const std::uint8_t> text) const;
    // Hexadecimal cipher text -> the plain bytes up to the first zero byte (all of them when
    // none is zero). Empty when the decoded length is not a multiple of 16 or no key is set.
    Bytes decryptText(std::span<const std::uint8_t> hex) const;

    // Frees the round keys; the object then has no key.
    void release();

  private:
    aria::AriaCore core_;
    Direction direction_ = Direction::Encrypt;
};

}  // namespace sealwyn
