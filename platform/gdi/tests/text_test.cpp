#include "platform/gdi/text.h"

#include <gtest/gtest.h>

namespace {

using namespace platform::gdi;

class TestFontText : public ::testing::Test {
  protected:
    void SetUp() override { useTestFont(true); }
    void TearDown() override { useTestFont(false); }
};

TEST_F(TestFontText, CalcRectMeasuresWidestLineAndLineCount) {
    Dc dc;
    const int W = TestFont::kCellWidth;
    const int H = TestFont::kCellHeight;
    const struct {
        std::u16string text;
        unsigned flags;
        int width;  // the rectangle's width before measuring
        int right;
        int bottom;
    } cases[] = {
        {u"Print", DT_CALCRECT, 100, 10 + 5 * W, 20 + H},
        {u"&Print", DT_CALCRECT, 100, 10 + 5 * W, 20 + H},
        {u"A&&B", DT_CALCRECT, 100, 10 + 3 * W, 20 + H},
        {u"aa bb cc", DT_CALCRECT | DT_WORDBREAK, 5 * W, 10 + 5 * W, 20 + 2 * H},
        {u"abcdefgh", DT_CALCRECT | DT_WORDBREAK, 3 * W, 10 + 8 * W, 20 + H},
        {u"ab\r\ncde", DT_CALCRECT, 100, 10 + 3 * W, 20 + 2 * H},
        {u"", DT_CALCRECT, 100, 10, 20},
    };
    for (const auto& c : cases) {
        Rect r{10, 20, 10 + c.width, 200};
        dc.drawText(c.text, r, c.flags);
        EXPECT_EQ(r.right, c.right) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(r.bottom, c.bottom) << std::string(c.text.begin(), c.text.end());
    }
}

TEST_F(TestFontText, CentredTextAndPrefixUnderline) {
    auto bitmap = std::make_shared<Bitmap>(40, 20, 0xFFFFFF);
    Dc dc(bitmap);
    dc.setBkMode(BkMode::Transparent);
    dc.setTextColor(0x0000FF);
    Rect r{0, 0, 40, 20};
    dc.drawText(u"&ab", r, DT_CENTER | DT_WORDBREAK);
    const int x0 = (40 - 2 * TestFont::kCellWidth) / 2;  // 12
    EXPECT_EQ(bitmap->pixel(x0, 5), 0xFFFFFFu);          // column 0 of a cell is empty
    EXPECT_EQ(bitmap->pixel(x0 + 1, 5), 0x0000FFu);
    EXPECT_EQ(bitmap->pixel(x0 + 1, 1), 0xFFFFFFu);
    // The underline of "a" spans its whole cell; "b" has none.
    EXPECT_EQ(bitmap->pixel(x0, TestFont::kCellHeight - 2), 0x0000FFu);
    EXPECT_EQ(bitmap->pixel(x0 + TestFont::kCellWidth + 3, TestFont::kCellHeight - 2), 0xFFFFFFu);
    // Clipped to the rectangle.
    auto small = std::make_shared<Bitmap>(40, 20, 0xFFFFFF);
    Dc clipped(small);
    clipped.setBkMode(BkMode::Transparent);
    Rect narrow{0, 0, 4, 20};
    clipped.drawText(u"W", narrow, 0);
    EXPECT_EQ(small->pixel(5, 5), 0xFFFFFFu);
    EXPECT_EQ(small->pixel(2, 5), 0u);
}

TEST(FreeTypeText, RendersLatinAndKoreanWithoutGreys) {
    useTestFont(false);
    auto bitmap = std::make_shared<Bitmap>(120, 30, 0xFFFFFF);
    Dc dc(bitmap);
    dc.selectFont(Font{u"Tahoma", 9, false, false, false, 129});
    dc.setBkMode(BkMode::Transparent);
    Rect r{0, 0, 120, 30};
    dc.drawText(u"Ag 가나", r, 0);
    int black = 0;
    for (Color c : bitmap->pixels()) {
        EXPECT_TRUE(c == 0 || c == 0xFFFFFF);
        black += c == 0;
    }
    EXPECT_GT(black, 20);
    EXPECT_GT(textWidth(Font{u"Tahoma", 9, false, false, false, 129}, u"가"), 4);
}

}  // namespace
