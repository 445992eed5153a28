// Class, interface and category identifiers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/coding.h"

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
// The one reading of the registry form, for run-time texts and compile-time constants alike.
template <class Char>
constexpr std::optional<Guid> parseGuid(std::basic_string_view<Char> t) {
    if (t.size() == 38) {
        if (t.front() != '{' || t.back() != '}') return std::nullopt;
        t = t.substr(1, 36);
    }
    if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-')
        return std::nullopt;
    const auto field = [t](std::size_t at, std::size_t digits) {
        return platform::text::fromHexWord(t.substr(at, digits));
    };
    const auto data1 = field(0, 8), data2 = field(9, 4), data3 = field(14, 4);
    if (!data1 || !data2 || !data3) return std::nullopt;
    Guid g;
    g.data1 = *data1;
    g.data2 = static_cast<std::uint16_t>(*data2);
    g.data3 = static_cast<std::uint16_t>(*data3);
    // The last two groups are the eight bytes of data4 in order.
    constexpr std::size_t kData4At[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (std::size_t i = 0; i < 8; ++i) {
        const auto byte = field(kData4At[i], 2);
        if (!byte) return std::nullopt;
        g.data4[i] = static_cast<std::uint8_t>(*byte);
    }
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
