// The table stream cipher of the message formats (RC4 over bytes under a text key) and the
// message cipher text built on it: the bytes enciphered under a fresh message key, in Base64,
// with the key woven into the even positions 2 to 50.
//
// Shared by the message cipher library and the viewer control's own decoding: the Base64
// step is passed in, so each caller uses its own Base64 component.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ciphra {

// Plain RC4: the key bytes repeated over the 256 key-schedule positions (a key longer than 256
// bytes uses its first 256), no keystream bytes dropped. The same call enciphers and
// deciphers. An empty key raises platform::text::Error 5.
void rc4(std::span<std::uint8_t> data, std::span<const std::uint8_t> key);

// RC4 under a text key whose characters are taken by their code in the system ANSI code page.
// A character that takes two bytes there raises platform::text::Error 6 "Overflow"; an empty
// key raises error 5. Enciphers or deciphers `data` in place and returns it.
std::vector<std::uint8_t>& dbDecode(std::vector<std::uint8_t>& data, std::u16string_view key);

using Base64Encoder = std::function<std::u16string(const std::vector<std::uint8_t>&)>;
using Base64Decoder = std::function<std::vector<std::uint8_t>(std::u16string_view)>;

// The message cipher text of `data` under `key`: RC4, Base64, the key woven in, every CR LF
// pair removed. A long `data` goes to `base64` in pieces of a multiple of three bytes whose
// texts are joined, so the encoder must write no line breaks of its own.
std::u16string messageEncode(std::vector<std::uint8_t> data, std::u16string_view key,
                             const Base64Encoder& base64);

// A message cipher text taken apart: the key from its even positions and the rest.
struct MessageParts {
    std::u16string key;
    std::u16string body;  // the Base64 text
};
MessageParts splitMessage(std::u16string_view cipherText);

// Deciphers the Base64 body under the key (no key check here).
std::vector<std::uint8_t> messageDecodeBody(const MessageParts& parts, const Base64Decoder& base64);

}  // namespace ciphra
