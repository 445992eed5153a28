#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "gridcode/gridmark.h"

namespace {

GridParams params(int dpi, int xres, int yres) {
    GridParams p{};
    p.GridDpi = static_cast<std::uint16_t>(dpi);
    p.XResolution = static_cast<std::uint16_t>(xres);
    p.YResolution = static_cast<std::uint16_t>(yres);
    p.WidthBytes = 4;
    return p;
}

// With 4 column bytes and an empty level-0 layout (96 rows, 128 module rows), the bitmap
// measures 32 fx + 32 by 128 fy + 32.
TEST(GridGeometry, DotsPerModuleFromModesAndTables) {
    struct Case {
        int dpi, xres, yres, table, rc, fx, fy;
    };
    const Case cases[] = {
        {204, 300, 300, 0, 1, 6, 6},   {204, 600, 600, 0, 1, 12, 12},
        {204, 360, 360, 0, 1, 7, 7},   {204, 360, 300, 0, -21, 0, 0},
        {204, 84, 84, 0, -21, 0, 0},   {204, 2401, 2401, 0, -21, 0, 0},
        {300, 300, 600, 0, 1, 3, 6},   {300, 360, 400, 0, -21, 0, 0},
        {0, 300, 300, 0, 1, 3, 3},     {300, 360, 360, 0, 1, 4, 4},
        {300, 240, 240, 0, 1, 2, 2},   {300, 250, 250, 0, 1, 2, 2},  // (250 + 10) / 100 = 2
        {300, 290, 290, 0, 1, 3, 3},   {600, 200, 200, 0, -21, 0, 0},
        {250, 300, 300, 0, -21, 0, 0}, {300, 500, 500, 0, 1, 5, 5},  // 1500 / 300 + 0.9
        {250, 500, 500, 0, 1, 6, 6},   {200, 1200, 1200, 0, 1, 18, 18},
        {300, 454, 454, 1, 1, 4, 4},   {300, 600, 600, 1, -21, 0, 0},
        {400, 600, 600, 1, 1, 4, 4},   {0, 500, 500, 1, 1, 5, 5},  // 1500 / 300 + 0.5
        {200, 454, 454, 1, -21, 0, 0}, {300, 454, 681, 1, 1, 4, 6},
        {400, 300, 600, 0, -21, 0, 0}, {400, 400, 600, 0, -21, 0, 0},
    };
    for (const Case& c : cases) {
        GridParams p = params(c.dpi, c.xres, c.yres);
        p.TableSelect = static_cast<std::uint16_t>(c.table);
        std::uint16_t w = 0, h = 0;
        const int rc = GetGridParam(&p, &w, &h);
        SCOPED_TRACE(testing::Message()
                     << c.dpi << " " << c.xres << "x" << c.yres << " t" << c.table);
        ASSERT_EQ(rc, c.rc);
        if (rc != 1) continue;
        EXPECT_EQ(p.ColumnBytes, 4);
        EXPECT_EQ(p.Rows, 96);
        EXPECT_EQ(w, 32 * c.fx + 32);
        EXPECT_EQ(h, 128 * c.fy + 32);
    }
}

TEST(GridGeometry, RefusalsComeInTheirOrderAndLeaveOutputsAlone) {
    struct Case {
        const char* what;
        void (*setup)(GridParams&);
        int rc;
    };
    const Case cases[] = {
        {"dots per module 19 before the resolution",
         [](GridParams& p) {
             p.DotsPerModule = 19;
             p.XResolution = 0;
         },
         -125},
        {"resolution 0", [](GridParams& p) { p.DotsPerModule = 3, p.XResolution = 0; }, -5},
        {"module measure 0", [](GridParams& p) { p.DotsPerModule = 1, p.XResolution = 9000; }, -21},
        {"no dots from the table",
         [](GridParams& p) { p.GridDpi = 600, p.XResolution = p.YResolution = 10; }, -21},
        {"width bytes 6", [](GridParams& p) { p.WidthBytes = 6; }, -22},
        {"width bytes 88", [](GridParams& p) { p.WidthBytes = 88; }, -22},
        {"no size", [](GridParams& p) { p.WidthBytes = 0; }, -5},
        {"rows past 16 bits", [](GridParams& p) { p.DataLength = 327680; }, -24},
        {"bitmap height past 16 bits",
         [](GridParams& p) {
             p.DotsPerModule = 18;
             p.DataLength = 100000;
         },
         -24},
        {"too narrow for the fixed height",
         [](GridParams& p) {
             p.WidthBytes = 0;
             p.Height = 10;
             p.DataLength = 100000;
         },
         -24},
    };
    for (const Case& c : cases) {
        GridParams p = params(300, 300, 300);
        c.setup(p);
        p.CodeWidth = p.CodeHeight = p.ColumnBytes = p.Rows = 0xBEEF;
        std::uint16_t w = 7, h = 7;
        EXPECT_EQ(GetGridParam(&p, &w, &h), c.rc) << c.what;
        EXPECT_EQ(p.ColumnBytes, 0xBEEF) << c.what;
        EXPECT_EQ(p.Rows, 0xBEEF) << c.what;
        EXPECT_EQ(w, 7) << c.what;
    }
    EXPECT_EQ(GetGridParam(nullptr, nullptr, nullptr), -5);
}

std::vector<std::vector<int>> g_progress;

TEST(GridGeometry, TooLongDataReportsOnceThroughProgress) {
    GridParams p = params(300, 300, 300);
    p.DataLength = 327681;
    p.Progress = [](std::int32_t phase, std::int32_t value, std::int32_t zero) -> std::int32_t {
        g_progress.push_back({phase, value, zero});
        return 0;
    };
    g_progress.clear();
    EXPECT_EQ(GetGridParam(&p, nullptr, nullptr), -24);
    EXPECT_EQ(g_progress, (std::vector<std::vector<int>>{{104, 327680, 0}}));
}

TEST(GridGeometry, WidthHeightAndOutputs) {
    GridParams p = params(300, 300, 300);
    p.WidthBytes = 0;
    p.Width = 100;  // one inch: mx = 80, 1000 / 80 = 12 column bytes
    p.MinRedundancy = 50;
    p.DataLength = 1000;
    std::uint16_t w = 0, h = 0;
    ASSERT_EQ(GetGridParam(&p, &w, &h), 1);
    EXPECT_EQ(p.ColumnBytes, 12);
    EXPECT_EQ(p.CodeWidth, 80 * 12 / 10);
    EXPECT_EQ(w, 12 * 8 * 3 + 32);
    // Level 50: 192 data bytes a word, 6 words for 1000 bytes.
    EXPECT_EQ(p.CodeBytes, 6 * 255);
    EXPECT_EQ(p.CheckBytes, 6 * 63);
    EXPECT_EQ(p.Redundancy, 50);  // 63 * 100 / 192 = 32, raised to the level
    EXPECT_EQ(p.Rows % 24, 0);
    EXPECT_GE(p.ColumnBytes * p.Rows, 48 + 6 * 255);
    EXPECT_EQ(p.CodeHeight, 13 * p.Rows / 10);  // my = 3 * 1333 / 300
    EXPECT_EQ(h, 3 * (p.Rows * 4 / 3) + 32);

    std::uint16_t iw = 0, ih = 0;
    ASSERT_EQ(GetGridSize(&p, &iw, &ih), 1);
    EXPECT_EQ(iw, (w - 28) * 100 / 300);
    EXPECT_EQ(ih, (h - 28) * 100 / 300);

    // Width road with the height flag: the rows come from Height.
    p.SizeFlags = 1;
    p.Height = 200;  // 2000 / 13 = 153 -> 144 rows
    ASSERT_EQ(GetGridParam(&p, &w, &h), 1);
    EXPECT_EQ(p.Rows, 144);
    p.Width = 5;  // clamped up to 4 column bytes
    p.SizeFlags = 0;
    p.DataLength = 10;
    ASSERT_EQ(GetGridParam(&p, &w, &h), 1);
    EXPECT_EQ(p.ColumnBytes, 4);
}

TEST(GridGeometry, LargestDataLength) {
    struct Case {
        int widthBytes, width, height, level, rc, length;
    };
    // 300 dpi, fx = fy = 3: mx = 80, my = 13; Height 100 gives 72 rows; Width 70 gives 8 bytes.
    const Case cases[] = {
        {0, 70, 100, 0, 1, 2 * 255 - 40},  // 576 bytes hold the header and two words
        {0, 70, 100, 50, 1, 2 * 192 - 40},
        {0, 700, 100, 0, 1, 23 * 255 - 40},  // 84 x 72 = 6048: (6048 - 48) / 255 = 23 words
        {0, 40, 10, 0, 1, -40},              // 24 rows of 4 bytes hold nothing
        // Fixed width bytes: the rows grow until the bitmap height would pass 16 bits
        // (16368 rows of 4 bytes: 256 words).
        {4, 0, 10, 0, 1, 256 * 255 - 40},
    };
    for (const Case& c : cases) {
        GridParams p = params(300, 300, 300);
        p.WidthBytes = static_cast<std::uint16_t>(c.widthBytes);
        p.Width = static_cast<std::uint16_t>(c.width);
        p.Height = static_cast<std::uint16_t>(c.height);
        p.MinRedundancy = c.level;
        p.SizeFlags = 6;
        p.DataLength = 77;
        std::int32_t length = 0;
        EXPECT_EQ(GetDataLength(&p, &length), c.rc);
        EXPECT_EQ(length, c.length) << c.widthBytes << " " << c.level;
        EXPECT_EQ(p.SizeFlags, 6u);
        EXPECT_EQ(p.DataLength, 77u);
    }
    // A geometry that fails for another reason says so.
    GridParams p = params(300, 360, 400);
    p.Height = 100;
    std::int32_t length = 5;
    EXPECT_EQ(GetDataLength(&p, &length), -21);
    p = params(300, 300, 300);
    p.DotsPerModule = 19;
    EXPECT_EQ(GetDataLength(&p, &length), -125);
    EXPECT_EQ(GetDataLength(&p, nullptr), -5);
}

}  // namespace

