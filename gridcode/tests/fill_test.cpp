#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "gridcode/coding.h"
#include "gridcode/gdidevice.h"
#include "gridcode/gridmark.h"
#include "gridcode/tests/decoder.h"

namespace {

using gridcode::testing::readGrid;

struct BitmapDeleter {
    void operator()(GridBitmap* b) const { GridDestroyBitmap(b); }
};
using Bitmap = std::unique_ptr<GridBitmap, BitmapDeleter>;

std::vector<std::uint8_t> sample(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(random());
    return v;
}

struct Sized {
    GridParams p{};
    std::uint16_t w = 0, h = 0;
    int fx = 0, fy = 0;
};

Sized sized(const std::vector<std::uint8_t>& data, int level, int xres = 300, int yres = 300,
            int dpi = 300) {
    Sized s;
    s.p.GridDpi = static_cast<std::uint16_t>(dpi);
    s.p.XResolution = static_cast<std::uint16_t>(xres);
    s.p.YResolution = static_cast<std::uint16_t>(yres);
    s.p.Width = 100;
    s.p.Data = data.data();
    s.p.DataLength = static_cast<std::uint32_t>(data.size());
    s.p.MinRedundancy = level;
    EXPECT_EQ(GetGridParam(&s.p, &s.w, &s.h), 1);
    s.fx = (s.w - 32) / (s.p.ColumnBytes * 8);
    s.fy = (s.h - 32) / (s.p.Rows * 4 / 3);
    return s;
}

Bitmap target(const Sized& s, int dw = 0, uint16_t planes = 1, uint16_t bpp = 1) {
    return Bitmap(GridCreateBitmap(s.w + dw, s.h, planes, bpp));
}

TEST(FillGrid, WrittenCodesReadBackAtSeveralLevelsAndResolutions) {
    struct Case {
        std::size_t length;
        int level, xres, yres, dpi;
    };
    for (const Case& c :
         {Case{0, 0, 300, 300, 300}, Case{1, 10, 300, 300, 300}, Case{500, 40, 300, 600, 300},
          Case{3000, 100, 600, 600, 204}, Case{255, 0, 400, 400, 400}}) {
        const auto data = sample(c.length, static_cast<unsigned>(c.length));
        Sized s = sized(data, c.level, c.xres, c.yres, c.dpi);
        Bitmap bitmap = target(s);
        ASSERT_EQ(FillGrid(&s.p, bitmap.get()), 1) << c.length;
        const auto reading = readGrid(bitmap.get(), s.p, s.fx, s.fy);
        ASSERT_TRUE(reading.ok) << c.length << ": " << reading.failure;
        EXPECT_EQ(reading.data, data);
        EXPECT_EQ(reading.checkRowFaults, 0);
        EXPECT_EQ(reading.correctedSymbols, 0);
        EXPECT_EQ(reading.total, s.p.CodeBytes);
        EXPECT_EQ(reading.check, s.p.CheckBytes);
    }
}

TEST(FillGrid, BlottedRowsAreMendedByTheCode) {
    const auto data = sample(500, 3);
    Sized s = sized(data, 40);
    Bitmap bitmap = target(s);
    ASSERT_EQ(FillGrid(&s.p, bitmap.get()), 1);
    const auto reading =
        readGrid(bitmap.get(), s.p, s.fx, s.fy, [](std::vector<std::uint8_t>& modules, int c) {
            // Module row 5 (a data row) and 6 go black.
            std::fill(modules.begin() + 5 * c, modules.begin() + 7 * c, 0);
        });
    ASSERT_TRUE(reading.ok) << reading.failure;
    EXPECT_GT(reading.checkRowFaults, 0);
    EXPECT_GT(reading.correctedSymbols, 0);
    EXPECT_EQ(reading.data, data);
}

TEST(FillGrid, PixelsBorderAndFrame) {
    struct Case {
        int xres, dpi, lines;
    };
    // fx 3 gives a frame of 2 lines; 2000 dpi in the fixed-ratio mode gives fx 40 and 14 lines.
    for (const Case& c : {Case{300, 300, 2}, Case{2000, 204, 14}}) {
        const auto data = sample(20, 1);
        Sized s = sized(data, 0, c.xres, c.xres, c.dpi);
        Bitmap bitmap = target(s);
        ASSERT_EQ(FillGrid(&s.p, bitmap.get()), 1);
        const int w = s.w - 32, h = s.h - 32;
        auto px = [&](int x, int y) { return GridBitmapPixel(bitmap.get(), x, y); };
        for (int i = 0; i < c.lines; ++i) {
            EXPECT_EQ(px(15 - i, 15 - i), 0) << i;
            EXPECT_EQ(px(16 + w + i, 16 + h + i), 0) << i;
            EXPECT_EQ(px(16 + w / 2, 15 - i), 0) << i;
            EXPECT_EQ(px(16 + w + i, 16 + h / 2), 0) << i;
        }
        EXPECT_EQ(px(15 - c.lines, 15 - c.lines), 1);
        EXPECT_EQ(px(16 + w + c.lines, 16 + h / 2), 1);
        EXPECT_EQ(px(0, 0), 1);
        EXPECT_EQ(px(s.w - 1, s.h - 1), 1);
        // Every module is a solid fx by fy block: its corners agree with its centre.
        for (int y = 0; y < s.p.Rows * 4 / 3; y += 7)
            for (int x = 0; x < s.p.ColumnBytes * 8; x += 5) {
                const int cx = 16 + x * s.fx, cy = 16 + y * s.fy;
                const int centre = px(cx + s.fx / 2, cy + s.fy / 2);
                ASSERT_EQ(px(cx, cy), centre);
                ASSERT_EQ(px(cx + s.fx - 1, cy + s.fy - 1), centre);
            }
    }
}

TEST(FillGrid, WrongTargetsAndInputsAreRefusedUntouched) {
    const auto data = sample(100, 2);
    Sized s = sized(data, 10);
    struct Case {
        int dw;
        uint16_t planes, bpp;
    };
    for (const Case& c : {Case{-1, 1, 1}, Case{1, 1, 1}, Case{0, 2, 1}, Case{0, 1, 8}}) {
        Bitmap bitmap = target(s, c.dw, c.planes, c.bpp);
        EXPECT_EQ(FillGrid(&s.p, bitmap.get()), -26) << c.dw << c.planes << c.bpp;
        EXPECT_EQ(GridBitmapPixel(bitmap.get(), 0, 0), 0);  // still as created
    }
    EXPECT_EQ(FillGrid(&s.p, nullptr), -26);
    EXPECT_EQ(FillGrid(nullptr, nullptr), -5);
    GridParams p = s.p;
    p.XResolution = 360;
    p.YResolution = 400;
    EXPECT_EQ(FillGrid(&p, target(s).get()), -21);
    p = s.p;
    p.Width = 0;
    EXPECT_EQ(FillGrid(&p, target(s).get()), -5);
    p = s.p;
    p.Data = nullptr;
    EXPECT_EQ(FillGrid(&p, target(s).get()), -5);
}

std::vector<int> g_values;
int g_cancelAt = -1;

std::int32_t record(std::int32_t phase, std::int32_t value, std::int32_t zero) {
    EXPECT_EQ(phase, 102);
    EXPECT_EQ(zero, 0);
    g_values.push_back(value);
    return static_cast<int>(g_values.size()) - 1 == g_cancelAt ? 0 : 1;
}

TEST(FillGrid, ProgressAndCancel) {
    const auto data = sample(3000, 4);
    Sized s = sized(data, 20);
    s.p.Progress = record;
    g_values.clear();
    g_cancelAt = -1;
    Bitmap bitmap = target(s);
    ASSERT_EQ(FillGrid(&s.p, bitmap.get()), 1);
    ASSERT_FALSE(g_values.empty());
    EXPECT_TRUE(std::is_sorted(g_values.begin(), g_values.end()));
    EXPECT_EQ(std::adjacent_find(g_values.begin(), g_values.end()), g_values.end());
    EXPECT_EQ(g_values.back(), 100);
    const auto drawing = std::find(g_values.begin(), g_values.end(), 50);
    ASSERT_NE(drawing, g_values.end());
    const std::size_t firstPhase = static_cast<std::size_t>(drawing - g_values.begin()) + 1;

    // Cancelled at once: nothing drawn.
    g_values.clear();
    g_cancelAt = 0;
    Bitmap untouched = target(s);
    EXPECT_EQ(FillGrid(&s.p, untouched.get()), -7);
    EXPECT_EQ(GridBitmapPixel(untouched.get(), 0, 0), 0);
    EXPECT_EQ(GridBitmapPixel(untouched.get(), 15, 15), 0);

    // Cancelled while scaling: painted white, the frame drawn all the same.
    g_values.clear();
    g_cancelAt = static_cast<int>(firstPhase);
    Bitmap half = target(s);
    EXPECT_EQ(FillGrid(&s.p, half.get()), -7);
    EXPECT_EQ(GridBitmapPixel(half.get(), 0, 0), 1);
    EXPECT_EQ(GridBitmapPixel(half.get(), 15, 15), 0);
    EXPECT_EQ(GridBitmapPixel(half.get(), 16 + s.fx / 2, s.h - 17), 1);  // last band not drawn
}

TEST(FillGrid, CallsOnSeveralThreadsDoNotDisturbEachOther) {
    std::vector<std::thread> threads;
    std::vector<int> ok(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &ok] {
            const auto data = sample(800 + 100 * t, 10 + t);
            for (int round = 0; round < 3; ++round) {
                Sized s = sized(data, 25);
                Bitmap bitmap = target(s);
                if (FillGrid(&s.p, bitmap.get()) != 1) return;
                const auto reading = readGrid(bitmap.get(), s.p, s.fx, s.fy);
                if (!reading.ok || reading.data != data) return;
            }
            ok[t] = 1;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok, std::vector<int>(4, 1));
}

// A device that keeps what is blitted onto it.
struct FakeDevice {
    int width, height;
    std::vector<int> pixels;                 // -1 never written, else 0 black / 1 white
    std::vector<std::pair<int, int>> bands;  // y, height
    int answer = 1;
    GridDevice device{};
    FakeDevice(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, -1) {
        device.context = this;
        device.horzRes = w;
        device.vertRes = h;
        device.blit = [](void* context, int32_t x, int32_t y, int32_t bw, int32_t bh,
                         const uint8_t* rows, int32_t stride) -> int32_t {
            auto* self = static_cast<FakeDevice*>(context);
            self->bands.emplace_back(y, bh);
            for (int r = 0; r < bh; ++r)
                for (int c = 0; c < bw; ++c)
                    self->pixels[static_cast<std::size_t>(y + r) * self->width + x + c] =
                        (rows[r * stride + c / 8] >> (7 - c % 8)) & 1;
            return self->answer;
        };
    }
};

std::int32_t cancelPrint(std::int32_t phase, std::int32_t, std::int32_t) {
    EXPECT_EQ(phase, 103);
    return 0;
}

TEST(PrintGrid, CopiesTheBitmapAtTheOffsetsInBands) {
    const auto data = sample(20000, 5);
    Sized s = sized(data, 0);
    Bitmap bitmap = target(s);
    ASSERT_EQ(FillGrid(&s.p, bitmap.get()), 1);
    s.p.LeftOffset = 50;  // 150 dots at 300 dpi
    s.p.TopOffset = 10;   // 30 dots
    FakeDevice device(150 + s.w, 30 + s.h);
    ASSERT_EQ(PrintGrid(&s.p, &device.device, bitmap.get()), 1);
    for (int y = 0; y < device.height; ++y)
        for (int x = 0; x < device.width; ++x) {
            const int expected =
                x >= 150 && y >= 30 ? GridBitmapPixel(bitmap.get(), x - 150, y - 30) : -1;
            ASSERT_EQ(device.pixels[static_cast<std::size_t>(y) * device.width + x], expected)
                << x << "," << y;
        }
    const int band = 65280 / ((s.w + 31) / 8);
    ASSERT_LT(band, s.h);  // more than one band
    int done = 0;
    for (const auto& [y, h] : device.bands) {
        EXPECT_EQ(y, 30 + done);
        EXPECT_EQ(h, std::min(band, s.h - done));
        done += h;
    }
    EXPECT_EQ(done, s.h);

    FakeDevice narrow(150 + s.w - 1, 30 + s.h);
    EXPECT_EQ(PrintGrid(&s.p, &narrow.device, bitmap.get()), -27);
    FakeDevice shallow(150 + s.w, 30 + s.h - 1);
    EXPECT_EQ(PrintGrid(&s.p, &shallow.device, bitmap.get()), -28);
    FakeDevice failing(150 + s.w, 30 + s.h);
    failing.answer = 0;
    EXPECT_EQ(PrintGrid(&s.p, &failing.device, bitmap.get()), -25);
    EXPECT_EQ(failing.bands.size(), 1u);
    s.p.Progress = cancelPrint;
    FakeDevice cancelled(150 + s.w, 30 + s.h);
    EXPECT_EQ(PrintGrid(&s.p, &cancelled.device, bitmap.get()), -7);
    EXPECT_TRUE(cancelled.bands.empty());
    EXPECT_EQ(PrintGrid(&s.p, nullptr, bitmap.get()), -25);
}

// The largest offsets at the largest resolutions: 65,535 hundredths of an inch at 65,535 dpi is
// 42,948,362 dots, past a 32-bit product of the two fields. The device's size decides as for any
// offset.
TEST(PrintGrid, LargestOffsetsAtTheLargestResolutions) {
    const auto data = sample(200, 9);
    Sized s = sized(data, 0);
    Bitmap bitmap = target(s);
    ASSERT_EQ(FillGrid(&s.p, bitmap.get()), 1);
    s.p.LeftOffset = s.p.TopOffset = 65535;
    s.p.XResolution = s.p.YResolution = 65535;
    FakeDevice small(150 + s.w, 30 + s.h);
    EXPECT_EQ(PrintGrid(&s.p, &small.device, bitmap.get()), -27);
    small.device.horzRes = 42948362 + s.w;
    EXPECT_EQ(PrintGrid(&s.p, &small.device, bitmap.get()), -28);
    EXPECT_TRUE(small.bands.empty());

    struct Place {
        std::vector<std::pair<int, int>> corners;
    } place;
    GridDevice huge{&place, 42948362 + s.w, 42948362 + s.h,
                    [](void* context, int32_t x, int32_t y, int32_t, int32_t, const uint8_t*,
                       int32_t) -> int32_t {
                        static_cast<Place*>(context)->corners.emplace_back(x, y);
                        return 1;
                    }};
    ASSERT_EQ(PrintGrid(&s.p, &huge, bitmap.get()), 1);
    ASSERT_FALSE(place.corners.empty());
    EXPECT_EQ(place.corners.front(), std::make_pair(42948362, 42948362));
}

}  // namespace

