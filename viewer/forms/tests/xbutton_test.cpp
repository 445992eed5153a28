#include "viewer/forms/xbutton.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "strings/strings.h"
#include "viewer/forms/tests/button_form.h"

namespace {

using namespace vistrel::forms;
namespace gdi = platform::gdi;
namespace window = platform::window;

class Button : public ::testing::Test, public vistrel::forms::testing::ButtonForm {
  protected:
    // An 80 x 24 button at (10, 20) of a form at (100, 100), grey scheme, no caption.
    std::unique_ptr<XButton> make(int type, int scheme = 3, int w = 80, int h = 24) {
        auto b = place(w, h);
        b->setCaption(u"");
        b->setColorScheme(scheme);
        b->setButtonType(type);
        b->show();
        return b;
    }
    gdi::Color at(const XButton& b, int x, int y) { return b.surface().pixel(x, y); }
};

TEST(ButtonColours, AdjustLightenAndGreyVectors) {
    const struct {
        gdi::Color color;
        int amount;
        bool proportionalBlue, soft;
        gdi::Color expected;
    } adjust[] = {
        {0x000000, -64, false, false, 0x000000}, {0xFFFFFF, 47, false, false, 0xFFFFFF},
        {0x808080, 0, false, false, 0x808080},   {0xC0C0C0, 48, true, false, 0xF0F0F0},
        {0xC0C0C0, -64, false, true, 0xA0A0A0},  {0x102030, -32, false, false, 0x000010},
        {0x800000, -96, true, false, 0x400000},  {0x0000F0, 31, false, false, 0x1F1FFF},
        {0xC0C0C0, -63, false, true, 0xA1A1A1},  // -63 / 2 truncates toward zero: -31
    };
    for (const auto& c : adjust)
        EXPECT_EQ(adjustColor(c.color, c.amount, c.proportionalBlue, c.soft), c.expected)
            << std::hex << c.color << " " << std::dec << c.amount;
    EXPECT_EQ(lightenColor(0x000000, 176), 0xB0B0B0u);
    EXPECT_EQ(lightenColor(0xFFFFFF, 176), 0xFFFFFFu);
    EXPECT_EQ(lightenColor(0xD77800, 176),
              gdi::rgb(176, 0x78 * 79 / 255 + 176, 0xD7 * 79 / 255 + 176));
    EXPECT_EQ(greyOf(255, 0, 0), 76);
    EXPECT_EQ(greyOf(255, 255, 255), 254);
    EXPECT_EQ(greyOf(5, 5, 5), 5);
}

TEST_F(Button, ColourTablesOfTheSchemes) {
    auto b = make(2, 3);
    EXPECT_EQ(b->colors().face, 0xC0C0C0u);
    EXPECT_EQ(b->colors().selectLight, 0xD1ADADu);
    b->setColorScheme(1);
    EXPECT_EQ(b->colors().face, gdi::sysColor(gdi::COLOR_BTNFACE));
    EXPECT_EQ(b->colors().selectLight, lightenColor(gdi::sysColor(gdi::COLOR_HIGHLIGHT), 176));
    b->setColorScheme(2);
    b->setBackColor(0x808080);
    EXPECT_EQ(b->colors().shadow, 0x404040u);
    EXPECT_EQ(b->colors().darkShadow, 0x000000u);
    b->setSoftBevel(true);
    EXPECT_EQ(b->colors().shadow, 0x606060u);      // -64 acts as -32
    EXPECT_EQ(b->colors().darkShadow, 0x202020u);  // -192 acts as -96
    EXPECT_EQ(b->colors().selectLight, 0x808080u);
}

TEST_F(Button, Type3GradientRowsRoundHalvesToEven) {
    const int H = 22;
    auto b = make(3, 3, 60, H);
    const gdi::Color faceLight = b->colors().faceLight;
    ASSERT_EQ(faceLight, 0xF0F0F0u);
    // Row 11: 25 / 22 x 11 is 12.5 in floating point just above the half: -13.
    EXPECT_EQ(at(*b, 30, 11), adjustColor(0xF0F0F0, -13));
    EXPECT_EQ(at(*b, 30, 11), 0xE3E3E3u);
    for (int i = 3; i <= H - 4; ++i)
        EXPECT_EQ(at(*b, 30, i),
                  adjustColor(faceLight, static_cast<int>(std::nearbyint(-(25.0 / H * i)))))
            << i;
    // Frame, corners and the edge lines of the plain look.
    EXPECT_EQ(at(*b, 30, 0), 0x733C00u);
    EXPECT_EQ(at(*b, 0, 5), 0x733C00u);
    EXPECT_EQ(at(*b, 1, 1), 0x7B4D10u);
    EXPECT_EQ(at(*b, 58, 20), 0x7B4D10u);
    EXPECT_EQ(at(*b, 30, H - 2), adjustColor(faceLight, -48));
    EXPECT_EQ(at(*b, 30, 1), adjustColor(faceLight, 16));
    EXPECT_EQ(at(*b, 58, 5), adjustColor(faceLight, -36));
    EXPECT_EQ(at(*b, 1, 5), adjustColor(faceLight, -5));
    EXPECT_EQ(at(*b, 2, 5), adjustColor(faceLight, -10));

    // Pressed: darkest at the top, from the base shade -32.
    b->mouseDown(1, 0, 5, 5);
    const gdi::Color base = adjustColor(faceLight, -32);
    EXPECT_EQ(at(*b, 30, H - 11), adjustColor(base, -13));
    EXPECT_EQ(at(*b, 30, H - 5),
              adjustColor(base, static_cast<int>(std::nearbyint(-(25.0 / H * 5)))));
    EXPECT_EQ(at(*b, 1, 5), adjustColor(base, -32));

    // Disabled: one shade, frame -84, corners -72.
    b->setEnabled(false);
    EXPECT_EQ(at(*b, 30, 10), adjustColor(faceLight, -24));
    EXPECT_EQ(at(*b, 0, 10), adjustColor(faceLight, -84));
    EXPECT_EQ(at(*b, 1, 1), adjustColor(faceLight, -72));
}

TEST_F(Button, BevelsAndFramesOfTypes1And2And4) {
    const int W = 80, H = 24;
    auto b = make(2);
    const ColorTable t = b->colors();
    const struct {
        int x, y;
        gdi::Color c;
    } type2[] = {
        {0, 0, t.highlight},      {0, 5, t.highlight},      {5, 0, t.highlight},
        {W - 1, 0, t.darkShadow}, {0, H - 1, t.darkShadow}, {W - 1, H - 1, t.darkShadow},
        {1, 1, t.light},          {1, 5, t.light},          {W - 2, 1, t.shadow},
        {1, H - 2, t.shadow},     {40, 12, t.face},
    };
    for (const auto& p : type2) EXPECT_EQ(at(*b, p.x, p.y), p.c) << p.x << "," << p.y;

    b->mouseDown(1, 0, 5, 5);  // pressed: the colours swap sides
    EXPECT_EQ(at(*b, 0, 0), t.darkShadow);
    EXPECT_EQ(at(*b, W - 1, 5), t.highlight);

    auto one = make(1);
    EXPECT_EQ(at(*one, 0, 0), t.darkShadow);  // the frame
    EXPECT_EQ(at(*one, 1, 1), t.highlight);
    EXPECT_EQ(at(*one, W - 2, 1), t.shadow);
    EXPECT_EQ(at(*one, 1, H - 2), t.shadow);

    auto four = make(4);
    EXPECT_EQ(at(*four, 1, 1), t.darkShadow);
    EXPECT_EQ(at(*four, 3, 3), t.highlight);
    EXPECT_EQ(at(*four, 10, 2), t.highlight);
    EXPECT_EQ(at(*four, W - 3, H - 3), t.shadow);
    EXPECT_EQ(at(*four, W - 4, H - 4), t.face);
    EXPECT_EQ(at(*four, 40, 12), t.light);
}

TEST_F(Button, RegionsFollowTheType) {
    const int W = 80, H = 24;
    auto region = [&](int type) {
        auto b = make(type, 3, W, H);
        const gdi::Region* r = window::windowRegion(b->hwnd());
        EXPECT_NE(r, nullptr);
        return r ? *r : gdi::Region();
    };
    EXPECT_EQ(region(13), gdi::Region::ellipse({0, 0, W, H}));
    const gdi::Region e = region(13);
    EXPECT_TRUE(e.contains(40, 0));
    EXPECT_FALSE(e.contains(0, 0));
    EXPECT_FALSE(e.contains(3, 3));

    const gdi::Region five = region(5);
    EXPECT_TRUE(five.contains(0, 0));
    EXPECT_TRUE(five.contains(W - 1, H - 1));
    EXPECT_FALSE(five.contains(0, H - 1));
    EXPECT_FALSE(five.contains(W - 1, 0));

    const gdi::Region three = region(3);
    for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}, {W - 1, 1}, {W - 2, H - 1}})
        EXPECT_FALSE(three.contains(x, y)) << x << "," << y;
    EXPECT_TRUE(three.contains(2, 0));
    EXPECT_TRUE(three.contains(1, 1));
    EXPECT_TRUE(three.contains(0, 2));

    EXPECT_EQ(region(2), gdi::Region::rect({0, 0, W, H}));

    // The hover test goes through the region: outside the ellipse is the form.
    auto round = make(13, 3, W, H);
    EXPECT_EQ(window::windowFromPoint({110 + 40, 120 + 12}), round->hwnd());
    EXPECT_EQ(window::windowFromPoint({110, 120}), form);
}

