#include "ciphers-native/codings.h"

#include <algorithm>
#include <string_view>

namespace sealwyn {

namespace {

constexpr char kLowerDigits[] = "0123456789abcdef";
constexpr char kUpperDigits[] = "0123456789ABCDEF";

int hexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
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
    Bytes out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out.push_back(static_cast<std::uint8_t>(kLowerDigits[b >> 4]));
        out.push_back(static_cast<std::uint8_t>(kLowerDigits[b & 15]));
    }
    return out;
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
            out.push_back('%');
            out.push_back(static_cast<std::uint8_t>(kUpperDigits[b >> 4]));
            out.push_back(static_cast<std::uint8_t>(kUpperDigits[b & 15]));
        } else {
            out.push_back(b);
        }
    }
    return out;
}

}  // namespace sealwyn
