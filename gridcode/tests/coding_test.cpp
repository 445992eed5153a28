#include <gtest/gtest.h>

#include <random>
#include <string_view>

#include "gridcode/coding.h"
#include "gridcode/tests/decoder.h"

namespace gridcode {
namespace {

std::span<const std::uint8_t> bytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(GridCrc, PublishedAndLibraryCheckValues) {
    EXPECT_EQ(crc16(bytes("123456789")), 0x31C3);
    EXPECT_EQ(crc16({}), 0);
    EXPECT_EQ(crc32(bytes("123456789")), 0x20D421B6u);
    EXPECT_EQ(crc32({}), 0u);
    const std::uint8_t zero[] = {0x00}, ff[] = {0xFF};
    EXPECT_EQ(crc32(zero), 0x2D02EF8Du);
    EXPECT_EQ(crc32(ff), 0u);
}

TEST(GridCheckRow, ByteOfEachColumn) {
    struct Case {
        std::uint8_t a, b, c, expected;
    };
    for (const Case& t : {Case{0, 0, 0, 0xFF}, Case{1, 0, 0, 0x10}, Case{0x12, 0x34, 0x56, 0x28}})
        EXPECT_EQ(checkRowByte(t.a, t.b, t.c), t.expected) << int(t.a);
}

TEST(GridField, TwoGeneratesTheWholeField) {
    const Field& f = field();
    std::vector<bool> seen(256, false);
    for (int i = 0; i < 255; ++i) {
        ASSERT_FALSE(seen[f.exp[i]]) << i;
        seen[f.exp[i]] = true;
    }
    EXPECT_FALSE(seen[0]);
    EXPECT_EQ(f.exp[8], 0x71);  // x^8 = x^6 + x^5 + x^4 + 1
}

TEST(ReedSolomonCode, DataBytesPerCodewordFollowTheLevel) {
    const struct {
        int level;
        int dataBytes;
    } cases[] = {{0, 255}, {1, 254}, {50, 192}, {100, 128}};
    for (const auto& c : cases) EXPECT_EQ(dataBytesForLevel(c.level), c.dataBytes) << c.level;
}

TEST(ReedSolomonCode, SingleCheckByteVectors) {
    const ReedSolomon rs(1);  // level 1: 254 data bytes
    std::vector<std::uint8_t> data(254, 0);
    std::uint8_t check = 0;
    data[0] = 1;
    rs.encode(data, {&check, 1});
    EXPECT_EQ(check, 0x02);
    data[0] = 0;
    data[253] = 1;
    rs.encode(data, {&check, 1});
    EXPECT_EQ(check, 0xB8);
}

TEST(ReedSolomonCode, EveryWordHasZeroSyndromesAndErrorsAreMended) {
    std::mt19937 random(7);
    for (int checks : {1, 2, 32, 63, 127, 231}) {
        const int k = 255 - checks;
        const ReedSolomon rs(checks);
        for (int round = 0; round < 4; ++round) {
            std::vector<std::uint8_t> word(255);
            for (int j = 0; j < k; ++j) word[checks + j] = static_cast<std::uint8_t>(random());
            rs.encode({word.data() + checks, static_cast<std::size_t>(k)},
                      {word.data(), static_cast<std::size_t>(checks)});
            for (std::uint8_t s : syndromes(word, checks)) ASSERT_EQ(s, 0) << checks;
            auto damaged = word;
            const int errors = checks / 2;
            for (int e = 0; e < errors; ++e) damaged[(e * 97 + round * 13) % 255] ^= 0x5A + e;
            EXPECT_EQ(testing::correct(damaged, checks), errors) << checks;
            EXPECT_EQ(damaged, word) << checks;
        }
    }
}

TEST(ReedSolomonCode, ShortenedWordsAndTooManyErrors) {
    const ReedSolomon rs(32);
    std::vector<std::uint8_t> word(48, 0);
    for (int j = 0; j < 16; ++j) word[32 + j] = static_cast<std::uint8_t>(j * 11 + 3);
    rs.encode({word.data() + 32, 16}, {word.data(), 32});
    for (std::uint8_t s : syndromes(word, 32)) ASSERT_EQ(s, 0);
    auto damaged = word;
    for (int e = 0; e < 16; ++e) damaged[e * 3] ^= 0xFF;
    EXPECT_EQ(testing::correct(damaged, 32), 16);
    EXPECT_EQ(damaged, word);
    for (int e = 0; e < 20; ++e) damaged[e * 2] ^= 0x33;
    EXPECT_EQ(testing::correct(damaged, 32), -1);
}

}  // namespace
}  // namespace gridcode