TEST_F(Button, AccessKeySkipsDoubledAmpersands) {
    auto b = make(2);
    const struct {
        std::u16string caption;
        char16_t key;
    } cases[] = {
        {u"&Print", u'p'}, {u"A&&B", 0}, {u"&&&S", u's'}, {u"&&a&&&b", u'b'},
        {u"Print&", 0},    {u"&", 0},    {u"x&Y", u'y'},  {u"&&", 0},
    };
    for (const auto& c : cases) {
        b->setCaption(c.caption);
        EXPECT_EQ(b->accessKey(), c.key) << std::string(c.caption.begin(), c.caption.end());
    }
}

TEST_F(Button, CaptionLayoutCentresTheMeasuredText) {
    auto b = make(2);
    b->setCaption(u"Print");
    const int w = 5 * gdi::TestFont::kCellWidth;
    // Picture left with no picture: starts at (1, 1), then moves by ((80 - right) / 2, ...).
    const int right = 1 + w;
    const int bottom = 1 + gdi::TestFont::kCellHeight;
    EXPECT_EQ(b->textRect(), (gdi::Rect{1 + (80 - right) / 2, 1 + (24 - bottom) / 2,
                                        right + (80 - right) / 2, bottom + (24 - bottom) / 2}));
    EXPECT_EQ(b->buttonRect(), (gdi::Rect{4, 4, 76, 20}));
}

