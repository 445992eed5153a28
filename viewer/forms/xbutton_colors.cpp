// The button's colours: the brightness shifts its painting works with and the colour table of
// each colour scheme.
#include <algorithm>

#include "viewer/forms/xbutton.h"

namespace vistrel::forms {

namespace gdi = platform::gdi;

Color adjustColor(Color color, int amount, bool proportionalBlue, bool softBevel) {
    if (softBevel) amount /= 2;
    int r = gdi::red(color) + amount;
    int g = gdi::green(color) + amount;
    int b = gdi::blue(color);
    b += proportionalBlue ? b * amount / 192 : amount;
    if (amount > 0) {
        r = std::min(r, 255);
        g = std::min(g, 255);
        b = std::min(b, 255);
    } else if (amount < 0) {
        r = std::max(r, 0);
        g = std::max(g, 0);
        b = std::max(b, 0);
    }
    return static_cast<Color>(r + g * 256 + b * 65536);
}

Color lightenColor(Color color, int alpha) {
    auto channel = [alpha](int c) { return std::min(c * (255 - alpha) / 255 + alpha, 255); };
    return gdi::rgb(channel(gdi::red(color)), channel(gdi::green(color)),
                    channel(gdi::blue(color)));
}

Color XButton::adjust(Color c, int amount, bool proportionalBlue) const {
    return adjustColor(c, amount, proportionalBlue, softBevel_);
}

Color XButton::resolve(std::uint32_t oleColor) const {
    return gdi::oleTranslateColor(oleColor).value_or(0);
}

void XButton::buildColorTable() {
    ColorTable& t = colors_;
    auto derived = [&] {
        t.shadow = adjust(t.face, -64);
        t.light = adjust(t.face, 31);
        t.highlight = adjust(t.face, 47);
        t.darkShadow = adjust(t.face, -192);
    };
    switch (colorScheme_) {
        case ColorScheme::Custom:
            t.face = resolve(backColor_);
            t.faceOver = resolve(backOver_);
            t.text = resolve(foreColor_);
            t.textOver = resolve(foreOver_);
            derived();
            t.selectColor = adjust(t.face, -128);
            t.selectLight = t.face;
            break;
        case ColorScheme::FixedGrey:
            t.shadow = 0x808080;
            t.face = t.faceOver = 0xC0C0C0;
            t.light = 0xDFDFDF;
            t.darkShadow = 0;
            t.highlight = 0xFFFFFF;
            t.text = t.textOver = 0;
            t.selectColor = 0x800000;
            t.selectLight = 0xD1ADAD;
            break;
        case ColorScheme::Parent:
            t.face = t.faceOver = host_.parentBackColor();
            t.text = t.textOver = host_.parentTextColor();
            derived();
            t.selectColor = gdi::sysColor(gdi::COLOR_HIGHLIGHT);
            t.selectLight = lightenColor(t.selectColor, 176);
            break;
        case ColorScheme::System:
        default:
            t.face = t.faceOver = gdi::sysColor(gdi::COLOR_BTNFACE);
            t.shadow = gdi::sysColor(gdi::COLOR_BTNSHADOW);
            t.light = gdi::sysColor(gdi::COLOR_3DLIGHT);
            t.darkShadow = gdi::sysColor(gdi::COLOR_3DDKSHADOW);
            t.highlight = gdi::sysColor(gdi::COLOR_BTNHIGHLIGHT);
            t.text = t.textOver = gdi::sysColor(gdi::COLOR_BTNTEXT);
            t.selectColor = gdi::sysColor(gdi::COLOR_HIGHLIGHT);
            t.selectLight = lightenColor(t.selectColor, 176);
            break;
    }
    t.mask = resolve(maskColor_);
    t.faceLight = adjust(t.face, 48, btnType_ == ButtonType::Shaded);
}

}  // namespace vistrel::forms
