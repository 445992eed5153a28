#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "gridcode/coding.h"
#include "gridcode/digital.h"
#include "gridcode/gridmark.h"
#include "gridcode/tests/decoder.h"
#include "platform/outside/mavrin.h"

namespace {

using gridcode::getLe16;
using gridcode::getLe32;
using gridcode::testing::readDigital;

std::vector<std::uint8_t> noise(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(random());
    return v;
}

std::vector<std::uint8_t> text(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>("grid code line "[i % 15]);
    return v;
}

struct Image {
    int rc = 0;
    std::vector<std::uint8_t> bytes;
    std::uint8_t trailer[20];
};

Image fill(const std::vector<std::uint8_t>& data, const char* key, int mode) {
    Image out;
    for (int i = 0; i < 20; ++i) out.trailer[i] = static_cast<std::uint8_t>(0xA0 + i);
    std::uint8_t* image = nullptr;
    std::uint32_t size = 0;
    out.rc = FillDigitalGrid(data.data(), static_cast<std::uint32_t>(data.size()), key,
                             static_cast<std::uint16_t>(mode), &image, &size, out.trailer, 0);
    if (image) out.bytes.assign(image, image + size);
    FreeDigitalGrid(image);
    return out;
}

TEST(DigitalGrid, PlainImageLayoutAndHeaders) {
    struct Case {
        std::size_t length;
        std::uint32_t payload, size;
    };
    // Random bytes stay uncompressed (101): p = ((n + 119) / 80) * 80 - 40.
    for (const Case& c : {Case{40, 80, 222}, Case{41, 160, 302}, Case{119, 160, 302}}) {
        const auto data = noise(c.length, 1);
        const std::time_t before = std::time(nullptr);
        Image image = fill(data, "", 0);
        const std::time_t after = std::time(nullptr);
        ASSERT_EQ(image.rc, 101) << c.length;
        const auto& b = image.bytes;
        ASSERT_EQ(b.size(), c.size);
        EXPECT_EQ(std::memcmp(b.data(), "BM", 2), 0);
        const std::uint32_t rows = (c.payload + 80) / 80;
        struct Field {
            int offset, size;
            std::uint32_t value;
        };
        for (const Field& f :
             {Field{2, 4, 0}, Field{6, 4, 0}, Field{10, 4, 62}, Field{14, 4, 40}, Field{18, 4, 640},
              Field{22, 4, rows}, Field{26, 2, 1}, Field{28, 2, 1}, Field{30, 4, 0},
              Field{34, 4, 0}, Field{38, 4, 0}, Field{42, 4, 0}, Field{46, 4, 0}, Field{50, 4, 0},
              Field{54, 4, 0}, Field{58, 4, 0x00FFFFFF}})
            EXPECT_EQ(f.size == 4 ? getLe32(&b[f.offset]) : getLe16(&b[f.offset]), f.value)
                << f.offset;
        EXPECT_EQ(std::string(b.begin() + 62, b.begin() + 70), "Korvane1");
        EXPECT_EQ(getLe32(&b[70]), c.length);
        const std::size_t p = c.payload - 40;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), b.begin() + 142));
        const std::uint8_t* block = &b[142 + p];
        EXPECT_EQ(std::vector<std::uint8_t>(block, block + 12), std::vector<std::uint8_t>(12, 0));
        EXPECT_EQ(getLe16(block + 12), 0);  // not compressed
        EXPECT_EQ(getLe16(block + 14), 0);  // not encrypted
        EXPECT_EQ(getLe32(block + 16), c.length);
        // The trailer: the caller's first 16 bytes masked with the constant, then the time.
        const std::uint8_t* trailer = &b[142 + p + 20];
        for (int i = 0; i < 16; ++i) EXPECT_EQ(trailer[i], (0xA0 + i) ^ "OlmetarQ"[i % 8]) << i;
        const std::uint32_t stamp = getLe32(trailer + 16);
        EXPECT_GE(stamp, static_cast<std::uint32_t>(before));
        EXPECT_LE(stamp, static_cast<std::uint32_t>(after));
        // The caller's record received the time and kept its clear bytes.
        for (int i = 0; i < 16; ++i) EXPECT_EQ(image.trailer[i], 0xA0 + i);
        EXPECT_EQ(getLe32(image.trailer + 16), stamp);
    }
}

