#include "ciphers/dbcodec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <numeric>
#include <utility>

#include "ciphers/messagekey.h"
#include "platform/text/text.h"

namespace ciphra {

namespace text = platform::text;

void rc4(std::span<std::uint8_t> data, std::span<const std::uint8_t> key) {
    if (key.empty()) throw text::Error(5, u"Invalid procedure call or argument");
    // The state is kept in words rather than bytes: the swaps then need no byte merging, and
    // the keystream is gathered eight bytes at a time for one eight-byte XOR.
    std::uint32_t s[256];
    for (std::uint32_t i = 0; i < 256; ++i) s[i] = i;
    const std::size_t keyLength = std::min<std::size_t>(key.size(), 256);
    std::uint32_t j = 0;
    for (std::size_t i = 0, k = 0; i < 256; ++i) {
        j = (j + s[i] + key[k]) & 0xFF;
        std::swap(s[i], s[j]);
        if (++k == keyLength) k = 0;
    }
    // The keystream, one byte a step. The state word the next step reads is fetched before this
    // step's swap is stored, so the two memory round trips overlap; when this step's swap wrote
    // that very word (the next index is this step's j), the value just stored is taken instead.
    std::uint32_t a = 0, b = 0;
    std::uint32_t sa = s[1];
    auto next = [&]() -> std::uint64_t {
        a = (a + 1) & 0xFF;
        b = (b + sa) & 0xFF;
        const std::uint32_t sb = s[b];
        const std::uint32_t ahead = (a + 1) & 0xFF;
        const std::uint32_t fetched = s[ahead];
        s[b] = sa;
        s[a] = sb;
        const std::uint32_t out = s[(sa + sb) & 0xFF];
        sa = ahead == b ? sa : fetched;
        return out;
    };
    std::uint8_t* p = data.data();
    std::size_t left = data.size();
    for (; left >= 8; left -= 8, p += 8) {
        std::uint64_t stream = next();
        stream |= next() << 8;
        stream |= next() << 16;
        stream |= next() << 24;
        stream |= next() << 32;
        stream |= next() << 40;
        stream |= next() << 48;
        stream |= next() << 56;
        if constexpr (std::endian::native == std::endian::big) stream = __builtin_bswap64(stream);
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        word ^= stream;
        std::memcpy(p, &word, 8);
    }
    for (; left > 0; --left, ++p) *p ^= static_cast<std::uint8_t>(next());
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
    // Base64 a piece at a time into a text that has room for the key from the start: pieces of
    // a multiple of three bytes encode to the Base64 of the whole, and the enciphered bytes go
    // as soon as they are written.
    constexpr std::size_t kPiece = 3 * 256 * 1024;
    std::u16string out;
    out.reserve((data.size() + 2) / 3 * 4 + key.size());
    for (std::size_t at = 0; at < data.size() || at == 0; at += kPiece) {
        const std::size_t n = std::min(kPiece, data.size() - at);
        if (n == data.size()) {
            out.append(base64(data));
        } else {
            const std::vector<std::uint8_t> piece(
                data.begin() + static_cast<std::ptrdiff_t>(at),
                data.begin() + static_cast<std::ptrdiff_t>(at + n));
            out.append(base64(piece));
        }
        if (at + n >= data.size()) break;
    }
    std::vector<std::uint8_t>().swap(data);
    // The key goes into the front; what follows it stays where it is.
    const std::size_t front = std::min(out.size(), kMessageKeyLength);
    out.replace(0, front, insertKey(std::u16string_view(out).substr(0, front), key));
    // Every CR LF pair out, in place.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == u'\r' && i + 1 < out.size() && out[i + 1] == u'\n') {
            ++i;
            continue;
        }
        out[kept++] = out[i];
    }
    out.resize(kept);
    return out;
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
