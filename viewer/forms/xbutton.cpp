#include "viewer/forms/xbutton.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vistrel::forms {

namespace gdi = platform::gdi;
namespace window = platform::window;

namespace {

constexpr unsigned kCaptionFlags = gdi::DT_CENTER | gdi::DT_VCENTER | gdi::DT_WORDBREAK;

// Whole-number conversion of the painter: to the nearest, halves to even.
int whole(double v) {
    return static_cast<int>(std::nearbyint(v));
}

// Length of the text in the system ANSI code page: characters outside ASCII take two bytes.
int ansiLength(const std::u16string& text) {
    int n = 0;
    for (char16_t c : text) n += c < 0x80 ? 1 : 2;
    return n;
}

}  // namespace

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

int greyOf(int red, int green, int blue) {
    return whole(std::nearbyint(0.3 * red) + 0.59 * green + 0.11 * blue);
}

// ---- lifecycle ----

XButton::XButton(ControlHost& host, window::Hwnd parent, const Rect& rect)
    : host_(host), surface_(std::make_shared<gdi::Bitmap>(0, 0)), dc_(surface_) {
    dc_.setBkMode(gdi::BkMode::Transparent);
    hwnd_ = window::createWindow(parent, rect, u"xButton");
    window::setTabStop(hwnd_, true);
    focusListener_ = window::addFocusListener([this](window::Hwnd lost, window::Hwnd gained) {
        if (lost == hwnd_) lostFocus();
        if (gained == hwnd_) gotFocus();
    });
    buildColorTable();
}

XButton::~XButton() {
    paintingOn_ = false;
    stopOverTimer();
    window::removeFocusListener(focusListener_);
    if (window::capture() == hwnd_) window::releaseCapture();
    // The window owns the region and goes with it.
    window::destroyWindow(hwnd_);
}

void XButton::initNew() {
    enabled_ = true;
    showFocusRect_ = true;
    useMaskColor_ = true;
    caption_ = host_.displayName();
    font_ = host_.ambientFont();
    btnType_ = 2;
    colorScheme_ = 1;
    buildColorTable();
    backColor_ = backOver_ = colors_.face;
    foreColor_ = foreOver_ = colors_.text;
    maskColor_ = 0xC0C0C0;
    layoutCaption();
}

void XButton::readProperties(const PropertyBag& bag) {
    btnType_ = bag.read<std::int32_t>(u"BTYPE", 2);
    caption_ = bag.read<std::u16string>(u"TX", u"");
    enabled_ = bag.read<bool>(u"ENAB", true);
    font_ = bag.read<gdi::Font>(u"FONT", font_);
    colorScheme_ = bag.read<std::int32_t>(u"COLTYPE", 1);
    showFocusRect_ = bag.read<bool>(u"FOCUSR", true);
    backColor_ = bag.readColor(u"BCOL", gdi::sysColor(gdi::COLOR_BTNFACE));
    backOver_ = bag.readColor(u"BCOLO", backColor_);
    foreColor_ = bag.readColor(u"FCOL", gdi::sysColor(gdi::COLOR_BTNTEXT));
    foreOver_ = bag.readColor(u"FCOLO", foreColor_);
    maskColor_ = bag.readColor(u"MCOL", 0xC0C0C0);
    mousePointer_ = bag.read<std::int32_t>(u"MPTR", 0);
    mouseIcon_ = bag.read<gdi::PicturePtr>(u"MICON", nullptr);
    pictureNormal_ = bag.read<gdi::PicturePtr>(u"PICN", nullptr);
    pictureOver_ = bag.read<gdi::PicturePtr>(u"PICH", nullptr);
    useMaskColor_ = bag.read<bool>(u"UMCOL", true);
    softBevel_ = bag.read<bool>(u"SOFT", false);
    picturePos_ = bag.read<std::int32_t>(u"PICPOS", 0);
    useGreyscale_ = bag.read<bool>(u"NGREY", false);
    specialEffect_ = bag.read<std::int32_t>(u"FX", 0);
    setHandPointer(bag.read<bool>(u"HAND", false));
    checkBox_ = bag.read<bool>(u"CHECK", false);
    value_ = bag.read<bool>(u"VALUE", false);
    font_.charset = 129;
    if (font_.size < 9) font_.size = 9;
    window::setEnabled(hwnd_, enabled_);
    measurePicture();
    layoutCaption();
    updateAccessKey();
}

void XButton::writeProperties(PropertyBag& bag) const {
    bag.write(u"BTYPE", btnType_);
    bag.write(u"TX", caption_);
    bag.write(u"ENAB", enabled_);
    bag.write(u"FONT", font_);
    bag.write(u"COLTYPE", colorScheme_);
    bag.write(u"FOCUSR", showFocusRect_);
    bag.writeColor(u"BCOL", backColor_);
    bag.writeColor(u"BCOLO", backOver_);
    bag.writeColor(u"FCOL", foreColor_);
    bag.writeColor(u"FCOLO", foreOver_);
    bag.writeColor(u"MCOL", maskColor_);
    bag.write(u"MPTR", mousePointer_);
    bag.write(u"MICON", mouseIcon_);
    bag.write(u"PICN", pictureNormal_);
    bag.write(u"PICH", pictureOver_);
    bag.write(u"UMCOL", useMaskColor_);
    bag.write(u"SOFT", softBevel_);
    bag.write(u"PICPOS", picturePos_);
    bag.write(u"NGREY", useGreyscale_);
    bag.write(u"FX", specialEffect_);
    bag.write(u"HAND", handPointer_);
    bag.write(u"CHECK", checkBox_);
    bag.write(u"VALUE", value_);
}

void XButton::show() {
    window::setVisible(hwnd_, true);
    if (btnType_ == 11) {
        ensureBackground();
        captureParentBackground();
    }
    paintingOn_ = true;
    buildColorTable();
    paint(0, true);
}

void XButton::hide() {
    paintingOn_ = false;
    window::setVisible(hwnd_, false);
}

void XButton::resize(int width, int height) {
    const Rect r = window::windowRect(hwnd_);
    window::moveWindow(hwnd_, {r.left, r.top, r.left + width, r.top + height});
    onResize();
}

