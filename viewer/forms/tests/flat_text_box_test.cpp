#include "viewer/forms/flat_text_box.h"

#include <gtest/gtest.h>

#include "strings/strings.h"
#include "viewer/forms/tests/fake_host.h"

namespace {

using namespace vistrel::forms;
using vistrel::forms::testing::FakeHost;
namespace gdi = platform::gdi;

class TextBoxTest : public ::testing::Test {
  protected:
    void SetUp() override { vistrel::setLanguage(vistrel::Language::English); }
    void TearDown() override { vistrel::setLanguage(std::nullopt); }
    FakeHost host;
};

TEST_F(TextBoxTest, NewAndLoadedDefaults) {
    FlatTextBox fresh(host, 100, 30);
    EXPECT_EQ(fresh.text(), u"FlatTextBox");
    EXPECT_EQ(fresh.text1().text, u"FlatTextBox");
    EXPECT_EQ(fresh.lightBorderColor(), 0xFFFFFFu);
    EXPECT_EQ(fresh.darkBorderColor(), 0xC0C0C0u);
    EXPECT_EQ(fresh.lostFocusColor(), FlatTextBox::kOwnBackColor);
    EXPECT_EQ(fresh.hasFocusColor(), 0x80000005u);
    EXPECT_EQ(fresh.foreColor(), 0x80000008u);
    EXPECT_TRUE(fresh.enabled());
    EXPECT_FALSE(fresh.locked());

    FlatTextBox loaded(host, 100, 30);
    PropertyBag bag;
    bag.write(u"Locked", true);
    loaded.readProperties(bag);
    EXPECT_EQ(loaded.text(), u"FlatText");
    EXPECT_TRUE(loaded.locked());
    EXPECT_TRUE(loaded.text1().locked);
    EXPECT_EQ(loaded.foreColor(), 0x80000008u);

    PropertyBag saved;
    loaded.writeProperties(saved);
    EXPECT_EQ(saved.order(),
              (std::vector<std::u16string>{u"HasFocusColor", u"LostFocusColor", u"LightBorderColor",
                                           u"DarkBorderColor", u"ForeColor", u"Enabled", u"Locked",
                                           u"Text", u"FONT"}));
}

TEST_F(TextBoxTest, LayoutOfTheFramesAndTheInnerBox) {
    FlatTextBox box(host, 20, 12);
    EXPECT_EQ(box.darkBorder().rect, (gdi::Rect{0, 0, 19, 11}));
    EXPECT_EQ(box.lightBorder().rect, (gdi::Rect{1, 1, 20, 12}));
    EXPECT_EQ(box.text1().rect, (gdi::Rect{2, 2, 18, 10}));
    const gdi::Bitmap& s = box.surface();
    EXPECT_EQ(s.pixel(0, 0), 0xC0C0C0u);
    EXPECT_EQ(s.pixel(0, 10), 0xC0C0C0u);
    EXPECT_EQ(s.pixel(19, 5), 0xFFFFFFu);
    EXPECT_EQ(s.pixel(5, 11), 0xFFFFFFu);
    EXPECT_EQ(s.pixel(1, 5), 0xFFFFFFu);
    EXPECT_EQ(s.pixel(18, 1), 0xFFFFFFu);  // where they cross, the light frame lies above
    box.resize(40, 20);
    EXPECT_EQ(box.text1().rect, (gdi::Rect{2, 2, 38, 18}));
}

TEST_F(TextBoxTest, LanguageFontSizes) {
    const struct {
        vistrel::Language language;
        double own;
        double ownAfter;
        double inner;
    } cases[] = {
        {vistrel::Language::Korean, 8, 9, 9},    {vistrel::Language::Korean, 8.25, 8.25, 9},
        {vistrel::Language::Korean, 12, 12, 12}, {vistrel::Language::English, 7, 7, 8},
        {vistrel::Language::English, 8, 8, 8},
    };
    for (const auto& c : cases) {
        vistrel::setLanguage(c.language);
        FlatTextBox box(host, 100, 30);
        box.setFont(gdi::Font{u"Arial", c.own, false, false, false, 0});
        EXPECT_EQ(box.font().size, c.ownAfter) << c.own;
        EXPECT_EQ(box.text1().font.size, c.inner) << c.own;
        const bool korean = c.language == vistrel::Language::Korean;
        EXPECT_EQ(box.font().face, korean ? u"굴림" : u"Tahoma");
        EXPECT_EQ(box.text1().font.charset, korean ? 129 : 0);
    }
}

TEST_F(TextBoxTest, StyleFlagsStayOnTheOwnFont) {
    FlatTextBox box(host, 100, 30);
    box.setFontBold(true);
    box.setFontItalic(true);
    EXPECT_TRUE(box.font().bold);
    EXPECT_FALSE(box.text1().font.bold);
    EXPECT_FALSE(box.text1().font.italic);
    EXPECT_TRUE(host.changed.empty());  // style lets mark nothing changed
}

// Setting Text shows it in the inner box once and raises Change; no layout pass runs: the frames
// are not painted again and a focused inner box keeps its has-focus background (a layout pass
// would set it back to LostFocusColor). Text typed into the inner box raises Change only.
TEST_F(TextBoxTest, TextSetRaisesChangeWithoutALayoutPass) {
    FlatTextBox box(host, 100, 30);
    box.text1GotFocus();
    int displays = 0;
    std::vector<std::u16string> changes;
    box.onDisplay = [&] { ++displays; };
    box.events.change = [&] { changes.push_back(box.text()); };
    const gdi::Bitmap* frames = &box.surface();
    const gdi::Rect inner = box.text1().rect;
    box.setText(u"Ready");
    EXPECT_EQ(box.text(), u"Ready");
    EXPECT_EQ(box.text1().text, u"Ready");
    EXPECT_EQ(displays, 1);
    EXPECT_EQ(&box.surface(), frames);
    EXPECT_EQ(box.text1().rect, inner);
    EXPECT_EQ(box.text1().backColor, 0x80000005u);
    EXPECT_EQ(changes, (std::vector<std::u16string>{u"Ready"}));
    EXPECT_EQ(host.changed, (std::vector<std::u16string>{u"Text"}));
    box.text1Changed(u"Typed");
    EXPECT_EQ(box.text(), u"Typed");
    EXPECT_EQ(displays, 1);
    EXPECT_EQ(&box.surface(), frames);
    EXPECT_EQ(changes, (std::vector<std::u16string>{u"Ready", u"Typed"}));
    EXPECT_EQ(host.changed, (std::vector<std::u16string>{u"Text"}));
}

TEST_F(TextBoxTest, FocusColoursAndTheirResetBySetters) {
    FlatTextBox box(host, 100, 30);
    box.text1GotFocus();
    EXPECT_EQ(box.text1().backColor, 0x80000005u);
    box.setForeColor(0x0000FF);
    EXPECT_EQ(box.text1().backColor, FlatTextBox::kOwnBackColor);
    EXPECT_EQ(box.text1().foreColor, 0x0000FFu);
    box.text1LostFocus();
    EXPECT_EQ(box.text1().backColor, FlatTextBox::kOwnBackColor);
    EXPECT_EQ(host.changed, (std::vector<std::u16string>{u"ForeColor"}));
}

}  // namespace