extern "C" std::size_t gridmark_c_params_size(void);
extern "C" std::size_t gridmark_c_offset_of_outputs(void);

namespace {

TEST(GridRecords, PackedLayoutSameInCAndCpp) {
    constexpr std::size_t ptr = sizeof(void*);
    struct Field {
        std::size_t offset, expected;
    };
    for (const Field& f :
         {Field{offsetof(GridParams, XResolution), 2}, Field{offsetof(GridParams, TopOffset), 14},
          Field{offsetof(GridParams, Data), 16}, Field{offsetof(GridParams, DataLength), 16 + ptr},
          Field{offsetof(GridParams, Progress), 20 + ptr},
          Field{offsetof(GridParams, SizeFlags), 20 + 2 * ptr},
          Field{offsetof(GridParams, MinRedundancy), 24 + 2 * ptr},
          Field{offsetof(GridParams, CodeWidth), 28 + 2 * ptr},
          Field{offsetof(GridParams, CheckBytes), 40 + 2 * ptr},
          Field{offsetof(GridParams, TableSelect), 44 + 2 * ptr},
          Field{offsetof(GridLayout, dataSpan), 36}})
        EXPECT_EQ(f.offset, f.expected);
    EXPECT_EQ(gridmark_c_params_size(), sizeof(GridParams));
    EXPECT_EQ(gridmark_c_offset_of_outputs(), offsetof(GridParams, CodeWidth));
}

}  // namespace