void XButton::ambientChanged() {
    if (colorScheme_ == 2) return;
    buildColorTable();
    paint(lastState_, true);
}

void XButton::refresh() {
    if (btnType_ == 11) {
        ensureBackground();
        captureParentBackground();
    }
    buildColorTable();
    layoutCaption();
    paintingOn_ = true;
    paint(lastState_, true);
}

// ---- properties ----

void XButton::setBackColor(std::uint32_t c) {
    backColor_ = c;
    if (!host_.userMode()) backOver_ = c;
    buildColorTable();
    paint(lastState_, true);
    markChanged(u"BCOL");
}
void XButton::setBackOver(std::uint32_t c) {
    backOver_ = c;
    paint(lastState_, true);
    markChanged(u"BCOLO");
}
void XButton::setForeColor(std::uint32_t c) {
    foreColor_ = c;
    if (!host_.userMode()) foreOver_ = c;
    buildColorTable();
    paint(lastState_, true);
    markChanged(u"FCOL");
}
void XButton::setForeOver(std::uint32_t c) {
    foreOver_ = c;
    paint(lastState_, true);
    markChanged(u"FCOLO");
}
void XButton::setMaskColor(std::uint32_t c) {
    maskColor_ = c;
    paint(lastState_, true);
    markChanged(u"MCOL");
}
void XButton::setButtonType(int type) {
    btnType_ = type;
    if (!host_.userMode() && type == 5) font_.bold = true;
    if (type == 11 && paintingOn_) {
        ensureBackground();
        captureParentBackground();
    }
    onResize();
    markChanged(u"BTYPE");
}
void XButton::setCaption(const std::u16string& caption) {
    caption_ = caption;
    updateAccessKey();
    layoutCaption();
    paint(0, true);
    markChanged(u"TX");
}
void XButton::setEnabled(bool on) {
    enabled_ = on;
    paint(0, true);
    window::setEnabled(hwnd_, on);
    markChanged(u"ENAB");
}
void XButton::setFont(const gdi::Font& font) {
    const short size = languageNumber(3).value_or(0);
    const short charset = languageNumber(4).value_or(0);
    font_ = font;
    font_.charset = charset;
    if (font_.size < 9) font_.size = size;
    layoutCaption();
    paint(0, true);
    markChanged(u"FONT");
}
void XButton::setFontBold(bool on) {
    font_.bold = on;
    layoutCaption();
    paint(0, true);
}
void XButton::setFontItalic(bool on) {
    font_.italic = on;
    layoutCaption();
    paint(0, true);
}
void XButton::setFontUnderline(bool on) {
    font_.underline = on;
    layoutCaption();
    paint(0, true);
}
short XButton::fontSize() const {
    return static_cast<short>(whole(font_.size));
}
void XButton::setFontSize(short size) {
    font_.size = size;
    layoutCaption();
    paint(0, true);
}
void XButton::setFontName(const std::u16string& name) {
    font_.face = name;
    layoutCaption();
    paint(0, true);
}
void XButton::setColorScheme(int scheme) {
    colorScheme_ = scheme;
    buildColorTable();
    paint(0, true);
    markChanged(u"COLTYPE");
}
void XButton::setShowFocusRect(bool on) {
    showFocusRect_ = on;
    paint(lastState_, true);
    markChanged(u"FOCUSR");
}
void XButton::setMousePointer(int pointer) {
    mousePointer_ = static_cast<short>(pointer);
    markChanged(u"MPTR");
}
void XButton::setMouseIcon(gdi::PicturePtr icon) {
    mouseIcon_ = std::move(icon);
    markChanged(u"MICON");
}
void XButton::setHandPointer(bool on) {
    handPointer_ = on;
    if (on) {
        // The library's hand cursor: a small pointing-hand picture of its own.
        static const gdi::PicturePtr hand = [] {
            auto bitmap = std::make_shared<gdi::Bitmap>(16, 16, 0xFFFFFF);
            gdi::Dc dc(bitmap);
            dc.fillRect({6, 0, 9, 9}, gdi::Brush{0});
            dc.fillRect({3, 7, 13, 16}, gdi::Brush{0});
            return gdi::Picture::fromBitmap(bitmap);
        }();
        mouseIcon_ = hand;
        mousePointer_ = kHandPointer;
    } else {
        mouseIcon_ = nullptr;
        mousePointer_ = kArrowPointer;
    }
    markChanged(u"HAND");
}
void XButton::setSoftBevel(bool on) {
    softBevel_ = on;
    buildColorTable();
    paint(lastState_, true);
    markChanged(u"SOFT");
}
void XButton::setPictureNormal(gdi::PicturePtr picture) {
    pictureNormal_ = std::move(picture);
    measurePicture();
    layoutCaption();
    paint(lastState_, true);
    markChanged(u"PICN");
}
void XButton::setPictureOver(gdi::PicturePtr picture) {
    pictureOver_ = std::move(picture);
    if (isOver_) paint(lastState_, true);
    markChanged(u"PICO");
}
void XButton::setPicturePosition(int position) {
    picturePos_ = position;
    markChanged(u"PICPOS");
    layoutCaption();
    paint(lastState_, true);
}
void XButton::setUseMaskColor(bool on) {
    useMaskColor_ = on;
    if (pictureNormal_) paint(lastState_, true);
    markChanged(u"UMCOL");
}
void XButton::setUseGreyscale(bool on) {
    useGreyscale_ = on;
    if (pictureNormal_) paint(lastState_, true);
    markChanged(u"NGREY");
}
void XButton::setSpecialEffect(int effect) {
    specialEffect_ = effect;
    paint(lastState_, true);
    markChanged(u"FX");
}
void XButton::setCheckBoxBehaviour(bool on) {
    checkBox_ = on;
    paint(lastState_, true);
    markChanged(u"CHECK");
}
void XButton::setValue(bool on) {
    value_ = on;
    if (checkBox_) paint(0, true);
    markChanged(u"VALUE");
}

