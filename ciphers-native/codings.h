// The small codings of the native cipher library: hexadecimal text of byte strings and the
// URL percent-encoder. 8-bit texts (in the caller's ANSI code page) are byte vectors here.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sealwyn {

using Bytes = std::vector<std::uint8_t>;

// The bytes before the first zero byte (all of them when none is zero): how the library reads
// a zero-terminated 8-bit text.
std::span<const std::uint8_t> untilNul(std::span<const std::uint8_t> text);

// Each byte as two lowercase hexadecimal digits, high half first.
Bytes hexEncode(std::span<const std::uint8_t> bytes);
// Pairs of characters to bytes. "0"-"9", "A"-"F" and "a"-"f" count by their value, any other
// character as 0; an odd last character forms a byte alone as its high half. The result has
// ceil(count / 2) bytes.
Bytes hexDecode(std::span<const std::uint8_t> text);

// The text's bytes and its terminating zero byte in hexadecimal, so the result ends in "00".
Bytes encodeToHex(std::span<const std::uint8_t> text);
// Reverses encodeToHex: the first (count div 2) - 1 decoded bytes, so the last full pair and a
// lone last character are dropped; zero bytes inside are kept. Fewer than two characters give
// an empty result.
Bytes decodeFromHex(std::span<const std::uint8_t> text);

// URL percent-encoding with the library's own safe set: letters, digits and ' ( ) * - . _ are
// copied, every other byte becomes "%" and two uppercase hexadecimal digits.
class CURLEncode {
  public:
    virtual ~CURLEncode() = default;
    Bytes encode(std::span<const std::uint8_t> text) const;
    // Whether a byte is percent-encoded.
    static bool isUnsafe(std::uint8_t byte);
};

}  // namespace sealwyn
