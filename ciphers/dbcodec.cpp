#include "ciphers/dbcodec.h"

#include <array>
#include <numeric>
#include <utility>

#include "ciphers/messagekey.h"
#include "platform/text/text.h"

namespace ciphra {

namespace text = platform::text;

void rc4(std::span<std::uint8_t> data, std::span<const std::uint8_t> key) {
    if (key.empty()) throw text::Error(5, u"Invalid procedure call or argument");
    std::array<std::uint8_t, 256> s;
    std::iota(s.begin(), s.end(), 0);
    const std::size_t keyLength = std::min<std::size_t>(key.size(), 256);
    std::uint8_t j = 0;
    for (std::size_t i = 0; i < 256; ++i) {
        j = static_cast<std::uint8_t>(j + s[i] + key[i % keyLength]);
        std::swap(s[i], s[j]);
    }
    std::uint8_t a = 0, b = 0;
    for (auto& byte : data) {
        a = static_cast<std::uint8_t>(a + 1);
        b = static_cast<std::uint8_t>(b + s[a]);
        std::swap(s[a], s[b]);
        byte ^= s[static_cast<std::uint8_t>(s[a] + s[b])];
    }
}

std::vector<std::uint8_t>& dbDecode(std::vector<std::uint8_t>& data, std::u16string_view key) {
    std::vector<std::uint8_t> keyBytes;
    keyBytes.reserve(std::min<std::size_t>(key.size(), 256));
    for (std::size_t i = 0; i < key.size() && i < 256; ++i) {
        std::vector<std::uint8_t> code = text::toAnsi(key.substr(i, 1));
        if (code.size() != 1) throw text::Error(6, u"Overflow");
        keyBytes.push_back(code[0]);
    }
    if (data.empty()) return data;
    rc4(data, keyBytes);
    return data;
}

std::u16string messageEncode(std::vector<std::uint8_t> data, std::u16string_view key,
                             const Base64Encoder& base64) {
    dbDecode(data, key);
    std::u16string woven = insertKey(base64(data), key);
    return text::Replace(woven, u"\r\n", u"");
}

MessageParts splitMessage(std::u16string_view cipherText) {
    MessageParts parts;
    parts.body = std::u16string(cipherText);
    parts.key = extractKey(parts.body);
    return parts;
}

std::vector<std::uint8_t> messageDecodeBody(const MessageParts& parts,
                                            const Base64Decoder& base64) {
    std::vector<std::uint8_t> bytes = base64(parts.body);
    dbDecode(bytes, parts.key);
    return bytes;
}

}  // namespace ciphra
