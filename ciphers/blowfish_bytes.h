// Blowfish over byte arrays for the Blowfish class: PKCS#5 padding and ECB on the block core.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ciphers/blowfish/blowfish_core.h"

namespace ciphra {

// ECB over whole 8-byte blocks; bytes past the last whole block are dropped.
std::vector<std::uint8_t> encryptEcb(const blowfish::BlowfishCore& core,
                                     std::span<const std::uint8_t> data);
std::vector<std::uint8_t> decryptEcb(const blowfish::BlowfishCore& core,
                                     std::span<const std::uint8_t> data);

// Pads, then enciphers / deciphers, then removes the padding.
std::vector<std::uint8_t> encryptBytes(const blowfish::BlowfishCore& core,
                                       std::span<const std::uint8_t> data);
std::vector<std::uint8_t> decryptBytes(const blowfish::BlowfishCore& core,
                                       std::span<const std::uint8_t> data);

// p = 8 - (n mod 8) bytes of value p appended (a whole block for a multiple of 8).
std::vector<std::uint8_t> padBytes(std::span<const std::uint8_t> data);
// Looks at the last byte v only: v > 8 removes nothing; otherwise the first n - v bytes stay
// (none when n - v is not above 0).
std::vector<std::uint8_t> unpadBytes(std::span<const std::uint8_t> data);

}  // namespace ciphra
