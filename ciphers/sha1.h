// SHA-1 (FIPS 180) of a text, as 40 upper-case hexadecimal digits. The text is hashed over its
// bytes in the system ANSI code page. Built once here and linked by every library that needs
// the digest class.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ciphra {

// The digest of the bytes. Uses the CPU's SHA instructions when it has them (checked once, at
// the first call), else portable code; both give the same digest.
std::array<std::uint8_t, 20> sha1Digest(std::span<const std::uint8_t> data);

namespace sha1_detail {
// The two ways of computing the digest, for tests and benchmarks that compare them.
std::array<std::uint8_t, 20> portableDigest(std::span<const std::uint8_t> data);
bool hasShaInstructions();
// All zero when the CPU has no SHA instructions.
std::array<std::uint8_t, 20> instructionDigest(std::span<const std::uint8_t> data);
}  // namespace sha1_detail

class clsSHA1 {
  public:
    // The digest of the text's ANSI bytes in upper-case hexadecimal.
    std::u16string SHA1(std::u16string_view text) const;
};

}  // namespace ciphra
