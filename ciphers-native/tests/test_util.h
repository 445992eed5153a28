// Helpers shared by the cipher tests.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/coding.h"

namespace sealwyn::test {

inline std::vector<std::uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

inline std::string str(const std::vector<std::uint8_t>& b) {
    return {b.begin(), b.end()};
}

// The bytes of a hexadecimal text the test writes itself (a typo in it fails the test).
inline std::vector<std::uint8_t> unhex(std::string_view hex) {
    auto bytes = platform::text::fromHex(hex);
    if (!bytes) throw std::invalid_argument("not a hexadecimal text: " + std::string(hex));
    return *bytes;
}

inline std::string hex(const std::uint8_t* p, std::size_t n) {
    return platform::text::toHexAscii(std::span(p, n));
}

template <class C>
std::string hex(const C& c) {
    return hex(c.data(), c.size());
}

}  // namespace sealwyn::test