// A 13-pixel-wide picture whose rows are padded in the device-independent copy.
gdi::PicturePtr stridePicture() {
    auto bitmap = std::make_shared<gdi::Bitmap>(13, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 13; ++x) bitmap->setPixel(x, y, gdi::rgb(x * 19, y * 40, 255 - x * 7));
    bitmap->setPixel(0, 0, 0x0000FF);  // pure red
    bitmap->setPixel(1, 0, 0xFFFFFF);  // white
    bitmap->setPixel(2, 0, 0xC0C0C0);  // the mask colour
    return gdi::Picture::fromBitmap(bitmap);
}

TEST_F(Button, GreyscalePictureDrawsEveryRowWithoutSkew) {
    auto b = make(2);
    b->setPicturePosition(4);
    b->setUseGreyscale(true);
    b->setPictureNormal(stridePicture());
    ASSERT_EQ(b->picW(), 13);
    ASSERT_EQ(b->picH(), 3);
    const int x0 = (80 - 13) / 2, y0 = (24 - 3) / 2;
    EXPECT_EQ(b->picX(), x0);
    EXPECT_EQ(b->picY(), y0);
    const auto& source = *b->pictureNormal()->bitmap;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 13; ++x) {
            const gdi::Color s = source.pixel(x, y);
            const gdi::Color expected = s == 0xC0C0C0 ? b->colors().face : [&] {
                const int g = greyOf(gdi::red(s), gdi::green(s), gdi::blue(s));
                return gdi::rgb(g, g, g);
            }();
            EXPECT_EQ(at(*b, x0 + x, y0 + y), expected) << x << "," << y;
        }
    EXPECT_EQ(at(*b, x0, y0), gdi::rgb(76, 76, 76));
    EXPECT_EQ(at(*b, x0 + 1, y0), gdi::rgb(254, 254, 254));

    // Without the mask colour the border shows; plain copy without greyscale.
    b->setUseGreyscale(false);
    b->setUseMaskColor(false);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 13; ++x)
            EXPECT_EQ(at(*b, x0 + x, y0 + y), source.pixel(x, y)) << x << "," << y;
}

