#include "ciphers-native/codings.h"

#include <algorithm>
#include <string_view>

#include "platform/text/coding.h"

namespace sealwyn {

namespace {

using platform::text::HexCase;

// A character that is not a hexadecimal digit counts as 0.
int hexValue(std::uint8_t c) {
    return std::max(platform::text::hexDigitValue(c), 0);
}

// The characters that are always encoded, besides the controls, the space and everything
// above "z". Built once when the library loads.
const std::string_view kUnsafeSet = "\"<>%\\^[]`+$,@:;/!#?=&";

}  // namespace

std::span<const std::uint8_t> untilNul(std::span<const std::uint8_t> text) {
    auto end = std::find(text.begin(), text.end(), std::uint8_t{0});
    return text.first(static_cast<std::size_t>(end - text.begin()));
}

Bytes hexEncode(std::span<const std::uint8_t> bytes) {
    const std::string hex = platform::text::toHexAscii(bytes);
    return Bytes(hex.begin(), hex.end());
}

Bytes hexDecode(std::span<const std::uint8_t> text) {
    Bytes out;
    out.reserve((text.size() + 1) / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hexValue(text[i]);
        const int low = i + 1 < text.size() ? hexValue(text[i + 1]) : 0;
        out.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return out;
}

Bytes encodeToHex(std::span<const std::uint8_t> text) {
    Bytes withNul(text.begin(), text.end());
    withNul.push_back(0);
    return hexEncode(withNul);
}

Bytes decodeFromHex(std::span<const std::uint8_t> text) {
    if (text.size() < 2) return {};
    Bytes out = hexDecode(text);
    out.resize(text.size() / 2 - 1);
    return out;
}

bool CURLEncode::isUnsafe(std::uint8_t byte) {
    const auto signedValue = static_cast<std::int8_t>(byte);
    if (signedValue < 33 || signedValue > 122) return true;
    return kUnsafeSet.find(static_cast<char>(byte)) != std::string_view::npos;
}

Bytes CURLEncode::encode(std::span<const std::uint8_t> text) const {
    Bytes out;
    out.reserve(text.size() * 3);
    for (std::uint8_t b : text) {
        if (isUnsafe(b)) {
            const std::string digits = platform::text::hexWordAscii(b, 2, HexCase::Upper);
            out.push_back('%');
            out.insert(out.end(), digits.begin(), digits.end());
        } else {
            out.push_back(b);
        }
    }
    return out;
}

}  // namespace sealwyn