TEST(DigitalGrid, PlainImagesReadBackCompressedAndEncrypted) {
    for (const char* key : {"", "k", "secret key text"}) {
        const auto data = text(5000);
        Image image = fill(data, key, 0);
        ASSERT_EQ(image.rc, 1) << key;
        const auto reading = readDigital(image.bytes, key);
        ASSERT_TRUE(reading.ok) << key << ": " << reading.failure;
        EXPECT_FALSE(reading.digital);
        EXPECT_TRUE(reading.compressed);
        EXPECT_EQ(reading.encrypted, key[0] != 0);
        EXPECT_EQ(reading.data, data);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(reading.trailer[i], 0xA0 + i);
        // A second call with the same record gives the same record bytes: they were not masked
        // in place. (The last four bytes carry the time of the fill and may tick between calls.)
        Image again = fill(data, key, 0);
        const auto second = readDigital(again.bytes, key).trailer;
        for (int i = 0; i < 16; ++i) EXPECT_EQ(second[i], reading.trailer[i]) << i;
    }
}

TEST(DigitalGrid, CodedImagesReadBackAtSeveralLevelsAndLengths) {
    struct Case {
        int level;
        std::size_t length;
        bool random;
        const char* key;
    };
    for (const Case& c :
         {Case{1, 1, true, ""}, Case{50, 40, true, ""}, Case{100, 1000, true, "k"},
          Case{30, 20000, false, "key"}, Case{100, 70000, true, ""}, Case{75, 300, true, "pass"}}) {
        const auto data = c.random ? noise(c.length, c.level) : text(c.length);
        Image image = fill(data, c.key, c.level);
        ASSERT_EQ(image.rc, 1) << c.level << "/" << c.length;
        const auto& b = image.bytes;
        EXPECT_EQ(std::string(b.begin() + 62, b.begin() + 70), "Korvane2");
        const std::uint32_t coded = getLe32(&b[74]);
        EXPECT_EQ(b.size(), (coded + 159) / 80 * 80 + 62);
        EXPECT_EQ(getLe32(&b[22]), (coded + 159) / 80);
        EXPECT_EQ(b[142], 0x7E);
        const auto reading = readDigital(b, c.key);
        ASSERT_TRUE(reading.ok) << c.level << "/" << c.length << ": " << reading.failure;
        EXPECT_EQ(reading.level, c.level);
        EXPECT_EQ(reading.badFrames, 0);
        EXPECT_EQ(reading.correctedSymbols, 0);
        EXPECT_EQ(reading.data, data);
    }
}

TEST(DigitalGrid, EightyBytePayloadAtLevelFiftyMakesTenFrames) {
    // 40 random bytes, no key: p = 40, payload 80 bytes, k = 192: 2 words, 10 frames.
    Image image = fill(noise(40, 9), "", 50);
    ASSERT_EQ(image.rc, 1);
    const auto reading = readDigital(image.bytes, "");
    ASSERT_TRUE(reading.ok) << reading.failure;
    EXPECT_EQ(reading.frames, 10);
    // Flag, then the frame count 0x000A unstuffed (no run of five ones in it).
    EXPECT_EQ(image.bytes[142], 0x7E);
    EXPECT_EQ(image.bytes[143], 0x00);
    EXPECT_EQ(image.bytes[144], 0x0A);
}

