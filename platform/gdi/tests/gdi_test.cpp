#include "platform/gdi/gdi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace platform::gdi;

struct Canvas {
    BitmapPtr bitmap;
    Dc dc;
    Canvas(int w, int h, Color fill = 0xFFFFFF)
        : bitmap(std::make_shared<Bitmap>(w, h, fill)), dc(bitmap) {}
    Color at(int x, int y) const { return bitmap->pixel(x, y); }
    int count(Color c) const {
        int n = 0;
        for (Color p : bitmap->pixels()) n += p == c;
        return n;
    }
};

TEST(Gdi, RectanglesExcludeTheirRightAndBottomEdgeAndFramesLieInside) {
    Canvas c(6, 5);
    c.dc.fillRect({1, 1, 4, 3}, Brush{0x0000FF});
    EXPECT_EQ(c.count(0x0000FF), 3 * 2);
    EXPECT_EQ(c.at(3, 2), 0x0000FFu);
    EXPECT_EQ(c.at(4, 2), 0xFFFFFFu);
    EXPECT_EQ(c.at(3, 3), 0xFFFFFFu);

    Canvas f(6, 5);
    f.dc.frameRect({0, 0, 6, 5}, Brush{0x00FF00});
    EXPECT_EQ(f.count(0x00FF00), 2 * 6 + 2 * 3);
    EXPECT_EQ(f.at(5, 4), 0x00FF00u);
    EXPECT_EQ(f.at(1, 1), 0xFFFFFFu);
}