TEST_F(Button, DisabledPictureIsADarkOnlySilhouette) {
    auto b = make(6);
    auto bitmap = std::make_shared<gdi::Bitmap>(2, 1);
    bitmap->setPixel(0, 0, gdi::rgb(128, 128, 128));  // sum 384: dark
    bitmap->setPixel(1, 0, gdi::rgb(129, 128, 128));  // sum 385: left alone
    b->setPicturePosition(4);
    b->setPictureNormal(gdi::Picture::fromBitmap(bitmap));
    b->setEnabled(false);
    EXPECT_EQ(at(*b, b->picX(), b->picY()), b->colors().shadow);
    EXPECT_EQ(at(*b, b->picX() + 1, b->picY()), b->colors().face);
}

TEST_F(Button, PictureReliefByEffect) {
    // A one-pixel black picture in the middle: the relief silhouettes lie one pixel off.
    const struct {
        int effect;
        gdi::Color lowerRight, upperLeft;
    } cases[] = {
        {1, 0x989898, 0xE8E8E8},  // raised: dark below right, light above left
        {2, 0xE8E8E8, 0x989898},  // sunken: the reverse
        {3, 0x989898, 0xC0C0C0},  // shadow only
        {7, 0x989898, 0xC0C0C0},  // above 3 acts as 3
        {0, 0xC0C0C0, 0xC0C0C0},
    };
    for (const auto& c : cases) {
        auto b = make(2);
        b->setPicturePosition(4);
        b->setSpecialEffect(c.effect);
        b->setPictureNormal(gdi::Picture::fromBitmap(std::make_shared<gdi::Bitmap>(1, 1, 0)));
        const int x = b->picX(), y = b->picY();
        EXPECT_EQ(at(*b, x, y), 0u) << c.effect;
        EXPECT_EQ(at(*b, x + 1, y + 1), c.lowerRight) << c.effect;
        EXPECT_EQ(at(*b, x - 1, y - 1), c.upperLeft) << c.effect;
    }
}

TEST_F(Button, EllipseAndGradientTypes) {
    auto round = make(13);
    const ColorTable t = round->colors();
    EXPECT_EQ(at(*round, 40, 0), t.face);  // up, not over: the pen is the face colour
    round->mouseDown(1, 0, 40, 12);
    EXPECT_EQ(at(*round, 40, 0), t.darkShadow);
    EXPECT_EQ(at(*round, 40, 1), t.darkShadow);  // a pen two pixels wide
    EXPECT_EQ(at(*round, 40, 12), adjustColor(t.face, -32));

    const int H = 24;
    auto glossy = make(14, 3, 80, H);
    for (int i = 6; i < H - 4; ++i)
        EXPECT_EQ(at(*glossy, 40, i),
                  adjustColor(t.highlight, static_cast<int>(std::nearbyint(-(58.0 / H * i)))))
            << i;
    EXPECT_EQ(at(*glossy, 0, 10), adjustColor(t.shadow, -50));
    EXPECT_EQ(at(*glossy, 1, 10), adjustColor(t.face, -9));
    EXPECT_EQ(at(*glossy, 2, 10), t.highlight);
}

TEST_F(Button, CaptionReliefAndEmbossedDisabledCaption) {
    // "I" in the test font: its cell at (36, 4) after centring, its block at x 37..42, y 6..16.
    auto b = make(2);
    b->setCaption(u"I");
    ASSERT_EQ(b->textRect(), (gdi::Rect{36, 4, 44, 20}));
    b->setSpecialEffect(1);
    EXPECT_EQ(at(*b, 40, 10), 0u);         // the caption in the text colour
    EXPECT_EQ(at(*b, 43, 17), 0x989898u);  // relief below right: face - 40
    EXPECT_EQ(at(*b, 36, 5), 0xE8E8E8u);   // above left: face + 40
    b->setEnabled(false);
    EXPECT_EQ(at(*b, 40, 10), b->colors().shadow);
    EXPECT_EQ(at(*b, 43, 17), b->colors().highlight);
    EXPECT_EQ(b->captionMode(), 3);
}

