#include "platform/text/coding.h"

#include <algorithm>
#include <array>

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

template <class Text>
Text digitsOf(std::uint32_t value, int width, HexCase letters) {
    Text out;
    out.reserve(static_cast<std::size_t>(std::max(width, 0)));
    for (int i = width - 1; i >= 0; --i)
        out += static_cast<typename Text::value_type>(i < 8 ? hexDigit(value >> (4 * i), letters)
                                                            : '0');
    return out;
}

template <class View>
std::optional<ByteString> bytesOfHex(View text) {
    if (text.size() % 2) return std::nullopt;
    ByteString out(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int hi = hexDigitValue(static_cast<char32_t>(text[i]));
        int lo = hexDigitValue(static_cast<char32_t>(text[i + 1]));
        if (hi < 0 || lo < 0) return std::nullopt;
        out[i / 2] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
    return out;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::u16string hexWord(std::uint32_t value, int width, HexCase letters) {
    return digitsOf<std::u16string>(value, width, letters);
}

std::string hexWordAscii(std::uint32_t value, int width, HexCase letters) {
    return digitsOf<std::string>(value, width, letters);
}

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
    // Values of the alphabet's characters; -1 for every other character below 128.
    static constexpr auto kValues = [] {
        std::array<std::int8_t, 128> v{};
        v.fill(-1);
        for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kAlphabet[i])] = std::int8_t(i);
        return v;
    }();
    const auto value = [](char16_t c) { return c < 128 ? kValues[c] : std::int8_t(-1); };

    ByteString out(text.size() / 4 * 3 + 3);
    std::uint8_t* at = out.data();
    const char16_t* c = text.data();
    const char16_t* const end = c + text.size();
    std::uint32_t acc = 0;
    int bits = 0, pads = 0;
    while (c != end) {
        // Whole groups of four alphabet characters at a time, while no bits are left over.
        while (bits == 0 && pads == 0 && end - c >= 4) {
            const int a = value(c[0]), b = value(c[1]), d = value(c[2]), e = value(c[3]);
            if ((a | b | d | e) < 0) break;
            const auto n = static_cast<std::uint32_t>(a << 18 | b << 12 | d << 6 | e);
            at[0] = static_cast<std::uint8_t>(n >> 16);
            at[1] = static_cast<std::uint8_t>(n >> 8);
            at[2] = static_cast<std::uint8_t>(n);
            at += 3;
            c += 4;
        }
        if (c == end) break;
        // One character at a time: blanks and line breaks are skipped, "=" pads.
        const char16_t ch = *c++;
        if (ch == u'\r' || ch == u'\n' || ch == u' ' || ch == u'\t') continue;
        if (ch == u'=') {
            ++pads;
            continue;
        }
        const int v = value(ch);
        if (v < 0 || pads) return std::nullopt;  // outside the alphabet, or data after padding
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            *at++ = static_cast<std::uint8_t>(acc >> bits);
            acc &= (1u << bits) - 1;
        }
    }
    // Leftover bits must be the padding zeros of a final group of 2 or 3 characters.
    if (bits >= 6 || pads > 2) return std::nullopt;
    out.resize(static_cast<std::size_t>(at - out.data()));
    return out;
}

}  // namespace platform::text