// ---- colours, region and layout ----

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
        case 2:
            t.face = resolve(backColor_);
            t.faceOver = resolve(backOver_);
            t.text = resolve(foreColor_);
            t.textOver = resolve(foreOver_);
            derived();
            t.selectColor = adjust(t.face, -128);
            t.selectLight = t.face;
            break;
        case 3:
            t.shadow = 0x808080;
            t.face = t.faceOver = 0xC0C0C0;
            t.light = 0xDFDFDF;
            t.darkShadow = 0;
            t.highlight = 0xFFFFFF;
            t.text = t.textOver = 0;
            t.selectColor = 0x800000;
            t.selectLight = 0xD1ADAD;
            break;
        case 4:
            t.face = t.faceOver = host_.parentBackColor();
            t.text = t.textOver = host_.parentTextColor();
            derived();
            t.selectColor = gdi::sysColor(gdi::COLOR_HIGHLIGHT);
            t.selectLight = lightenColor(t.selectColor, 176);
            break;
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
    t.faceLight = adjust(t.face, 48, btnType_ == 3);
}

void XButton::onResize() {
    if (capturing_) return;
    const Rect r = window::windowRect(hwnd_);
    buttonRect_ = {0, 0, r.width(), r.height()};
    height_ = buttonRect_.bottom;
    width_ = buttonRect_.right;
    if (surface_->width() != width_ || surface_->height() != height_) {
        surface_ = std::make_shared<gdi::Bitmap>(width_, height_);
        dc_.selectBitmap(surface_);
        // The background copy follows the new size.
        if (background_) {
            background_.reset();
            if (btnType_ == 11) {
                ensureBackground();
                captureParentBackground();
            }
        }
    }
    if (btnType_ >= 7 && btnType_ <= 13)
        buttonRect_ = buttonRect_.inflate(-3, -3);
    else if (btnType_ == 14)
        buttonRect_ = buttonRect_.inflate(-5, -5).offset(1, 1);
    else
        buttonRect_ = buttonRect_.inflate(-4, -4);
    layoutCaption();
    buildRegion();
    if (height_ != 0) paint(0, true);
}

void XButton::buildRegion() {
    const int W = width_;
    const int H = height_;
    gdi::Region region = gdi::Region::rect({0, 0, W, H});
    auto remove = [&](int l, int t, int r, int b) {
        region = gdi::Region::combine(region, gdi::Region::rect({l, t, r, b}), gdi::Combine::Diff);
    };
    switch (btnType_) {
        case 1:
        case 14:
            remove(0, H - 1, 1, H);
            remove(W - 1, 0, W, 1);
            remove(0, 0, 1, 1);
            remove(W - 1, H - 1, W, H);
            break;
        case 5:
            remove(0, H - 1, 1, H);
            remove(W - 1, 0, W, 1);
            break;
        case 3:
        case 4:
            remove(0, 0, 2, 1);
            remove(0, H - 1, 2, H);
            remove(W - 2, 0, W, 1);
            remove(W - 2, H - 1, W, H);
            remove(0, 1, 1, 2);
            remove(0, H - 2, 1, H - 1);
            remove(W - 1, 1, W, 2);
            remove(W - 1, H - 2, W, H - 1);
            break;
        case 13:
            region = gdi::Region::ellipse({0, 0, W, H});
            break;
        default:
            break;
    }
    // The window takes the region and owns it from here on.
    window::setWindowRegion(hwnd_, std::move(region));
}

void XButton::layoutCaption() {
    Rect r = textRect_;
    const int W = width_;
    const int H = height_;
    switch (picturePos_) {
        case 0:
            r = {picW_ + 1, 1, W - 2, H - 2};
            break;
        case 1:
            r = {1, 1, W - 2 - picW_, H - 2};
            break;
        case 2:
            r = {1, picH_ + 1, W - 2, H - 2};
            break;
        case 3:
            r = {1, 1, W - 2, H - 2 - picH_};
            break;
        case 4:
            r = {1, 1, W - 2, H - 2};
            break;
        default:
            break;
    }
    dc_.selectFont(font_);
    dc_.drawText(caption_, r, gdi::DT_CALCRECT | gdi::DT_WORDBREAK);
    textRect_ = r;
    textWidth_ = r.width();
    textHeight_ = r.height();
    switch (picturePos_) {
        case 0:
        case 2:
        case 4:
            textRect_ = r.offset((W - r.right) / 2, (H - r.bottom) / 2);
            break;
        case 1:
            textRect_ = r.offset((W - r.right - picW_ - 4) / 2, (H - r.bottom) / 2);
            break;
        case 3:
            textRect_ = r.offset((W - r.right) / 2, (H - r.bottom - picH_ - 4) / 2);
            break;
        default:
            break;
    }
    textRectDown_ = textRect_.offset(1, 1);
    layoutPicture();
}

void XButton::layoutPicture() {
    if (!pictureNormal_ && !pictureOver_) return;
    std::u16string trimmed = caption_;
    trimmed.erase(0, trimmed.find_first_not_of(u' '));
    while (!trimmed.empty() && trimmed.back() == u' ') trimmed.pop_back();
    if (!trimmed.empty() && picturePos_ != 4) {
        switch (picturePos_) {
            case 0:
                picX_ = textRect_.left - picW_ - 4;
                picY_ = (height_ - picH_) / 2;
                break;
            case 1:
                picX_ = textRect_.right + 4;
                picY_ = (height_ - picH_) / 2;
                break;
            case 2:
                picX_ = (width_ - picW_) / 2;
                picY_ = textRect_.top - picH_ - 2;
                break;
            case 3:
                picX_ = (width_ - picW_) / 2;
                picY_ = textRect_.bottom + 2;
                break;
            default:
                break;
        }
    } else {
        picX_ = (width_ - picW_) / 2;
        picY_ = (height_ - picH_) / 2;
    }
}

void XButton::measurePicture() {
    if (!pictureNormal_) {
        picW_ = picH_ = 0;
        return;
    }
    picW_ = gdi::himetricToPixels(pictureNormal_->himetricWidth);
    picH_ = gdi::himetricToPixels(pictureNormal_->himetricHeight);
}