namespace {

TEST(PrintGrid, OntoOurDeviceContext) {
    const auto data = sample(300, 6);
    Sized s = sized(data, 20);
    Bitmap bitmap = target(s);
    ASSERT_EQ(FillGrid(&s.p, bitmap.get()), 1);
    s.p.LeftOffset = 10;  // 30 dots
    s.p.TopOffset = 0;
    auto page = std::make_shared<platform::gdi::Bitmap>(s.w + 40, s.h + 5, 0x00FF00);
    platform::gdi::Dc dc(page);
    GridDevice device = gridcode::deviceOver(dc);
    ASSERT_EQ(PrintGrid(&s.p, &device, bitmap.get()), 1);
    for (int y = 0; y < page->height(); ++y)
        for (int x = 0; x < page->width(); ++x) {
            const int source = GridBitmapPixel(bitmap.get(), x - 30, y);
            const platform::gdi::Color expected = source < 0 ? 0x00FF00 : source ? 0xFFFFFF : 0;
            ASSERT_EQ(page->pixel(x, y), expected) << x << "," << y;
        }
    GridDevice small = gridcode::deviceOver(dc, s.w + 29, -1);
    EXPECT_EQ(PrintGrid(&s.p, &small, bitmap.get()), -27);
}

}  // namespace
