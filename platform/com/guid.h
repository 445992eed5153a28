// Class, interface and category identifiers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform::com {

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    // Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional, either case).
    static std::optional<Guid> parse(std::u16string_view text);
    static std::optional<Guid> parse(std::string_view text);
    // A constant from its registry form, checked at compile time.
    static consteval Guid of(std::string_view text);

    // Registry form: in braces, uppercase hexadecimal digits.
    std::u16string str() const;
    std::string utf8() const;
    bool isNull() const { return *this == Guid{}; }

    friend bool operator==(const Guid&, const Guid&) = default;
    friend auto operator<=>(const Guid&, const Guid&) = default;
};

namespace detail {
template <class Char>
constexpr int hexDigit(Char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The one reading of the registry form, for run-time texts and compile-time constants alike.
template <class Char>
constexpr std::optional<Guid> parseGuid(std::basic_string_view<Char> t) {
    if (t.size() == 38) {
        if (t.front() != '{' || t.back() != '}') return std::nullopt;
        t = t.substr(1, 36);
    }
    if (t.size() != 36) return std::nullopt;
    std::uint8_t b[16] = {};
    std::size_t n = 0;
    for (std::size_t i = 0; i < t.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (t[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int hi = hexDigit(t[i]), lo = hexDigit(t[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        b[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
        i += 2;
    }
    Guid g;
    g.data1 = (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) |
              (std::uint32_t(b[2]) << 8) | b[3];
    g.data2 = static_cast<std::uint16_t>((b[4] << 8) | b[5]);
    g.data3 = static_cast<std::uint16_t>((b[6] << 8) | b[7]);
    for (int i = 0; i < 8; ++i) g.data4[i] = b[8 + i];
    return g;
}
}  // namespace detail

inline std::optional<Guid> Guid::parse(std::u16string_view text) {
    return detail::parseGuid(text);
}

inline std::optional<Guid> Guid::parse(std::string_view text) {
    return detail::parseGuid(text);
}

consteval Guid Guid::of(std::string_view text) {
    auto g = detail::parseGuid(text);
    if (!g) throw "not a GUID";
    return *g;
}

// Identifiers of the platform's own interfaces and classes.
inline constexpr Guid IID_NULL{};
inline constexpr Guid IID_IUnknown = Guid::of("{00000000-0000-0000-C000-000000000046}");
inline constexpr Guid IID_IDispatch = Guid::of("{00020400-0000-0000-C000-000000000046}");
inline constexpr Guid IID_IClassFactory = Guid::of("{00000001-0000-0000-C000-000000000046}");
inline constexpr Guid IID_IConnectionPointContainer =
    Guid::of("{B196B284-BAB4-101A-B69C-00AA00341D07}");
inline constexpr Guid IID_IObjectSafety = Guid::of("{CB5BDC81-93C1-11CF-8F20-00805F2CD064}");
inline constexpr Guid IID_IEnumVARIANT = Guid::of("{00020404-0000-0000-C000-000000000046}");
inline constexpr Guid IID_IPersistStorage = Guid::of("{0000010A-0000-0000-C000-000000000046}");
inline constexpr Guid IID_IPersistStream = Guid::of("{00000109-0000-0000-C000-000000000046}");
inline constexpr Guid IID_ICatRegister = Guid::of("{0002E012-0000-0000-C000-000000000046}");
inline constexpr Guid CLSID_StdComponentCategoriesMgr =
    Guid::of("{0002E005-0000-0000-C000-000000000046}");
inline constexpr Guid CATID_SafeForScripting = Guid::of("{7DD95801-9882-11CF-9FA9-00AA006C42C4}");
inline constexpr Guid CATID_SafeForInitializing =
    Guid::of("{7DD95802-9882-11CF-9FA9-00AA006C42C4}");
inline constexpr Guid CATID_Control = Guid::of("{40FC6ED4-2438-11CF-A3DB-080036F12502}");

}  // namespace platform::com

template <>
struct std::hash<platform::com::Guid> {
    std::size_t operator()(const platform::com::Guid& g) const noexcept {
        std::size_t h = g.data1 ^ (std::size_t(g.data2) << 32) ^ (std::size_t(g.data3) << 48);
        for (auto b : g.data4) h = h * 131 + b;
        return h;
    }
};
