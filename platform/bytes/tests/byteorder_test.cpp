#include "platform/bytes/byteorder.h"

#include <gtest/gtest.h>

namespace {

using namespace platform::bytes;
using Bytes = std::vector<std::uint8_t>;

// Each word against the bytes it must become in either order, written out by hand.
TEST(ByteOrder, WordsAgainstTheirBytes) {
    const Bytes big16{0x12, 0x34}, little16{0x34, 0x12};
    const Bytes big32{0x12, 0x34, 0x56, 0x78}, little32{0x78, 0x56, 0x34, 0x12};
    const Bytes big64{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    const Bytes little64{0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01};

    Bytes b(2);
    storeBigEndian<std::uint16_t>(b.data(), 0x1234);
    EXPECT_EQ(b, big16);
    storeLittleEndian<std::uint16_t>(b.data(), 0x1234);
    EXPECT_EQ(b, little16);
    EXPECT_EQ(loadBigEndian<std::uint16_t>(big16.data()), 0x1234);
    EXPECT_EQ(loadLittleEndian<std::uint16_t>(little16.data()), 0x1234);

    b.assign(4, 0);
    storeBigEndian<std::uint32_t>(b.data(), 0x12345678);
    EXPECT_EQ(b, big32);
    storeLittleEndian<std::uint32_t>(b.data(), 0x12345678);
    EXPECT_EQ(b, little32);
    EXPECT_EQ(loadBigEndian<std::uint32_t>(big32.data()), 0x12345678u);
    EXPECT_EQ(loadLittleEndian<std::uint32_t>(little32.data()), 0x12345678u);

    b.assign(8, 0);
    storeBigEndian<std::uint64_t>(b.data(), 0x0123456789ABCDEF);
    EXPECT_EQ(b, big64);
    storeLittleEndian<std::uint64_t>(b.data(), 0x0123456789ABCDEF);
    EXPECT_EQ(b, little64);
    EXPECT_EQ(loadBigEndian<std::uint64_t>(big64.data()), 0x0123456789ABCDEFu);
    EXPECT_EQ(loadLittleEndian<std::uint64_t>(little64.data()), 0x0123456789ABCDEFu);

    EXPECT_EQ(byteSwapped<std::uint32_t>(0x12345678), 0x78563412u);
}

// Words read from and written to places that are not aligned to their size.
TEST(ByteOrder, UnalignedPlacesAndAppending) {
    Bytes b{0xAA};
    appendLittleEndian<std::uint32_t>(b, 0x11223344);
    appendLittleEndian<std::uint16_t>(b, 0x5566);
    EXPECT_EQ(b, (Bytes{0xAA, 0x44, 0x33, 0x22, 0x11, 0x66, 0x55}));
    EXPECT_EQ(loadLittleEndian<std::uint32_t>(b.data() + 1), 0x11223344u);
    EXPECT_EQ(loadBigEndian<std::uint16_t>(b.data() + 5), 0x6655);
    storeBigEndian<std::uint32_t>(b.data() + 3, 0xDEADBEEF);
    EXPECT_EQ(b, (Bytes{0xAA, 0x44, 0x33, 0xDE, 0xAD, 0xBE, 0xEF}));
}

}  // namespace