TEST(Gdi, LinesLeaveOutTheirEndAndKeepThePositionAcrossPens) {
    Canvas c(8, 8);
    c.dc.moveTo(1, 1);
    c.dc.selectPen({0x0000FF, 1});
    c.dc.lineTo(5, 1);
    c.dc.selectPen({0x00FF00, 1});
    c.dc.lineTo(5, 5);  // from (5, 1), where the first line ended
    EXPECT_EQ(c.dc.currentPosition(), (Point{5, 5}));
    for (int x = 1; x < 5; ++x) EXPECT_EQ(c.at(x, 1), 0x0000FFu) << x;
    for (int y = 1; y < 5; ++y) EXPECT_EQ(c.at(5, y), 0x00FF00u) << y;
    EXPECT_EQ(c.at(5, 5), 0xFFFFFFu);
    EXPECT_EQ(c.count(0x0000FF) + c.count(0x00FF00), 8);

    // A diagonal: one pixel per step, the end left out.
    Canvas d(8, 8);
    d.dc.moveTo(0, 0);
    d.dc.lineTo(4, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(d.at(i, i), 0u);
    EXPECT_EQ(d.at(4, 4), 0xFFFFFFu);
    EXPECT_EQ(d.count(0), 4);
}

TEST(Gdi, FocusRectangleIsADottedInversionThatUndoesItself) {
    Canvas c(6, 4, 0x808080);
    c.dc.drawFocusRect({0, 0, 6, 4});
    EXPECT_EQ(c.at(0, 0), 0x808080u ^ 0xFFFFFFu);  // pattern set: background colour (white)
    EXPECT_EQ(c.at(1, 0), 0x808080u);              // pattern clear: text colour (black)
    EXPECT_EQ(c.at(2, 2), 0x808080u);              // inside untouched
    c.dc.drawFocusRect({0, 0, 6, 4});
    EXPECT_EQ(c.count(0x808080), 24);
}

TEST(Gdi, BitBltClipsAtBothBitmaps) {
    Canvas src(4, 4, 0x0000FF);
    Canvas dst(4, 4);
    dst.dc.bitBlt(-1, 2, 4, 4, src.dc, 2, -1);
    // Source columns 2..3 and rows 0..3 exist; they land at x -1..0 (only 0 inside), y 3..
    EXPECT_EQ(dst.at(0, 3), 0x0000FFu);
    EXPECT_EQ(dst.at(0, 2), 0xFFFFFFu);  // source row -1 does not exist
    EXPECT_EQ(dst.at(1, 3), 0xFFFFFFu);  // source column 4 does not exist
}

TEST(Gdi, DibRowsArePaddedBgrAndBottomUp) {
    for (int width : {1, 4, 13}) {
        Bitmap b(width, 2, 0);
        b.setPixel(0, 0, rgb(1, 2, 3));          // top row
        b.setPixel(width - 1, 1, rgb(4, 5, 6));  // bottom row
        const auto bits = getDIBits24(b);
        const int stride = dibStride(width);
        EXPECT_EQ(stride % 4, 0);
        EXPECT_GE(stride, width * 3);
        ASSERT_EQ(bits.size(), static_cast<std::size_t>(stride * 2));
        EXPECT_EQ(bits[stride + 0], 3);  // the top row is stored last, blue first
        EXPECT_EQ(bits[stride + 2], 1);
        EXPECT_EQ(bits[(width - 1) * 3], 6);
        // Round trip through a device.
        Canvas out(width, 2, 0xFFFFFF);
        setDIBitsToDevice(out.dc, 0, 0, width, 2, bits);
        EXPECT_EQ(out.at(0, 0), rgb(1, 2, 3));
        EXPECT_EQ(out.at(width - 1, 1), rgb(4, 5, 6));
    }
    EXPECT_EQ(dibStride(13), 40);
}

TEST(Gdi, RegionsCombineAndEllipsesStayInside) {
    Region r = Region::rect({0, 0, 10, 6});
    r = Region::combine(r, Region::rect({0, 0, 1, 1}), Combine::Diff);
    EXPECT_FALSE(r.contains(0, 0));
    EXPECT_TRUE(r.contains(1, 0));
    EXPECT_FALSE(r.contains(10, 0));
    const Region e = Region::ellipse({0, 0, 80, 24});
    EXPECT_TRUE(e.contains(40, 12));
    EXPECT_TRUE(e.contains(0, 12));
    EXPECT_TRUE(e.contains(40, 0));
    EXPECT_TRUE(e.contains(79, 11));
    EXPECT_FALSE(e.contains(0, 0));
    EXPECT_FALSE(e.contains(79, 23));
    EXPECT_FALSE(e.contains(2, 2));
    EXPECT_EQ(Region::combine(e, Region::rect({0, 0, 80, 24}), Combine::And), e);
}

TEST(Gdi, EllipseOutlinesWithThePenAndFillsWithTheBrush) {
    Canvas c(20, 10);
    c.dc.selectPen({0x0000FF, 2});
    c.dc.selectBrush({0x00FF00});
    c.dc.ellipse(0, 0, 20, 10);
    EXPECT_EQ(c.at(10, 5), 0x00FF00u);
    EXPECT_EQ(c.at(10, 0), 0x0000FFu);
    EXPECT_EQ(c.at(10, 1), 0x0000FFu);
    EXPECT_EQ(c.at(0, 0), 0xFFFFFFu);
}

TEST(Gdi, IconsKeepTheBackgroundUnderTheirMask) {
    Icon icon{std::make_shared<Bitmap>(2, 1, 0x0000FF), {true, false}};
    Canvas c(4, 2, 0xFFFFFF);
    c.dc.drawIconEx(0, 0, icon, 4, 2);  // stretched twice
    EXPECT_EQ(c.at(0, 0), 0xFFFFFFu);
    EXPECT_EQ(c.at(1, 1), 0xFFFFFFu);
    EXPECT_EQ(c.at(2, 0), 0x0000FFu);
    EXPECT_EQ(c.at(3, 1), 0x0000FFu);
}

TEST(Gdi, OleColoursTranslate) {
    resetSysColors();
    setSysColor(COLOR_BTNFACE, 0x123456);
    const struct {
        std::uint32_t ole;
        std::optional<Color> rgb;
    } cases[] = {
        {0x00C0C0C0, 0xC0C0C0}, {0x8000000F, 0x123456},     {0x80000005, 0xFFFFFF},
        {0x02102030, 0x102030}, {0x80000040, std::nullopt}, {0x40000000, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(oleTranslateColor(c.ole), c.rgb) << std::hex << c.ole;
    resetSysColors();
}

TEST(Gdi, HimetricConversionRoundsToTheNearestPixel) {
    EXPECT_EQ(himetricToPixels(2540), 96);
    EXPECT_EQ(himetricToPixels(pixelsToHimetric(13)), 13);
    EXPECT_EQ(himetricToPixels(13), 0);
    EXPECT_EQ(himetricToPixels(14), 1);
    const auto picture = Picture::fromBitmap(std::make_shared<Bitmap>(16, 13));
    EXPECT_EQ(himetricToPixels(picture->himetricWidth), 16);
    EXPECT_EQ(himetricToPixels(picture->himetricHeight), 13);
}

TEST(Gdi, BmpFileHoldsTheDibRows) {
    Bitmap b(3, 2, 0x112233);
    const auto path = std::filesystem::temp_directory_path() / "gdi_test_out.bmp";
    ASSERT_TRUE(writeBmp(b, path));
    EXPECT_EQ(std::filesystem::file_size(path), 54u + 2 * 12);
    std::ifstream in(path, std::ios::binary);
    char head[2];
    in.read(head, 2);
    EXPECT_EQ(head[0], 'B');
    std::filesystem::remove(path);
}

}  // namespace
