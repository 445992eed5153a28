#include "platform/imaging/imaging.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

namespace {

using platform::imaging::loadPicture;

constexpr std::uint32_t kFill = 0x00D7E390;  // red 0x90, green 0xE3, blue 0xD7

std::vector<std::uint8_t> encode(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(image)) << format << ": " << writer.errorString().toStdString();
    return {data.begin(), data.end()};
}

// A picture whose top-left corner is red and the rest blue: a rotation or flip moves the red.
QImage marked(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    image.fill(QColor(0, 0, 255));
    for (int y = 0; y < height / 3; ++y)
        for (int x = 0; x < width / 3; ++x) image.setPixelColor(x, y, QColor(255, 0, 0));
    return image;
}

TEST(Imaging, EveryFormatDecodesAtItsNaturalSizeTheRightWayUp) {
    for (const char* format : {"bmp", "png", "jpeg", "tiff"}) {
        SCOPED_TRACE(format);
        auto picture = loadPicture(encode(marked(40, 24), format), kFill);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->width, 40);
        EXPECT_EQ(picture->height, 24);
        const std::uint32_t corner = picture->pixel(2, 2);
        EXPECT_GT((corner >> 16) & 0xFF, 0xC0u);  // red survives lossy formats too
        EXPECT_LT(corner & 0xFF, 0x40u);
        const std::uint32_t far = picture->pixel(39, 23);
        EXPECT_GT(far & 0xFF, 0xC0u);
    }
}

// Every pixel as the image library decodes it, in rows of a width that is no multiple of four,
// whether the decoded image is opaque 32-bit colour or another format that is painted.
TEST(Imaging, PixelsAreExactlyTheDecodedOnes) {
    QImage source(37, 23, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgb(x * 7, y * 11, (x * y) % 256));
    for (auto [format, as] :
         {std::pair{"png", QImage::Format_RGB32}, std::pair{"bmp", QImage::Format_RGB32},
          std::pair{"jpeg", QImage::Format_RGB32}, std::pair{"png", QImage::Format_Grayscale8},
          std::pair{"png", QImage::Format_RGB888}}) {
        SCOPED_TRACE(std::string(format) + " " + std::to_string(as));
        const auto bytes = encode(source.convertToFormat(as), format);
        QImage decoded;
        ASSERT_TRUE(decoded.loadFromData(bytes.data(), static_cast<int>(bytes.size())));
        decoded = decoded.convertToFormat(QImage::Format_RGB32);
        auto picture = loadPicture(bytes, kFill);
        ASSERT_TRUE(picture);
        ASSERT_EQ(picture->width, 37);
        ASSERT_EQ(picture->height, 23);
        int wrong = 0;
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x)
                wrong += picture->pixel(x, y) != (decoded.pixel(x, y) | 0xFF000000u);
        EXPECT_EQ(wrong, 0);
    }
}

TEST(Imaging, GifGivesItsFirstFrame) {
    // 1x1 GIF, one black pixel (Qt writes no GIF, so the file is spelled out).
    const std::vector<std::uint8_t> gif = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01,
                                           0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
                                           0xFF, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
                                           0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
    auto picture = loadPicture(gif, kFill);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 1);
    EXPECT_EQ(picture->height, 1);
    EXPECT_EQ(picture->pixel(0, 0), 0xFF000000u);
}

TEST(Imaging, TransparencyShowsTheFillColour) {
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixelColor(1, 1, QColor(0, 0, 0));
    auto picture = loadPicture(encode(image, "png"), kFill);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixel(0, 0), 0xFF90E3D7u);
    EXPECT_EQ(picture->pixel(1, 1), 0xFF000000u);
}

// Pixels of every alpha, decoded into the picture's own storage, come out as the painter paints
// them over a canvas of the fill colour.
TEST(Imaging, TranslucentPixelsArePaintedOverTheFillAsThePainterPaintsThem) {
    QImage source(37, 23, QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgba(x * 7, y * 11, (x * y) % 256, (x * 13 + y * 5) % 256));
    QImage expected(source.size(), QImage::Format_RGB32);
    expected.fill(QColor(0x90, 0xE3, 0xD7));
    {
        QPainter painter(&expected);
        painter.drawImage(0, 0, source);
    }
    auto picture = loadPicture(encode(source, "png"), kFill);
    ASSERT_TRUE(picture);
    int wrong = 0;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            wrong += picture->pixel(x, y) != (expected.pixel(x, y) | 0xFF000000u);
    EXPECT_EQ(wrong, 0);
}

// What a decode holds besides the picture, told from the header: nothing for images decoded
// straight into the picture, the reader's own image for the others.
TEST(Imaging, TheHeaderTellsWhatADecodeHoldsBesideThePicture) {
    struct Case {
        const char* format;
        QImage::Format as;
        std::size_t working;
    } cases[] = {
        {"png", QImage::Format_RGB32, 0},
        {"png", QImage::Format_ARGB32, 0},
        {"jpeg", QImage::Format_RGB32, 0},
        {"bmp", QImage::Format_RGB32, 0},
        {"png", QImage::Format_Grayscale8, 40 * 24},  // rows of 37 bytes padded to 40
        {"png", QImage::Format_RGBA64, 37 * 24 * 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.as));
        const auto bytes = encode(marked(37, 24).convertToFormat(c.as), c.format);
        const auto size = platform::imaging::pictureSize(bytes);
        ASSERT_TRUE(size);
        EXPECT_EQ(size->width, 37);
        EXPECT_EQ(size->workingBytes, c.working);
        EXPECT_TRUE(loadPicture(bytes, kFill));
    }
}