void XButton::updateAccessKey() {
    char16_t key = 0;
    if (ansiLength(caption_) >= 2) {
        // Every "&&" pair stands for a literal ampersand: the key follows the first single "&".
        std::size_t p = caption_.find(u'&');
        while (p != std::u16string::npos && p + 1 < caption_.size()) {
            if (caption_[p + 1] != u'&') {
                const char16_t c = caption_[p + 1];
                key = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
                break;
            }
            p = caption_.find(u'&', p + 2);
        }
    }
    if (key != accessKey_) {
        accessKey_ = key;
        host_.accessKeyChanged(key);
    }
}

void XButton::ensureBackground() {
    if (!background_) background_ = gdi::createCompatibleBitmap(width_, height_);
}

void XButton::captureParentBackground() {
    capturing_ = true;
    // The parent is painted without the control for the copy.
    window::setVisible(hwnd_, false);
    if (const gdi::BitmapPtr parent = host_.parentSurface(); parent && background_) {
        // The control's place in the parent, in pixels.
        const Rect place = window::windowRect(hwnd_);
        gdi::Dc src(parent);
        gdi::Dc dst(background_);
        dst.bitBlt(0, 0, width_, height_, src, place.left, place.top);
    }
    window::setVisible(hwnd_, true);
    capturing_ = false;
}

// ---- painting ----

void XButton::paintRect(int x, int y, int w, int h, Color c, bool frameOnly) {
    if (frameOnly)
        dc_.frameRect({x, y, x + w, y + h}, gdi::Brush{c});
    else
        dc_.fillRect({x, y, x + w, y + h}, gdi::Brush{c});
}

void XButton::paintEllipse(int x, int y, int w, int h, Color pen, Color fill) {
    const gdi::Pen oldPen = dc_.selectPen({pen, 2});
    const gdi::Brush oldBrush = dc_.selectBrush({fill});
    dc_.ellipse(x, y, x + w, y + h);
    dc_.selectPen(oldPen);
    dc_.selectBrush(oldBrush);
}

void XButton::paintLine(int x1, int y1, int x2, int y2, Color c) {
    const gdi::Pen old = dc_.selectPen({c, 1});
    dc_.moveTo(x1, y1);
    dc_.lineTo(x2, y2);
    dc_.selectPen(old);
}

void XButton::paintPixel(int x, int y, Color c) {
    dc_.setPixelV(x, y, c);
}

void XButton::paintBevel(Color outerLight, Color outerDark, Color innerLight, Color innerDark,
                         int offset, bool single) {
    const int a = std::abs(offset);
    const int b = height_ - 1 + offset;
    const int r = width_ - 1 + offset;
    dc_.selectPen({outerLight, 1});
    dc_.moveTo(a, b);
    dc_.lineTo(a, a);
    dc_.lineTo(r, a);
    dc_.selectPen({outerDark, 1});
    dc_.lineTo(r, b);
    dc_.lineTo(a - 1, b);
    dc_.moveTo(a + 1, b - 1);
    if (!single) {
        dc_.selectPen({innerLight, 1});
        dc_.lineTo(a + 1, a + 1);
        dc_.lineTo(r - 1, a + 1);
        dc_.selectPen({innerDark, 1});
        dc_.lineTo(r - 1, b - 1);
        dc_.lineTo(a, b - 1);
    }
    dc_.selectPen({});
}

void XButton::paintFocus() {
    if (!showFocusRect_ || !hasFocus_) return;
    dc_.setTextColor(colors_.text);
    dc_.drawFocusRect(buttonRect_);
}

void XButton::drawCaption(Rect r, Color c) {
    dc_.selectFont(font_);
    dc_.setTextColor(c);
    dc_.drawText(caption_, r, kCaptionFlags);
}

void XButton::captionRelief(const Rect& r) {
    if (specialEffect_ <= 0) return;
    const int effect = std::min(specialEffect_, 3);
    Color base = colors_.face;
    if (btnType_ == 3 || btnType_ == 4 || btnType_ == 14)
        base = colors_.faceLight;
    else if (lastState_ == 0 && isOver_ && colorScheme_ != 2 && btnType_ == 9)
        base = colors_.selectLight;
    const int sign = effect == 2 ? 1 : -1;
    drawCaption(r.offset(1, 1), adjust(base, 40 * sign));
    if (effect == 1 || effect == 2) drawCaption(r.offset(-1, -1), adjust(base, -40 * sign));
}

void XButton::paintCaption(int mode) {
    captionMode_ = mode;
    const ColorTable& t = colors_;
    switch (mode) {
        case 0:
        case 1:
            captionRelief(textRect_);
            drawCaption(textRect_, mode == 0 ? t.text : t.textOver);
            break;
        case 2:
            captionRelief(textRectDown_);
            drawCaption(textRectDown_, btnType_ == 4 ? t.light : t.textOver);
            break;
        case 3:
            drawCaption(textRectDown_, t.highlight);
            drawCaption(textRect_, t.shadow);
            break;
        case 4:
            drawCaption(textRect_, t.shadow);
            break;
        case 5:
            drawCaption(textRect_, adjust(t.faceLight, -104, true));
            break;
        case 6:
            drawCaption(textRectDown_, t.highlight);
            drawCaption(textRect_, t.face);
            break;
        case 7:
            drawCaption(textRectDown_, adjust(t.shadow, -50));
            drawCaption(textRect_, t.highlight);
            break;
        default:
            break;
    }
}

bool XButton::focusShown() const {
    return showFocusRect_ && (hasFocus_ || host_.displayAsDefault());
}

bool XButton::paint(int state, bool force) {
    if (checkBox_ && value_) state = 2;
    if (!force && caption_ == lastCaption_ && state == lastState_) return false;
    if (height_ == 0 || !paintingOn_) return false;
    lastState_ = state;
    lastCaption_ = caption_;
    const bool swap = isOver_ && colorScheme_ == 2;
    const std::uint32_t keptBack = backColor_;
    if (swap) {
        backColor_ = backOver_;
        buildColorTable();
    }
    dc_.fillRect({0, 0, width_, height_}, gdi::Brush{colors_.face});
    if (!enabled_) {
        paintDisabled();
        paintPicture(2);
    } else if (state == 2) {
        paintDown();
        paintPicture(1);
    } else if (state == 0) {
        paintUp();
        paintPicture(0);
    }
    if (swap) {
        backColor_ = keptBack;
        buildColorTable();
    }
    ++paints_;
    host_.surfaceChanged();
    return true;
}