TEST_F(Button, IconPictureIsTransparentAroundTheIcon) {
    auto b = make(2);
    gdi::Icon icon{std::make_shared<gdi::Bitmap>(2, 2, 0x0000FF), {true, false, false, true}};
    b->setPicturePosition(4);
    b->setPictureNormal(gdi::Picture::fromIcon(icon));
    EXPECT_EQ(at(*b, b->picX(), b->picY()), b->colors().face);
    EXPECT_EQ(at(*b, b->picX() + 1, b->picY()), 0x0000FFu);
}

TEST_F(Button, PersistenceWritesAll23KeysAndReadsDefaults) {
    auto b = make(3);
    PropertyBag saved;
    b->writeProperties(saved);
    const std::vector<std::u16string> keys = {
        u"BTYPE", u"TX",     u"ENAB",  u"FONT", u"COLTYPE", u"FOCUSR", u"BCOL", u"BCOLO",
        u"FCOL",  u"FCOLO",  u"MCOL",  u"MPTR", u"MICON",   u"PICN",   u"PICH", u"UMCOL",
        u"SOFT",  u"PICPOS", u"NGREY", u"FX",   u"HAND",    u"CHECK",  u"VALUE"};
    EXPECT_EQ(saved.order(), keys);

    PropertyBag partial;
    partial.write(u"BCOL", std::int32_t{0x123456});
    partial.write(u"FONT", gdi::Font{u"Tahoma", 8, false, false, false, 0});
    auto loaded = make(2);
    loaded->readProperties(partial);
    EXPECT_EQ(loaded->backOver(), 0x123456u);
    EXPECT_EQ(loaded->buttonType(), 2);
    EXPECT_EQ(loaded->foreColor(), gdi::sysColor(gdi::COLOR_BTNTEXT));
    EXPECT_EQ(loaded->maskColor(), 0xC0C0C0u);
    EXPECT_EQ(loaded->font().charset, 129);
    EXPECT_EQ(loaded->font().size, 9);
    EXPECT_TRUE(loaded->showFocusRect());
    EXPECT_EQ(loaded->mousePointer(), XButton::kArrowPointer);  // through the HandPointer set
    EXPECT_EQ(loaded->version(), u"2.0.6");
}

TEST_F(Button, FontSetFollowsTheLanguage) {
    auto b = make(2);
    const struct {
        vistrel::Language language;
        double size;
        double expected;
        int charset;
    } cases[] = {
        {vistrel::Language::English, 8.25, 8, 0},
        {vistrel::Language::Korean, 8.25, 9, 129},
        {vistrel::Language::Korean, 9, 9, 129},
        {vistrel::Language::English, 12, 12, 0},
    };
    for (const auto& c : cases) {
        vistrel::setLanguage(c.language);
        b->setFont(gdi::Font{u"Tahoma", c.size, false, false, false, 0});
        EXPECT_EQ(b->font().size, c.expected);
        EXPECT_EQ(b->font().charset, c.charset);
    }
    vistrel::setLanguage(std::nullopt);
    EXPECT_EQ(host.changed.back(), u"FONT");
}

TEST_F(Button, DesignTimeColourAlsoSetsTheOverColour) {
    auto b = make(2, 2);
    b->setBackColor(0x112233);
    EXPECT_NE(b->backOver(), 0x112233u);
    host.runTime = false;
    b->setBackColor(0x445566);
    EXPECT_EQ(b->backOver(), 0x445566u);
}

TEST_F(Button, DisableRefreshHoldsPaintingUntilRefresh) {
    auto b = make(2);
    const int before = b->paintCount();
    b->disableRefresh();
    b->setCaption(u"OK");
    b->setBackColor(0x00FF00);
    b->setSpecialEffect(1);
    EXPECT_EQ(b->paintCount(), before);
    b->refresh();
    EXPECT_EQ(b->paintCount(), before + 1);
}