TEST(Imaging, WhatIsNoImageGivesNothing) {
    const std::vector<std::uint8_t> empty, noise = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_FALSE(loadPicture(empty, kFill));
    EXPECT_FALSE(loadPicture(noise, kFill));
    auto png = encode(marked(8, 8), "png");
    png.resize(png.size() / 3);
    EXPECT_FALSE(loadPicture(png, kFill));
}

// Storage of pictures that are gone is taken again by pictures of about its size, comes back
// holding only the asked value, and never grows past its limit.
TEST(PixelStore, KeptStorageIsTakenAgainClearedAndBounded) {
    using namespace platform::imaging;
    releaseKeptPixels();
    std::vector<std::uint32_t> old(1000, 0x12345678u);
    const std::uint32_t* storage = old.data();
    keepPixels(std::move(old));
    EXPECT_EQ(keptPixelBytes(), 4000u);

    struct Case {
        const char* what;
        std::size_t count;
        bool reused;
    } cases[] = {
        {"twice the size", 2000, false},
        {"far smaller: it would waste more than a quarter", 700, false},
        {"a little smaller", 900, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto pixels = takePixels(c.count, 0xFF000000u);
        ASSERT_EQ(pixels.size(), c.count);
        EXPECT_EQ(pixels.data() == storage, c.reused);
        EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0xFF000000u),
                  static_cast<std::ptrdiff_t>(c.count));
        if (!c.reused) continue;
        EXPECT_EQ(keptPixelBytes(), 0u);
        pixels.resize(1000);  // back to its whole size, within its storage
        keepPixels(std::move(pixels));
    }
    auto again = takePixels(1000);
    EXPECT_EQ(again.data(), storage);
    EXPECT_EQ(std::count(again.begin(), again.end(), 0u), 1000);

    setKeptPixelsLimit(10000);
    for (int i = 0; i < 5; ++i) keepPixels(std::vector<std::uint32_t>(1000));
    EXPECT_EQ(keptPixelBytes(), 8000u) << "the oldest go first: the newest two fit";
    keepPixels(std::vector<std::uint32_t>(4000));
    EXPECT_EQ(keptPixelBytes(), 8000u) << "storage larger than the limit is never kept";
    releaseKeptPixels();
    EXPECT_EQ(keptPixelBytes(), 0u);
    setKeptPixelsLimit(std::size_t(256) << 20);
}

// The flags of the mapping of this process that holds `address`, as /proc/self/smaps lists them.
std::string mappingFlags(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long long from = 0, to = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> from >> dash >> to && dash == '-') {
            inside = at >= from && at < to;
            continue;
        }
        if (inside && line.rfind("VmFlags:", 0) == 0) return line;
    }
    return {};
}

// Fresh storage for a page-sized picture is asked for in large pages (one fault for each 2 MiB
// instead of each 4 KiB when it is filled); its pixels are the fill all the same.
TEST(PixelStore, FreshPictureStorageAsksForLargePages) {
    using namespace platform::imaging;
    if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage"))
        GTEST_SKIP() << "this kernel has no large pages for ordinary memory";
    {
        // Whether this system shows the advice at all (a sandboxed kernel may take it silently).
        constexpr std::size_t kProbe = 8u << 20;
        void* probe =
            ::mmap(nullptr, kProbe, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(probe, MAP_FAILED);
        const bool shown = ::madvise(probe, kProbe, MADV_HUGEPAGE) == 0 &&
                           mappingFlags(probe).find(" hg") != std::string::npos;
        ::munmap(probe, kProbe);
        if (!shown) GTEST_SKIP() << "this system does not show large-page advice in smaps";
    }
    releaseKeptPixels();
    constexpr std::size_t kCount = 4u << 20;  // 16 MiB, as an A4 page at 200 dpi
    auto pixels = takePixels(kCount, 0xFF102030u);
    ASSERT_EQ(pixels.size(), kCount);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0xFF102030u),
              static_cast<std::ptrdiff_t>(kCount));
    const std::string flags = mappingFlags(pixels.data() + kCount / 2);
    ASSERT_FALSE(flags.empty());
    EXPECT_NE(flags.find(" hg"), std::string::npos) << flags;
}

// A picture decoded into kept storage is the picture a fresh decode gives, pixel for pixel.
TEST(PixelStore, PicturesDecodedIntoKeptStorageEqualFreshOnes) {
    using namespace platform::imaging;
    releaseKeptPixels();
    for (const char* format : {"bmp", "png", "jpeg"}) {
        SCOPED_TRACE(format);
        const auto bytes = encode(marked(40, 24), format);
        auto fresh = loadPicture(bytes, kFill);
        ASSERT_TRUE(fresh);
        keepPixels(std::vector<std::uint32_t>(40 * 24, 0x12345678u));
        auto reused = loadPicture(bytes, kFill);
        ASSERT_TRUE(reused);
        EXPECT_EQ(keptPixelBytes(), 0u) << "the decode took the kept storage";
        EXPECT_EQ(reused->pixels, fresh->pixels);
    }
}

}  // namespace