void XButton::paintType4Edges() {
    const int W = width_;
    const int H = height_;
    const ColorTable& t = colors_;
    for (auto [x, y] : {std::pair{1, 1}, {1, H - 2}, {W - 2, 1}, {W - 2, H - 2}})
        paintPixel(x, y, t.darkShadow);
    paintLine(1, 2, 2, 0, t.face);
    paintLine(3, 2, W - 3, 2, t.highlight);
    paintLine(2, 2, 2, H - 3, t.highlight);
    paintPixel(3, 3, t.highlight);
    paintLine(W - 3, 1, W - 3, H - 3, t.face);
    paintLine(1, H - 3, W - 3, H - 3, t.face);
    paintPixel(W - 4, H - 4, t.face);
    paintLine(W - 2, 2, W - 2, H - 2, t.shadow);
    paintLine(2, H - 2, W - 2, H - 2, t.shadow);
    paintPixel(W - 3, H - 3, t.shadow);
}

void XButton::paintType3(int branch) {
    const int W = width_;
    const int H = height_;
    const ColorTable& t = colors_;
    auto shade = [&](int amount) { return adjust(t.faceLight, amount); };
    const double step = 25.0 / H;
    auto frameAndCorners = [&](Color frame, Color corner) {
        paintRect(0, 0, W, H, frame, true);
        for (auto [x, y] : {std::pair{1, 1}, {1, H - 2}, {W - 2, 1}, {W - 2, H - 2}})
            paintPixel(x, y, corner);
    };
    if (branch == 0) {
        const int m = isOver_ ? 1 : 0;
        for (int i = 1; i <= H; ++i) paintLine(0, i, W, i, shade(whole(-(step * i))));
        paintCaption(m);
        frameAndCorners(0x733C00, 0x7B4D10);
        if (!isOver_ && !focusShown()) {
            paintLine(2, H - 2, W - 2, H - 2, shade(-48));
            paintLine(1, H - 3, W - 2, H - 3, shade(-32));
            paintLine(W - 2, 2, W - 2, H - 2, shade(-36));
            paintLine(W - 3, 3, W - 3, H - 3, shade(-24));
            paintLine(2, 1, W - 2, 1, shade(16));
            paintLine(1, 2, W - 2, 2, shade(10));
            paintLine(1, 2, 1, H - 2, shade(-5));
            paintLine(2, 3, 2, H - 3, shade(-10));
        } else if (!isOver_) {
            paintRect(1, 2, W - 2, H - 4, 0xE7AE8C, true);
            paintLine(2, H - 2, W - 2, H - 2, 0xEF826B);
            paintLine(2, 1, W - 2, 1, 0xFFE7CE);
            paintLine(1, 2, W - 1, 2, 0xF7D7BD);
            paintLine(2, 3, 2, H - 3, 0xF0D1B5);
            paintLine(W - 3, 3, W - 3, H - 3, 0xF0D1B5);
        } else {
            paintRect(1, 2, W - 2, H - 4, 0x31B2FF, true);
            paintLine(2, H - 2, W - 2, H - 2, 0x96E7);
            paintLine(2, 1, W - 2, 1, 0xCEF3FF);
            paintLine(1, 2, W - 1, 2, 0x8CDBFF);
            paintLine(2, 3, 2, H - 3, 0x6BCBFF);
            paintLine(W - 3, 3, W - 3, H - 3, 0x6BCBFF);
        }
    } else if (branch == 2) {
        const Color base = shade(-32);
        for (int i = 1; i <= H; ++i)
            paintLine(0, H - i, W, H - i, adjust(base, whole(-(step * i))));
        paintCaption(2);
        frameAndCorners(0x733C00, 0x7B4D10);
        paintLine(2, H - 2, W - 2, H - 2, adjust(base, 16));
        paintLine(1, H - 3, W - 2, H - 3, adjust(base, 10));
        paintLine(W - 2, 2, W - 2, H - 2, adjust(base, 5));
        paintLine(W - 3, 3, W - 3, H - 3, t.faceLight);
        paintLine(2, 1, W - 2, 1, adjust(base, -32));
        paintLine(1, 2, W - 2, 2, adjust(base, -24));
        paintLine(1, 2, 1, H - 2, adjust(base, -32));
        paintLine(2, 2, 2, H - 2, adjust(base, -22));
    } else {
        paintRect(0, 0, W, H, shade(-24), false);
        paintCaption(5);
        frameAndCorners(shade(-84), shade(-72));
    }
}