TEST(DigitalGrid, BitErrorsInTheImageAreMended) {
    const auto data = noise(3000, 11);
    Image image = fill(data, "", 40);
    ASSERT_EQ(image.rc, 1);
    auto& b = image.bytes;
    const std::uint32_t coded = getLe32(&b[74]);
    // Flip isolated 1 bits (0 1 0) to 0: the stuffing and the flags stay in step.
    auto bit = [&](std::size_t i) { return (b[142 + i / 8] >> (7 - i % 8)) & 1; };
    int flipped = 0;
    for (std::size_t i = 100; i + 1 < std::size_t{coded} * 8 && flipped < 60; i += 397) {
        for (std::size_t j = i; j < i + 64; ++j)
            if (bit(j - 1) == 0 && bit(j) == 1 && bit(j + 1) == 0) {
                b[142 + j / 8] ^= static_cast<std::uint8_t>(0x80 >> (j % 8));
                ++flipped;
                break;
            }
    }
    ASSERT_GT(flipped, 30);
    const auto reading = readDigital(b, "");
    ASSERT_TRUE(reading.ok) << reading.failure;
    EXPECT_GT(reading.badFrames, 0);
    EXPECT_GT(reading.correctedSymbols, 0);
    EXPECT_EQ(reading.data, data);
}

TEST(DigitalGrid, RefusalsHandOutNothing) {
    const auto data = noise(100, 3);
    std::uint8_t trailer[20] = {};
    std::uint8_t* image = reinterpret_cast<std::uint8_t*>(1);
    std::uint32_t size = 77;
    EXPECT_EQ(FillDigitalGrid(data.data(), 100, "", 101, &image, &size, trailer, 0), -201);
    EXPECT_EQ(FillDigitalGrid(data.data(), 100, "", 0, &image, &size, nullptr, 0), -5);
    EXPECT_EQ(FillDigitalGrid(nullptr, 100, "", 0, &image, &size, trailer, 0), -5);
    EXPECT_EQ(FillDigitalGrid(data.data(), 0xFFFFFFFFu, "", 0, &image, &size, trailer, 0), -1);
    EXPECT_EQ(image, reinterpret_cast<std::uint8_t*>(1));
    EXPECT_EQ(size, 77u);
    FreeDigitalGrid(nullptr);

    std::vector<std::uint8_t> out;
    std::uint32_t coded = 0;
    const std::uint8_t one = 1;
    EXPECT_EQ(gridcode::digital::encode(101, &one, 1, out, coded), -1);
    EXPECT_EQ(gridcode::digital::encode(50, &one, 0, out, coded), -1);
    // More words than 16-bit frame numbers can count.
    const std::vector<std::uint8_t> big(13107u * 128, 0);
    EXPECT_EQ(gridcode::digital::encode(100, big.data(), static_cast<std::uint32_t>(big.size()),
                                        out, coded),
              -1);
}

TEST(DigitalGrid, CompressAndEncryptExports) {
    auto buffer = text(4000);
    const auto original = buffer;
    std::uint32_t length = 4000;
    ASSERT_EQ(CompressBufData(buffer.data(), &length, 9), 1);
    EXPECT_LT(length, 4000u);
    std::vector<std::uint8_t> expanded;
    ASSERT_TRUE(platform::outside::mavrin::expand({buffer.data(), length}, expanded));
    EXPECT_EQ(expanded, original);

    auto random = noise(64, 5);
    const auto randomCopy = random;
    std::uint32_t randomLength = 64;
    EXPECT_EQ(CompressBufData(random.data(), &randomLength, 0), 101);
    EXPECT_EQ(randomLength, 64u);
    EXPECT_EQ(random, randomCopy);
    EXPECT_EQ(CompressBufData(nullptr, &randomLength, 0), -12);

    std::uint8_t block[20];
    std::memset(block, 0xEE, sizeof block);
    auto secret = original;
    ASSERT_EQ(EncryptBufData(secret.data(), 4000, "pw", block, 0), 1);
    EXPECT_NE(secret, original);
    for (int i = 12; i < 20; ++i) EXPECT_EQ(block[i], 0xEE);
    std::array<std::uint8_t, 12> nonce{};
    std::memcpy(nonce.data(), block, 12);
    ASSERT_TRUE(platform::outside::mavrin::decrypt(secret, "pw", nonce));
    EXPECT_EQ(secret, original);
    auto other = original;
    std::uint8_t block2[20] = {};
    ASSERT_EQ(EncryptBufData(other.data(), 4000, "pw", block2, 0), 1);
    EXPECT_NE(std::memcmp(block, block2, 12), 0);  // a fresh nonce each time
}

}  // namespace