TEST_F(Button, PainterSkipsUnchangedAndHonoursToggleAndHeight) {
    auto b = make(2);
    const int before = b->paintCount();
    EXPECT_FALSE(b->paint(0, false));  // same state and caption
    EXPECT_TRUE(b->paint(0, true));
    b->setCheckBoxBehaviour(true);
    b->setValue(true);
    EXPECT_EQ(b->lastState(), 2);  // a toggle that is on paints down
    EXPECT_GT(b->paintCount(), before);
    b->resize(80, 0);
    const int flat = b->paintCount();
    EXPECT_FALSE(b->paint(0, true));
    EXPECT_EQ(b->paintCount(), flat);
    EXPECT_EQ(b->lastState(), 2);
}

TEST_F(Button, Scheme2HoverUsesBackOverAndRestoresBackColor) {
    auto b = make(2, 2);
    b->setBackColor(0x202020);
    b->setBackOver(0x0000C0);
    window::setCursorPos({150, 130});
    b->mouseMove(0, 0, 40, 10);
    ASSERT_TRUE(b->isOver());
    EXPECT_EQ(at(*b, 40, 12), 0x0000C0u);
    EXPECT_EQ(b->backColor(), 0x202020u);
    EXPECT_EQ(b->colors().face, 0x202020u);
}

TEST_F(Button, UnknownTypePaintsTheFaceOnly) {
    auto b = make(15);
    b->setCaption(u"X");
    for (gdi::Color p : b->surface().pixels()) EXPECT_EQ(p, b->colors().face);
}

// Numbers without a name are kept as they are: the getters and the saved bag give them back,
// and each acts as its fallback.
TEST_F(Button, UnnamedValuesAreKeptAndActAsTheirFallbacks) {
    const struct {
        int type, scheme, position;
    } cases[] = {{0, 0, -1}, {10, 5, 5}, {15, -3, 99}, {-7, 1000, 7}};
    for (const auto& c : cases) {
        auto b = make(c.type, c.scheme);
        b->setCaption(u"X");
        for (gdi::Color p : b->surface().pixels()) ASSERT_EQ(p, b->colors().face) << c.type;
        EXPECT_EQ(b->colors().face, gdi::sysColor(gdi::COLOR_BTNFACE)) << c.scheme;
        EXPECT_EQ(b->colors().selectLight, lightenColor(gdi::sysColor(gdi::COLOR_HIGHLIGHT), 176));
        const Rect before = b->textRect();
        b->setPicturePosition(c.position);
        EXPECT_EQ(b->textRect(), before) << c.position;
        // A longer caption is measured from where the last one was, not centred again.
        b->setCaption(u"OK");
        EXPECT_EQ(b->textRect().left, before.left) << c.position;
        EXPECT_EQ(b->textRect().top, before.top);
        EXPECT_EQ(b->textRect().width(), 2 * gdi::TestFont::kCellWidth);

        PropertyBag saved;
        b->writeProperties(saved);
        EXPECT_EQ(saved.read<std::int32_t>(u"BTYPE", 2), c.type);
        EXPECT_EQ(saved.read<std::int32_t>(u"COLTYPE", 1), c.scheme);
        EXPECT_EQ(saved.read<std::int32_t>(u"PICPOS", 0), c.position);
        auto loaded = make(2);
        loaded->readProperties(saved);
        EXPECT_EQ(loaded->buttonType(), c.type);
        EXPECT_EQ(loaded->colorScheme(), c.scheme);
        EXPECT_EQ(loaded->picturePosition(), c.position);
    }
}

TEST_F(Button, TransparentTypeCopiesTheParentAtItsPixelOffsetAndFollowsResizes) {
    host.parent = std::make_shared<gdi::Bitmap>(400, 300, 0);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) host.parent->setPixel(x, y, gdi::rgb(x % 256, y, 7));
    auto b = make(11);
    EXPECT_EQ(at(*b, 0, 0), gdi::rgb(10, 20, 7));
    EXPECT_EQ(at(*b, 70, 20), gdi::rgb(80, 40, 7));
    b->resize(120, 30);
    EXPECT_EQ(at(*b, 110, 25), gdi::rgb(120, 45, 7));
}

}  // namespace