void XButton::paintUp() {
    const int W = width_;
    const int H = height_;
    const ColorTable& t = colors_;
    const int m = isOver_ ? 1 : 0;
    switch (btnType_) {
        case 1:
            paintCaption(m);
            paintBevel(t.highlight, t.shadow, t.highlight, t.shadow, -1, false);
            paintRect(0, 0, W, H, t.darkShadow, true);
            paintFocus();
            break;
        case 2:
            paintCaption(m);
            if (showFocusRect_ && host_.displayAsDefault()) {
                paintBevel(t.highlight, t.darkShadow, t.light, t.shadow, -1, false);
                paintFocus();
                paintRect(0, 0, W, H, t.darkShadow, true);
            } else {
                paintBevel(t.highlight, t.darkShadow, t.light, t.shadow, 0, false);
                paintFocus();
            }
            break;
        case 3:
            paintType3(0);
            break;
        case 4:
            paintRect(1, 1, W - 2, H - 2, t.light, false);
            paintCaption(m);
            paintRect(0, 0, W, H, t.darkShadow, true);
            paintType4Edges();
            break;
        case 5:
            paintRect(1, 1, W - 1, H - 1, adjust(t.face, 12), false);
            paintCaption(m);
            paintRect(1, 1, W - 1, H - 1, t.highlight, true);
            paintRect(0, 0, W - 1, H - 1, adjust(t.shadow, -26), true);
            paintPixel(1, H - 2, adjust(t.shadow, 26));
            paintPixel(W - 2, 1, adjust(t.shadow, 26));
            if (hasFocus_ && showFocusRect_)
                paintRect(textRect_.left - 2, textRect_.top - 1, textWidth_ + 4, textHeight_ + 2,
                          0xCC9999, true);
            break;
        case 6:
            paintCaption(m);
            paintBevel(adjust(t.light, 8), t.shadow, adjust(t.light, 8), t.shadow, 0, false);
            paintFocus();
            break;
        case 7:
        case 8:
        case 12:
            paintCaption(m);
            if (btnType_ == 7 || (btnType_ == 8 && isOver_))
                paintBevel(t.highlight, t.shadow, 0, 0, 0, true);
            else if (btnType_ == 12 && isOver_)
                paintBevel(t.highlight, t.darkShadow, t.light, t.shadow, 0, false);
            paintFocus();
            break;
        case 9:
            if (isOver_) paintRect(1, 1, W, H, t.selectLight, false);
            paintCaption(m);
            if (isOver_) paintRect(0, 0, W, H, t.selectColor, true);
            paintFocus();
            break;
        case 11:
            if (background_) dc_.bitBlt(0, 0, W, H, gdi::Dc(background_), 0, 0);
            paintCaption(m);
            paintFocus();
            break;
        case 13:
            paintEllipse(0, 0, W, H, isOver_ ? t.shadow : t.face, t.face);
            paintCaption(m);
            break;
        case 14:
            if (isOver_) {
                paintRect(0, 0, W, H, t.light, false);
            } else {
                const double step = 58.0 / H;
                for (int i = 1; i <= H; ++i)
                    paintLine(0, i, W, i, adjust(t.highlight, whole(-(step * i))));
            }
            if (host_.displayAsDefault()) {
                const bool bold = font_.bold;
                font_.bold = true;
                layoutCaption();
                paintCaption(m);
                font_.bold = bold;
                layoutCaption();
            } else {
                paintCaption(m);
            }
            paintRect(0, 0, W, H, adjust(t.shadow, -50), true);
            paintRect(1, 1, W - 2, H - 2, adjust(t.face, -9), true);
            paintRect(2, 2, W - 4, 2, t.highlight, false);
            paintRect(2, 4, 2, H - 6, t.highlight, false);
            paintFocus();
            break;
        default:
            break;
    }
}

void XButton::paintDown() {
    const int W = width_;
    const int H = height_;
    const ColorTable& t = colors_;
    switch (btnType_) {
        case 1:
            paintCaption(2);
            paintBevel(t.shadow, t.highlight, t.shadow, t.highlight, -1, false);
            paintRect(0, 0, W, H, t.darkShadow, true);
            break;
        case 2:
            paintCaption(2);
            if (!(showFocusRect_ && host_.displayAsDefault())) {
                paintBevel(t.darkShadow, t.highlight, t.shadow, t.light, 0, false);
            } else {
                paintRect(0, 0, W, H, t.darkShadow, true);
                paintRect(1, 1, W - 2, H - 2, t.shadow, true);
            }
            break;
        case 3:
            paintType3(2);
            break;
        case 4: {
            const Color inner = adjust(t.shadow, -16);
            paintRect(1, 1, W - 2, H - 2, inner, false);
            const Color keptFaceLight = colors_.faceLight;
            colors_.faceLight = inner;
            paintCaption(2);
            colors_.faceLight = keptFaceLight;
            paintRect(0, 0, W, H, t.darkShadow, true);
            paintRect(1, 1, W - 2, H - 2, adjust(t.shadow, -64), true);
            paintRect(2, 2, W - 4, H - 4, adjust(t.shadow, -32), true);
            paintPixel(2, 2, adjust(t.shadow, -64));
            paintPixel(3, 3, adjust(t.shadow, -32));
            for (auto [x, y] : {std::pair{1, 1}, {1, H - 2}, {W - 2, 1}, {W - 2, H - 2}})
                paintPixel(x, y, t.darkShadow);
            paintLine(W - 3, 1, W - 3, H - 3, t.shadow);
            paintLine(1, H - 3, W - 2, H - 3, t.shadow);
            paintPixel(W - 4, H - 4, t.shadow);
            paintLine(W - 2, 3, W - 2, H - 2, inner);
            paintLine(3, H - 2, W - 2, H - 2, inner);
            paintLine(W - 2, H - 3, W - 4, H - 1, adjust(t.shadow, -32));
            paintPixel(2, H - 2, adjust(t.shadow, -32));
            paintPixel(W - 2, 2, adjust(t.shadow, -32));
            break;
        }
        case 5:
            paintRect(1, 1, W - 2, H - 2, adjust(t.shadow, 16), false);
            paintRect(0, 0, W - 1, H - 1, adjust(t.shadow, -26), true);
            paintLine(W - 1, 1, W - 1, H, t.highlight);
            paintLine(1, H - 1, W - 1, H - 1, t.highlight);
            drawCaption(textRect_, t.textOver);
            if (hasFocus_ && showFocusRect_)
                paintRect(textRect_.left - 2, textRect_.top - 1, textWidth_ + 4, textHeight_ + 2,
                          0xCC9999, true);
            break;
        case 6:
            paintCaption(2);
            paintBevel(t.shadow, adjust(t.light, 8), t.shadow, adjust(t.light, 8), 0, false);
            paintFocus();
            break;
        case 7:
        case 8:
        case 12:
            paintCaption(2);
            if (btnType_ == 12)
                paintBevel(t.darkShadow, t.highlight, t.shadow, t.light, 0, false);
            else
                paintBevel(t.shadow, t.highlight, 0, 0, 0, true);
            paintFocus();
            break;
        case 9:
            if (isOver_)
                paintRect(0, 0, W, H,
                          colorScheme_ == 2 ? adjust(t.selectLight, -32)
                                            : lightenColor(t.selectColor, 128),
                          false);
            paintCaption(2);
            paintRect(0, 0, W, H, t.selectColor, true);
            paintFocus();
            break;
        case 11:
            if (background_) dc_.bitBlt(0, 0, W, H, gdi::Dc(background_), 0, 0);
            paintCaption(2);
            paintFocus();
            break;
        case 13:
            paintEllipse(0, 0, W, H, t.darkShadow, adjust(t.face, -32));
            paintCaption(2);
            break;
        case 14:
            paintRect(1, 1, W, H, adjust(t.face, -9), false);
            paintRect(0, 0, W, H, adjust(t.shadow, -48), true);
            paintLine(2, H - 2, W - 2, H - 2, t.highlight);
            paintLine(W - 2, 2, W - 2, H - 1, t.highlight);
            paintCaption(7);
            paintFocus();
            break;
        default:
            break;
    }
}

