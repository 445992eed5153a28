// Helpers shared by the cipher tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sealwyn::test {

inline std::vector<std::uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

inline std::string str(const std::vector<std::uint8_t>& b) {
    return {b.begin(), b.end()};
}

inline std::vector<std::uint8_t> unhex(std::string_view hex) {
    std::vector<std::uint8_t> out;
    auto v = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(v(hex[i]) * 16 + v(hex[i + 1])));
    return out;
}

inline std::string hex(const std::uint8_t* p, std::size_t n) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

template <class C>
std::string hex(const C& c) {
    return hex(c.data(), c.size());
}

}  // namespace sealwyn::test
