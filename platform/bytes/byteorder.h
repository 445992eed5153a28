// Words read from and written to byte strings in a fixed byte order, whatever the machine's
// own: the block ciphers read big-endian words, the file and wire formats little-endian ones.
// The type is always named at the call, so a word is never packed at a width it was not meant
// to have.
#pragma once

#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace platform::bytes {

// The word with its bytes in the opposite order.
template <std::unsigned_integral T>
constexpr T byteSwapped(T v) {
    if constexpr (sizeof(T) == 1) {
        return v;
    } else if constexpr (sizeof(T) == 2) {
        return __builtin_bswap16(v);
    } else if constexpr (sizeof(T) == 4) {
        return __builtin_bswap32(v);
    } else {
        static_assert(sizeof(T) == 8);
        return __builtin_bswap64(v);
    }
}

// The word in the given order, from (into) the machine's own.
template <std::endian Order, std::unsigned_integral T>
constexpr T ordered(T v) {
    if constexpr (Order == std::endian::native) {
        return v;
    } else {
        return byteSwapped(v);
    }
}

template <std::unsigned_integral T>
T loadLittleEndian(const std::uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return ordered<std::endian::little>(v);
}

template <std::unsigned_integral T>
T loadBigEndian(const std::uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return ordered<std::endian::big>(v);
}

template <std::unsigned_integral T>
void storeLittleEndian(std::uint8_t* p, std::type_identity_t<T> v) {
    v = ordered<std::endian::little>(v);
    std::memcpy(p, &v, sizeof v);
}

template <std::unsigned_integral T>
void storeBigEndian(std::uint8_t* p, std::type_identity_t<T> v) {
    v = ordered<std::endian::big>(v);
    std::memcpy(p, &v, sizeof v);
}

// Appends the word's bytes, least significant first.
template <std::unsigned_integral T>
void appendLittleEndian(std::vector<std::uint8_t>& out, std::type_identity_t<T> v) {
    const std::size_t at = out.size();
    out.resize(at + sizeof v);
    storeLittleEndian<T>(out.data() + at, v);
}

}  // namespace platform::bytes