void XButton::paintDisabled() {
    const int W = width_;
    const int H = height_;
    const ColorTable& t = colors_;
    switch (btnType_) {
        case 1:
            paintCaption(3);
            paintBevel(t.highlight, t.shadow, t.highlight, t.shadow, -1, false);
            break;
        case 2:
            paintCaption(3);
            paintBevel(t.highlight, t.darkShadow, t.light, t.shadow, 0, false);
            break;
        case 3:
            paintType3(1);
            break;
        case 4:
            paintRect(1, 1, W - 2, H - 2, t.light, false);
            paintCaption(3);
            paintRect(0, 0, W, H, t.darkShadow, true);
            paintType4Edges();
            break;
        case 5:
            paintCaption(4);
            paintRect(0, 0, W, H, t.shadow, true);
            break;
        case 6:
            paintCaption(4);
            paintBevel(adjust(t.light, 8), t.shadow, adjust(t.light, 8), t.shadow, 0, false);
            break;
        case 7:
        case 8:
        case 12:
        case 13:
            paintCaption(3);
            if (btnType_ == 7) paintBevel(t.highlight, t.shadow, 0, 0, 0, true);
            break;
        case 9:
            paintCaption(4);
            break;
        case 11:
            if (background_) dc_.bitBlt(0, 0, W, H, gdi::Dc(background_), 0, 0);
            paintCaption(3);
            break;
        case 14: {
            const double step = 58.0 / H;
            for (int i = 1; i <= H; ++i)
                paintLine(0, i, W, i, adjust(t.highlight, whole(-(step * i))));
            paintRect(0, 0, W, H, adjust(t.shadow, -50), true);
            paintRect(1, 1, W - 2, H - 2, adjust(t.face, -9), true);
            paintRect(2, 2, W - 4, 2, t.highlight, false);
            paintRect(2, 4, 2, H - 6, t.highlight, false);
            paintCaption(6);
            break;
        }
        default:
            break;
    }
}

// ---- pictures ----

void XButton::blendPicture(int x, int y, int w, int h, const gdi::Picture& picture,
                           long long solidColor, bool darkOnly, bool greyscale, bool blend) {
    if (w == 0 || h == 0) return;
    if (w < 0) w = gdi::himetricToPixels(picture.himetricWidth);
    if (h < 0) h = gdi::himetricToPixels(picture.himetricHeight);
    gdi::BitmapPtr source;
    if (picture.type == gdi::Picture::kBitmap) {
        source = picture.bitmap;
    } else {
        source = gdi::createCompatibleBitmap(w, h);
        gdi::Dc icon(source);
        icon.fillRect({0, 0, w, h}, gdi::Brush{colors_.mask});
        icon.drawIconEx(0, 0, picture.icon, w, h);
    }
    if (!source) return;
    auto sourceCopy = gdi::createCompatibleBitmap(w, h);
    auto destCopy = gdi::createCompatibleBitmap(w, h);
    gdi::Dc(sourceCopy).bitBlt(0, 0, w, h, gdi::Dc(source), 0, 0);
    gdi::Dc(destCopy).bitBlt(0, 0, w, h, dc_, x, y);
    const std::vector<std::uint8_t> src = gdi::getDIBits24(*sourceCopy);
    std::vector<std::uint8_t> dst = gdi::getDIBits24(*destCopy);
    const long long mask = useMaskColor_ ? static_cast<long long>(colors_.mask) : -1;
    const int stride = gdi::dibStride(w);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
            const std::size_t at =
                static_cast<std::size_t>(row) * stride + static_cast<std::size_t>(col) * 3;
            const int b = src[at], g = src[at + 1], r = src[at + 2];
            if (r + g * 256LL + b * 65536LL == mask) continue;
            if (solidColor != -1) {
                if (darkOnly && r + g + b > 384) continue;
                const auto c = static_cast<Color>(solidColor);
                dst[at] = static_cast<std::uint8_t>(gdi::blue(c));
                dst[at + 1] = static_cast<std::uint8_t>(gdi::green(c));
                dst[at + 2] = static_cast<std::uint8_t>(gdi::red(c));
            } else if (greyscale) {
                const auto grey = static_cast<std::uint8_t>(std::clamp(greyOf(r, g, b), 0, 255));
                dst[at] = dst[at + 1] = dst[at + 2] = grey;
            } else if (blend) {
                for (int k = 0; k < 3; ++k)
                    dst[at + k] = static_cast<std::uint8_t>((2 * src[at + k] + dst[at + k]) / 3);
            } else {
                dst[at] = static_cast<std::uint8_t>(b);
                dst[at + 1] = static_cast<std::uint8_t>(g);
                dst[at + 2] = static_cast<std::uint8_t>(r);
            }
        }
    gdi::setDIBitsToDevice(dc_, x, y, w, h, dst);
}

void XButton::pictureRelief(const gdi::PicturePtr& p, int offset) {
    if (specialEffect_ <= 0 || !p) return;
    const int effect = std::min(specialEffect_, 3);
    Color base = colors_.face;
    if (btnType_ == 3)
        base = colors_.faceLight;
    else if (offset == -1 && colorScheme_ != 2)
        base = colors_.selectLight;
    const int sign = effect == 2 ? 1 : -1;
    blendPicture(picX_ + 1 + offset, picY_ + 1 + offset, picW_, picH_, *p, adjust(base, 40 * sign),
                 false, false, false);
    if (effect == 1 || effect == 2)
        blendPicture(picX_ - 1 + offset, picY_ - 1 + offset, picW_, picH_, *p,
                     adjust(base, -40 * sign), false, false, false);
}

