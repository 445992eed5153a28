#include "platform/text/coding.h"

namespace platform::text {
namespace {

template <class Text>
Text hexOf(std::span<const std::uint8_t> bytes, HexCase letters) {
    Text out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes) {
        out += static_cast<typename Text::value_type>(hexDigit(b >> 4, letters));
        out += static_cast<typename Text::value_type>(hexDigit(b & 15, letters));
    }
    return out;
}

template <class View>
std::optional<ByteString> bytesOfHex(View text) {
    if (text.size() % 2) return std::nullopt;
    ByteString out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int hi = hexDigitValue(static_cast<char32_t>(text[i]));
        int lo = hexDigitValue(static_cast<char32_t>(text[i + 1]));
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return out;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char16_t c) {
    if (c >= u'A' && c <= u'Z') return c - u'A';
    if (c >= u'a' && c <= u'z') return c - u'a' + 26;
    if (c >= u'0' && c <= u'9') return c - u'0' + 52;
    if (c == u'+') return 62;
    if (c == u'/') return 63;
    return -1;
}

}  // namespace

std::u16string toHex(std::span<const std::uint8_t> bytes, HexCase letters) {
    return hexOf<std::u16string>(bytes, letters);
}

std::string toHexAscii(std::span<const std::uint8_t> bytes, HexCase letters) {
    return hexOf<std::string>(bytes, letters);
}

std::optional<ByteString> fromHex(std::u16string_view text) {
    return bytesOfHex(text);
}

std::optional<ByteString> fromHex(std::string_view text) {
    return bytesOfHex(text);
}

std::u16string toBase64(std::span<const std::uint8_t> data) {
    std::u16string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        for (int s = 18; s >= 0; s -= 6) out += char16_t(kAlphabet[(n >> s) & 63]);
    }
    if (std::size_t rest = data.size() - i) {
        std::uint32_t n = data[i] << 16;
        if (rest == 2) n |= data[i + 1] << 8;
        out += char16_t(kAlphabet[(n >> 18) & 63]);
        out += char16_t(kAlphabet[(n >> 12) & 63]);
        out += rest == 2 ? char16_t(kAlphabet[(n >> 6) & 63]) : u'=';
        out += u'=';
    }
    return out;
}

std::optional<ByteString> fromBase64(std::u16string_view text) {
    ByteString out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t acc = 0;
    int bits = 0, pads = 0;
    for (char16_t c : text) {
        if (c == u'\r' || c == u'\n' || c == u' ' || c == u'\t') continue;
        if (c == u'=') {
            ++pads;
            continue;
        }
        int v = base64Value(c);
        if (v < 0 || pads) return std::nullopt;  // outside the alphabet, or data after padding
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(acc >> bits));
            acc &= (1u << bits) - 1;
        }
    }
    // Leftover bits must be the padding zeros of a final group of 2 or 3 characters.
    if (bits >= 6 || pads > 2) return std::nullopt;
    return out;
}

}  // namespace platform::text
