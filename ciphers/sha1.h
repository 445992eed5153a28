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

std::array<std::uint8_t, 20> sha1Digest(std::span<const std::uint8_t> data);

class clsSHA1 {
  public:
    // The digest of the text's ANSI bytes in upper-case hexadecimal.
    std::u16string SHA1(std::u16string_view text) const;
};

}  // namespace ciphra