void XButton::paintPicture(int mode) {
    if (!pictureNormal_) return;
    const gdi::PicturePtr& N = pictureNormal_;
    const gdi::PicturePtr& O = pictureOver_;
    const ColorTable& t = colors_;
    auto plain = [&](const gdi::PicturePtr& p, int x, int y) {
        blendPicture(x, y, picW_, picH_, *p, -1, false, false, false);
    };
    if (mode == 0 && isOver_) {
        if (btnType_ == 9) {
            pictureRelief(N, -1);
            blendPicture(picX_ + 1, picY_ + 1, picW_, picH_, *N, t.shadow, false, false, false);
            plain(N, picX_ - 1, picY_ - 1);
        } else if (O) {
            pictureRelief(O, 0);
            plain(O, picX_, picY_);
        } else {
            pictureRelief(N, 0);
            plain(N, picX_, picY_);
        }
    } else if (mode == 0) {
        pictureRelief(N, 0);
        blendPicture(picX_, picY_, picW_, picH_, *N, -1, false, useGreyscale_, btnType_ == 9);
    } else if (mode == 1) {
        if (O && btnType_ != 9) {
            const int d = btnType_ == 5 ? 0 : 1;
            plain(O, picX_ + d, picY_ + d);
        } else if (btnType_ != 5 && btnType_ != 9) {
            pictureRelief(N, 1);
            plain(N, picX_ + 1, picY_ + 1);
        } else {
            pictureRelief(N, 0);
            plain(N, picX_, picY_);
        }
    } else if (mode == 2) {
        if (btnType_ == 3) {
            blendPicture(picX_ + 1, picY_ + 1, picW_, picH_, *N, -1, false, true, false);
        } else if (btnType_ == 5 || btnType_ == 6 || btnType_ == 9) {
            blendPicture(picX_, picY_, picW_, picH_, *N,
                         btnType_ == 9 ? adjust(t.shadow, 13) : t.shadow, true, false, false);
        } else {
            blendPicture(picX_ + 1, picY_ + 1, picW_, picH_, *N, t.highlight, true, false, false);
            blendPicture(picX_, picY_, picW_, picH_, *N, t.shadow, true, false, false);
        }
    }
    if (picturePos_ == 4) paintCaption(captionMode_);
}

// ---- input ----

bool XButton::pointerIsOver() const {
    return window::windowFromPoint(window::cursorPos()) == hwnd_;
}

void XButton::startOverTimer() {
    if (overTimer_) return;
    overTimer_ = window::setTimer(kOverTimerInterval, [this] { overTimerTick(); });
}

void XButton::stopOverTimer() {
    if (overTimer_) window::killTimer(overTimer_);
    overTimer_ = 0;
}

void XButton::overTimerTick() {
    if (pointerIsOver()) return;
    stopOverTimer();
    isOver_ = false;
    paint(0, true);
    if (events.mouseOut) events.mouseOut();
}

void XButton::mouseDown(short button, short shift, float x, float y) {
    if (events.mouseDown) events.mouseDown(button, shift, x, y);
    lastButton_ = button;
    if (button != 2) paint(2, false);
}

void XButton::mouseMove(short button, short shift, float x, float y) {
    if (events.mouseMove) events.mouseMove(button, shift, x, y);
    if (button != 0 && button != 1) return;
    if (pointerIsOver()) {
        if (button == 0 && !isOver_) {
            startOverTimer();
            isOver_ = true;
            paint(0, true);
            if (events.mouseOver) events.mouseOver();
        } else if (button == 1) {
            isOver_ = true;
            paint(2, false);
            isOver_ = false;
        }
    } else {
        paint(0, false);
    }
}

void XButton::mouseUp(short button, short shift, float x, float y) {
    if (events.mouseUp) events.mouseUp(button, shift, x, y);
    if (button != 2) paint(0, false);
    // The capture taken for a double click ends with the button.
    if (captureFromDoubleClick_) {
        captureFromDoubleClick_ = false;
        if (window::capture() == hwnd_) window::releaseCapture();
    }
}

void XButton::userClick() {
    if (lastButton_ != 1 || !enabled_) return;
    if (checkBox_) value_ = !value_;
    paint(0, true);
    host_.surfaceChanged();
    if (events.click) events.click();
}

void XButton::dblClick() {
    if (lastButton_ != 1) return;
    mouseDown(1, 0, 0, 0);
    window::setCapture(hwnd_);
    captureFromDoubleClick_ = true;
}

void XButton::accessKeyPressed() {
    lastButton_ = 1;
    userClick();
}

void XButton::moveFocus(bool previous) {
    if (const window::Hwnd next = window::nextTabStop(hwnd_, previous); next && next != hwnd_)
        window::setFocus(next);
}

void XButton::keyDown(short keyCode, short shift) {
    if (events.keyDown) events.keyDown(keyCode, shift);
    lastKey_ = keyCode;
    switch (keyCode) {
        case 32:
            paint(2, false);
            break;
        case 37:
        case 38:
            moveFocus(true);
            break;
        case 39:
        case 40:
            moveFocus(false);
            break;
        default:
            break;
    }
}

void XButton::keyUp(short keyCode, short shift) {
    if (events.keyUp) events.keyUp(keyCode, shift);
    if (lastKey_ == 32 && keyCode == 32) {
        if (checkBox_) value_ = !value_;
        paint(0, false);
        host_.surfaceChanged();
        if (events.click) events.click();
    }
}

void XButton::keyPress(short keyAscii) {
    if (events.keyPress) events.keyPress(keyAscii);
}

void XButton::gotFocus() {
    hasFocus_ = true;
    paint(lastState_, true);
}

void XButton::lostFocus() {
    hasFocus_ = false;
    paint(lastState_, true);
    if (captureFromDoubleClick_) {
        captureFromDoubleClick_ = false;
        if (window::capture() == hwnd_) window::releaseCapture();
    }
}

}  // namespace vistrel::forms
