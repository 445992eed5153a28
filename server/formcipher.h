// The message cipher encoder that the server's window carries beside the message cipher
// library: RC4 under a 25-digit message key, Base64, and the key woven into the first 50
// characters of the result. It is the library's own table stream cipher, key generation and
// key weave; texts become bytes through the system ANSI code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::server {

using Bytes = std::vector<std::uint8_t>;

// The message cipher text of a text under a message key; "" when it cannot be made (a key
// character outside one ANSI byte, an empty key).
std::u16string EncodeDes(std::u16string_view PlainText, std::u16string_view Password);
// RC4 of the bytes in place under the key; returns them.
Bytes& DesEncode(Bytes& ByteArray, std::u16string_view passwd);
// RC4 in place. A key character that takes more than one ANSI byte raises
// platform::text::Error 6 "Overflow"; an empty key raises error 5.
void RC4(Bytes& ByteArray, std::u16string_view Password);

Bytes STRING_TO_BYTES(std::u16string_view sString);
std::u16string BYTES_TO_STRING(const Bytes& bBytes);

// A new message key: five groups of five digits, each from 10000 to 19999 and divisible by
// 17, 19, 31, 61 and 89 in turn, drawn from the system's cryptographic random source.
std::u16string CreateKey();

// Characters 1..25 of target, each followed by the character at the same position of src
// (when there is one), then target from its 26th character on.
std::u16string EmbedString(std::u16string_view target, std::u16string_view src);

// The trace hook of the URL encoder; it records nothing.
inline void LogTrace(std::u16string_view /*message*/, std::int16_t /*level*/, bool /*flag*/) {}

}  // namespace tessel::server
