// Hexadecimal and Base64 codings of byte strings, once for the whole system. Texts come as
// UTF-16 texts or as 8-bit ASCII strings (the two forms callers hold); decoders answer nullopt
// for text that is not in the coding, so each caller reports that its own way.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::text {

using ByteString = std::vector<std::uint8_t>;

enum class HexCase { Lower, Upper };

// The value of a hexadecimal digit (either case), or -1.
constexpr int hexDigitValue(char32_t c) {
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
    if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
    return -1;
}

// The digit of a value 0..15.
constexpr char hexDigit(unsigned value, HexCase letters = HexCase::Lower) {
    return (letters == HexCase::Lower ? "0123456789abcdef" : "0123456789ABCDEF")[value & 15];
}

// The low `width` hexadecimal digits of a value, high first, with leading zeros:
// hexWord(0x2A, 4, HexCase::Upper) is "002A". A width above 8 pads with further zeros.
std::u16string hexWord(std::uint32_t value, int width, HexCase letters);
std::string hexWordAscii(std::uint32_t value, int width, HexCase letters);

namespace detail {
template <class Char>
constexpr std::optional<std::uint32_t> hexWordValue(std::basic_string_view<Char> text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (Char c : text) {
        const int digit = hexDigitValue(static_cast<char32_t>(c));
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}
}  // namespace detail

// One to eight digits (either case) as their value; nullopt for an empty or longer text or any
// other character. Usable in constant expressions.
constexpr std::optional<std::uint32_t> fromHexWord(std::u16string_view text) {
    return detail::hexWordValue(text);
}
constexpr std::optional<std::uint32_t> fromHexWord(std::string_view text) {
    return detail::hexWordValue(text);
}

// Each byte as two digits, high half first.
std::u16string toHex(std::span<const std::uint8_t> bytes, HexCase letters = HexCase::Lower);
std::string toHexAscii(std::span<const std::uint8_t> bytes, HexCase letters = HexCase::Lower);

// Pairs of digits (either case) to bytes; nullopt for an odd length or any other character.
std::optional<ByteString> fromHex(std::u16string_view text);
std::optional<ByteString> fromHex(std::string_view text);

// Base64 of RFC 4648: "=" padding, no line breaks.
std::u16string toBase64(std::span<const std::uint8_t> bytes);
// Skips CR, LF, tab and blanks; nullopt for anything else outside the alphabet, data after
// the padding, more than two padding characters or a dangling character.
std::optional<ByteString> fromBase64(std::u16string_view text);

}  // namespace platform::text
