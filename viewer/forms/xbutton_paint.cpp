// The button's painting: the drawing primitives over its surface, the caption, the picture, and
// the look of each button type as one row of up, down and disabled painters.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <utility>

#include "viewer/forms/xbutton.h"

namespace vistrel::forms {

namespace gdi = platform::gdi;

namespace {

constexpr unsigned kCaptionFlags = gdi::DT_CENTER | gdi::DT_VCENTER | gdi::DT_WORDBREAK;

// Whole-number conversion of the painter: to the nearest, halves to even.
int whole(double v) {
    return static_cast<int>(std::nearbyint(v));
}

}  // namespace

int greyOf(int red, int green, int blue) {
    return whole(std::nearbyint(0.3 * red) + 0.59 * green + 0.11 * blue);
}

// ---- the painter ----

// One paint of a button's surface, with the button's current state and colours.
class ButtonPainter {
  public:
    explicit ButtonPainter(XButton& button)
        : b(button), dc(button.dc_), t(button.colors_), W(button.width_), H(button.height_) {}

    // The face, the type's look for the state (0 up, 2 down) or for disabled, and the picture.
    void paint(int state);

  private:
    struct Look {
        ButtonType type;
        void (ButtonPainter::*up)();
        void (ButtonPainter::*down)();
        void (ButtonPainter::*disabled)();
    };
    // The types that draw more than the face; any other value draws the face only.
    static const Look kLooks[13];
    static Look lookOf(ButtonType type);

    // Primitives.
    Color adjust(Color c, int amount, bool proportionalBlue = false) const {
        return b.adjust(c, amount, proportionalBlue);
    }
    void rect(int x, int y, int w, int h, Color c, bool frameOnly);
    void ellipse(int x, int y, int w, int h, Color pen, Color fill);
    void line(int x1, int y1, int x2, int y2, Color c);
    void pixel(int x, int y, Color c) { dc.setPixelV(x, y, c); }
    void corners(Color c);
    void bevel(Color outerLight, Color outerDark, Color innerLight, Color innerDark, int offset,
               bool single);
    void focus();
    void captionFocus();
    void gradient(Color top, double range, bool upward = false);
    void backdrop();

    // The caption.
    int upMode() const { return b.isOver_ ? 1 : 0; }
    bool focusShown() const {
        return b.showFocusRect_ && (b.hasFocus_ || b.host_.displayAsDefault());
    }
    void caption(int mode);
    void drawCaption(Rect r, Color c);
    void captionRelief(const Rect& r);

    // The picture.
    void picture(int mode);
    void pictureRelief(const gdi::PicturePtr& p, int offset);
    void blendPicture(int x, int y, const gdi::Picture& picture, long long solidColor,
                      bool darkOnly, bool greyscale, bool blend);

    // The looks of the types.
    void upFramed();
    void downFramed();
    void disabledFramed();
    void upSystem();
    void downSystem();
    void disabledSystem();
    void upShaded();
    void downShaded();
    void disabledShaded();
    void shadedFrame() { frameAndCorners(0x733C00, 0x7B4D10); }
    void frameAndCorners(Color frame, Color corner);
    void upHeavyFrame() { heavyFrameFace(upMode()); }
    void downHeavyFrame();
    void disabledHeavyFrame() { heavyFrameFace(3); }
    void heavyFrameFace(int captionMode);
    void upFlat();
    void downFlat();
    void disabledFlat();
    void upSoft();
    void downSoft();
    void disabledSoft();
    void upThinEdge();
    void upHoverEdge();
    void upHoverBevel();
    void downThinEdge();
    void downHoverBevel();
    void disabledThinEdge();
    void captionOnly() { caption(3); }
    void upSelection();
    void downSelection();
    void disabledSelection() { caption(4); }
    void upTransparent();
    void downTransparent();
    void disabledTransparent();
    void upRound();
    void downRound();
    void upGradient();
    void downGradient();
    void disabledGradient();
    void gradientFrame();

    XButton& b;
    gdi::Dc& dc;
    ColorTable& t;
    const int W;
    const int H;
};

const ButtonPainter::Look ButtonPainter::kLooks[13] = {
    {ButtonType::Framed, &ButtonPainter::upFramed, &ButtonPainter::downFramed,
     &ButtonPainter::disabledFramed},
    {ButtonType::System, &ButtonPainter::upSystem, &ButtonPainter::downSystem,
     &ButtonPainter::disabledSystem},
    {ButtonType::Shaded, &ButtonPainter::upShaded, &ButtonPainter::downShaded,
     &ButtonPainter::disabledShaded},
    {ButtonType::HeavyFrame, &ButtonPainter::upHeavyFrame, &ButtonPainter::downHeavyFrame,
     &ButtonPainter::disabledHeavyFrame},
    {ButtonType::Flat, &ButtonPainter::upFlat, &ButtonPainter::downFlat,
     &ButtonPainter::disabledFlat},
    {ButtonType::Soft, &ButtonPainter::upSoft, &ButtonPainter::downSoft,
     &ButtonPainter::disabledSoft},
    {ButtonType::ThinEdge, &ButtonPainter::upThinEdge, &ButtonPainter::downThinEdge,
     &ButtonPainter::disabledThinEdge},
    {ButtonType::HoverEdge, &ButtonPainter::upHoverEdge, &ButtonPainter::downThinEdge,
     &ButtonPainter::captionOnly},
    {ButtonType::Selection, &ButtonPainter::upSelection, &ButtonPainter::downSelection,
     &ButtonPainter::disabledSelection},
    {ButtonType::Transparent, &ButtonPainter::upTransparent, &ButtonPainter::downTransparent,
     &ButtonPainter::disabledTransparent},
    {ButtonType::HoverBevel, &ButtonPainter::upHoverBevel, &ButtonPainter::downHoverBevel,
     &ButtonPainter::captionOnly},
    {ButtonType::Round, &ButtonPainter::upRound, &ButtonPainter::downRound,
     &ButtonPainter::captionOnly},
    {ButtonType::Gradient, &ButtonPainter::upGradient, &ButtonPainter::downGradient,
     &ButtonPainter::disabledGradient},
};

ButtonPainter::Look ButtonPainter::lookOf(ButtonType type) {
    const auto* found = std::find_if(std::begin(kLooks), std::end(kLooks),
                                     [type](const Look& look) { return look.type == type; });
    return found != std::end(kLooks) ? *found : Look{type, nullptr, nullptr, nullptr};
}

void ButtonPainter::paint(int state) {
    dc.fillRect({0, 0, W, H}, gdi::Brush{t.face});
    const Look look = lookOf(b.btnType_);
    auto run = [this](void (ButtonPainter::*painter)()) {
        if (painter) (this->*painter)();
    };
    if (!b.enabled_) {
        run(look.disabled);
        picture(2);
    } else if (state == 2) {
        run(look.down);
        picture(1);
    } else if (state == 0) {
        run(look.up);
        picture(0);
    }
}

bool XButton::paint(int state, bool force) {
    if (checkBox_ && value_) state = 2;
    if (!force && caption_ == lastCaption_ && state == lastState_) return false;
    if (height_ == 0 || !paintingOn_) return false;
    lastState_ = state;
    lastCaption_ = caption_;
    const bool swap = isOver_ && colorScheme_ == ColorScheme::Custom;
    const std::uint32_t keptBack = backColor_;
    if (swap) {
        backColor_ = backOver_;
        buildColorTable();
    }
    ButtonPainter(*this).paint(state);
    if (swap) {
        backColor_ = keptBack;
        buildColorTable();
    }
    ++paints_;
    host_.surfaceChanged();
    return true;
}

// ---- primitives ----

void ButtonPainter::rect(int x, int y, int w, int h, Color c, bool frameOnly) {
    if (frameOnly)
        dc.frameRect({x, y, x + w, y + h}, gdi::Brush{c});
    else
        dc.fillRect({x, y, x + w, y + h}, gdi::Brush{c});
}

void ButtonPainter::ellipse(int x, int y, int w, int h, Color pen, Color fill) {
    const gdi::Pen oldPen = dc.selectPen({pen, 2});
    const gdi::Brush oldBrush = dc.selectBrush({fill});
    dc.ellipse(x, y, x + w, y + h);
    dc.selectPen(oldPen);
    dc.selectBrush(oldBrush);
}

void ButtonPainter::line(int x1, int y1, int x2, int y2, Color c) {
    const gdi::Pen old = dc.selectPen({c, 1});
    dc.moveTo(x1, y1);
    dc.lineTo(x2, y2);
    dc.selectPen(old);
}

// The pixels just inside the four corners.
void ButtonPainter::corners(Color c) {
    for (auto [x, y] : {std::pair{1, 1}, {1, H - 2}, {W - 2, 1}, {W - 2, H - 2}}) pixel(x, y, c);
}

void ButtonPainter::bevel(Color outerLight, Color outerDark, Color innerLight, Color innerDark,
                          int offset, bool single) {
    const int a = std::abs(offset);
    const int bottom = H - 1 + offset;
    const int r = W - 1 + offset;
    dc.selectPen({outerLight, 1});
    dc.moveTo(a, bottom);
    dc.lineTo(a, a);
    dc.lineTo(r, a);
    dc.selectPen({outerDark, 1});
    dc.lineTo(r, bottom);
    dc.lineTo(a - 1, bottom);
    dc.moveTo(a + 1, bottom - 1);
    if (!single) {
        dc.selectPen({innerLight, 1});
        dc.lineTo(a + 1, a + 1);
        dc.lineTo(r - 1, a + 1);
        dc.selectPen({innerDark, 1});
        dc.lineTo(r - 1, bottom - 1);
        dc.lineTo(a, bottom - 1);
    }
    dc.selectPen({});
}

void ButtonPainter::focus() {
    if (!b.showFocusRect_ || !b.hasFocus_) return;
    dc.setTextColor(t.text);
    dc.drawFocusRect(b.buttonRect_);
}

// The focus frame of the types that mark the caption rather than the button.
void ButtonPainter::captionFocus() {
    if (!b.hasFocus_ || !b.showFocusRect_) return;
    rect(b.textRect_.left - 2, b.textRect_.top - 1, b.textWidth_ + 4, b.textHeight_ + 2, 0xCC9999,
         true);
}

// Rows 1..H (or H-1..0 upward), each `range / H` darker than the one before.
void ButtonPainter::gradient(Color top, double range, bool upward) {
    const double step = range / H;
    for (int i = 1; i <= H; ++i) {
        const int y = upward ? H - i : i;
        line(0, y, W, y, adjust(top, whole(-(step * i))));
    }
}

// The parent's pixels behind the control.
void ButtonPainter::backdrop() {
    if (b.background_) dc.bitBlt(0, 0, W, H, gdi::Dc(b.background_), 0, 0);
}

// ---- the caption ----

void ButtonPainter::drawCaption(Rect r, Color c) {
    dc.selectFont(b.font_);
    dc.setTextColor(c);
    dc.drawText(b.caption_, r, kCaptionFlags);
}

void ButtonPainter::captionRelief(const Rect& r) {
    if (b.specialEffect_ <= 0) return;
    const int effect = std::min(b.specialEffect_, 3);
    Color base = t.face;
    const ButtonType type = b.btnType_;
    if (type == ButtonType::Shaded || type == ButtonType::HeavyFrame ||
        type == ButtonType::Gradient)
        base = t.faceLight;
    else if (b.lastState_ == 0 && b.isOver_ && b.colorScheme_ != ColorScheme::Custom &&
             type == ButtonType::Selection)
        base = t.selectLight;
    const int sign = effect == 2 ? 1 : -1;
    drawCaption(r.offset(1, 1), adjust(base, 40 * sign));
    if (effect == 1 || effect == 2) drawCaption(r.offset(-1, -1), adjust(base, -40 * sign));
}

// The caption in one of its modes: an engraving one pixel down and right under some, the relief
// of the special effect under others, then the caption itself.
void ButtonPainter::caption(int mode) {
    b.captionMode_ = mode;
    if (mode < 0 || mode > 7) return;
    struct Ink {
        bool relief;    // the special effect's relief under the caption
        bool down;      // the caption moved one pixel down and right
        bool engraved;  // first the caption down and right in `under`
        Color under;
        Color color;
    };
    const bool heavy = b.btnType_ == ButtonType::HeavyFrame;
    const Ink inks[] = {
        {true, false, false, 0, t.text},                            // 0 up
        {true, false, false, 0, t.textOver},                        // 1 under the pointer
        {true, true, false, 0, heavy ? t.light : t.textOver},       // 2 down
        {false, false, true, t.highlight, t.shadow},                // 3 engraved
        {false, false, false, 0, t.shadow},                         // 4 grey
        {false, false, false, 0, adjust(t.faceLight, -104, true)},  // 5 shaded disabled
        {false, false, true, t.highlight, t.face},                  // 6 gradient disabled
        {false, false, true, adjust(t.shadow, -50), t.highlight},   // 7 gradient down
    };
    const Ink& ink = inks[mode];
    const Rect& r = ink.down ? b.textRectDown_ : b.textRect_;
    if (ink.engraved) drawCaption(b.textRectDown_, ink.under);
    if (ink.relief) captionRelief(r);
    drawCaption(r, ink.color);
}

// ---- the picture ----

void ButtonPainter::blendPicture(int x, int y, const gdi::Picture& picture, long long solidColor,
                                 bool darkOnly, bool greyscale, bool blend) {
    int w = b.picW_;
    int h = b.picH_;
    if (w == 0 || h == 0) return;
    if (w < 0) w = gdi::himetricToPixels(picture.himetricWidth);
    if (h < 0) h = gdi::himetricToPixels(picture.himetricHeight);
    gdi::BitmapPtr source;
    if (picture.type == gdi::Picture::kBitmap) {
        source = picture.bitmap;
    } else {
        source = gdi::createCompatibleBitmap(w, h);
        gdi::Dc icon(source);
        icon.fillRect({0, 0, w, h}, gdi::Brush{t.mask});
        icon.drawIconEx(0, 0, picture.icon, w, h);
    }
    if (!source) return;
    auto sourceCopy = gdi::createCompatibleBitmap(w, h);
    auto destCopy = gdi::createCompatibleBitmap(w, h);
    gdi::Dc(sourceCopy).bitBlt(0, 0, w, h, gdi::Dc(source), 0, 0);
    gdi::Dc(destCopy).bitBlt(0, 0, w, h, dc, x, y);
    const std::vector<std::uint8_t> src = gdi::getDIBits24(*sourceCopy);
    std::vector<std::uint8_t> dst = gdi::getDIBits24(*destCopy);
    const long long mask = b.useMaskColor_ ? static_cast<long long>(t.mask) : -1;
    const int stride = gdi::dibStride(w);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
            const std::size_t at =
                static_cast<std::size_t>(row) * stride + static_cast<std::size_t>(col) * 3;
            const int blue = src[at], green = src[at + 1], red = src[at + 2];
            if (red + green * 256LL + blue * 65536LL == mask) continue;
            if (solidColor != -1) {
                if (darkOnly && red + green + blue > 384) continue;
                const auto c = static_cast<Color>(solidColor);
                dst[at] = static_cast<std::uint8_t>(gdi::blue(c));
                dst[at + 1] = static_cast<std::uint8_t>(gdi::green(c));
                dst[at + 2] = static_cast<std::uint8_t>(gdi::red(c));
            } else if (greyscale) {
                const auto grey =
                    static_cast<std::uint8_t>(std::clamp(greyOf(red, green, blue), 0, 255));
                dst[at] = dst[at + 1] = dst[at + 2] = grey;
            } else if (blend) {
                for (int k = 0; k < 3; ++k)
                    dst[at + k] = static_cast<std::uint8_t>((2 * src[at + k] + dst[at + k]) / 3);
            } else {
                dst[at] = static_cast<std::uint8_t>(blue);
                dst[at + 1] = static_cast<std::uint8_t>(green);
                dst[at + 2] = static_cast<std::uint8_t>(red);
            }
        }
    gdi::setDIBitsToDevice(dc, x, y, w, h, dst);
}

void ButtonPainter::pictureRelief(const gdi::PicturePtr& p, int offset) {
    if (b.specialEffect_ <= 0 || !p) return;
    const int effect = std::min(b.specialEffect_, 3);
    Color base = t.face;
    if (b.btnType_ == ButtonType::Shaded)
        base = t.faceLight;
    else if (offset == -1 && b.colorScheme_ != ColorScheme::Custom)
        base = t.selectLight;
    const int sign = effect == 2 ? 1 : -1;
    blendPicture(b.picX_ + 1 + offset, b.picY_ + 1 + offset, *p, adjust(base, 40 * sign), false,
                 false, false);
    if (effect == 1 || effect == 2)
        blendPicture(b.picX_ - 1 + offset, b.picY_ - 1 + offset, *p, adjust(base, -40 * sign),
                     false, false, false);
}

// Picture modes: 0 up, 1 down, 2 disabled.
void ButtonPainter::picture(int mode) {
    if (!b.pictureNormal_) return;
    const gdi::PicturePtr& N = b.pictureNormal_;
    const gdi::PicturePtr& O = b.pictureOver_;
    const int x = b.picX_;
    const int y = b.picY_;
    const ButtonType type = b.btnType_;
    const bool selection = type == ButtonType::Selection;
    const bool flat = type == ButtonType::Flat;
    auto plain = [&](const gdi::PicturePtr& p, int px, int py) {
        blendPicture(px, py, *p, -1, false, false, false);
    };
    if (mode == 0 && b.isOver_) {
        if (selection) {
            pictureRelief(N, -1);
            blendPicture(x + 1, y + 1, *N, t.shadow, false, false, false);
            plain(N, x - 1, y - 1);
        } else if (O) {
            pictureRelief(O, 0);
            plain(O, x, y);
        } else {
            pictureRelief(N, 0);
            plain(N, x, y);
        }
    } else if (mode == 0) {
        pictureRelief(N, 0);
        blendPicture(x, y, *N, -1, false, b.useGreyscale_, selection);
    } else if (mode == 1) {
        if (O && !selection) {
            const int d = flat ? 0 : 1;
            plain(O, x + d, y + d);
        } else if (!flat && !selection) {
            pictureRelief(N, 1);
            plain(N, x + 1, y + 1);
        } else {
            pictureRelief(N, 0);
            plain(N, x, y);
        }
    } else if (mode == 2) {
        if (type == ButtonType::Shaded) {
            blendPicture(x + 1, y + 1, *N, -1, false, true, false);
        } else if (flat || type == ButtonType::Soft || selection) {
            blendPicture(x, y, *N, selection ? adjust(t.shadow, 13) : t.shadow, true, false, false);
        } else {
            blendPicture(x + 1, y + 1, *N, t.highlight, true, false, false);
            blendPicture(x, y, *N, t.shadow, true, false, false);
        }
    }
    if (b.picturePos_ == PicturePosition::Behind) caption(b.captionMode_);
}

// ---- framed: raised, black frame ----

void ButtonPainter::upFramed() {
    caption(upMode());
    bevel(t.highlight, t.shadow, t.highlight, t.shadow, -1, false);
    rect(0, 0, W, H, t.darkShadow, true);
    focus();
}

void ButtonPainter::downFramed() {
    caption(2);
    bevel(t.shadow, t.highlight, t.shadow, t.highlight, -1, false);
    rect(0, 0, W, H, t.darkShadow, true);
}

void ButtonPainter::disabledFramed() {
    caption(3);
    bevel(t.highlight, t.shadow, t.highlight, t.shadow, -1, false);
}

// ---- system: the system push button ----

void ButtonPainter::upSystem() {
    caption(upMode());
    if (b.showFocusRect_ && b.host_.displayAsDefault()) {
        bevel(t.highlight, t.darkShadow, t.light, t.shadow, -1, false);
        focus();
        rect(0, 0, W, H, t.darkShadow, true);
    } else {
        bevel(t.highlight, t.darkShadow, t.light, t.shadow, 0, false);
        focus();
    }
}

void ButtonPainter::downSystem() {
    caption(2);
    if (!(b.showFocusRect_ && b.host_.displayAsDefault())) {
        bevel(t.darkShadow, t.highlight, t.shadow, t.light, 0, false);
    } else {
        rect(0, 0, W, H, t.darkShadow, true);
        rect(1, 1, W - 2, H - 2, t.shadow, true);
    }
}

void ButtonPainter::disabledSystem() {
    caption(3);
    bevel(t.highlight, t.darkShadow, t.light, t.shadow, 0, false);
}

// ---- shaded: a light gradient, rounded corners ----

void ButtonPainter::frameAndCorners(Color frame, Color corner) {
    rect(0, 0, W, H, frame, true);
    corners(corner);
}

void ButtonPainter::upShaded() {
    auto shade = [&](int amount) { return adjust(t.faceLight, amount); };
    gradient(t.faceLight, 25.0);
    caption(upMode());
    shadedFrame();
    if (!b.isOver_ && !focusShown()) {
        line(2, H - 2, W - 2, H - 2, shade(-48));
        line(1, H - 3, W - 2, H - 3, shade(-32));
        line(W - 2, 2, W - 2, H - 2, shade(-36));
        line(W - 3, 3, W - 3, H - 3, shade(-24));
        line(2, 1, W - 2, 1, shade(16));
        line(1, 2, W - 2, 2, shade(10));
        line(1, 2, 1, H - 2, shade(-5));
        line(2, 3, 2, H - 3, shade(-10));
        return;
    }
    // The focus (or default) ring in blue, the pointer-over ring in orange.
    struct Ring {
        Color frame, bottom, top, second, sides;
    };
    const Ring ring = b.isOver_ ? Ring{0x31B2FF, 0x96E7, 0xCEF3FF, 0x8CDBFF, 0x6BCBFF}
                                : Ring{0xE7AE8C, 0xEF826B, 0xFFE7CE, 0xF7D7BD, 0xF0D1B5};
    rect(1, 2, W - 2, H - 4, ring.frame, true);
    line(2, H - 2, W - 2, H - 2, ring.bottom);
    line(2, 1, W - 2, 1, ring.top);
    line(1, 2, W - 1, 2, ring.second);
    line(2, 3, 2, H - 3, ring.sides);
    line(W - 3, 3, W - 3, H - 3, ring.sides);
}

void ButtonPainter::downShaded() {
    const Color base = adjust(t.faceLight, -32);
    gradient(base, 25.0, true);
    caption(2);
    shadedFrame();
    line(2, H - 2, W - 2, H - 2, adjust(base, 16));
    line(1, H - 3, W - 2, H - 3, adjust(base, 10));
    line(W - 2, 2, W - 2, H - 2, adjust(base, 5));
    line(W - 3, 3, W - 3, H - 3, t.faceLight);
    line(2, 1, W - 2, 1, adjust(base, -32));
    line(1, 2, W - 2, 2, adjust(base, -24));
    line(1, 2, 1, H - 2, adjust(base, -32));
    line(2, 2, 2, H - 2, adjust(base, -22));
}

void ButtonPainter::disabledShaded() {
    rect(0, 0, W, H, adjust(t.faceLight, -24), false);
    caption(5);
    frameAndCorners(adjust(t.faceLight, -84), adjust(t.faceLight, -72));
}

// ---- heavy frame: light face, heavy frame ----

void ButtonPainter::heavyFrameFace(int captionMode) {
    rect(1, 1, W - 2, H - 2, t.light, false);
    caption(captionMode);
    rect(0, 0, W, H, t.darkShadow, true);
    corners(t.darkShadow);
    line(1, 2, 2, 0, t.face);
    line(3, 2, W - 3, 2, t.highlight);
    line(2, 2, 2, H - 3, t.highlight);
    pixel(3, 3, t.highlight);
    line(W - 3, 1, W - 3, H - 3, t.face);
    line(1, H - 3, W - 3, H - 3, t.face);
    pixel(W - 4, H - 4, t.face);
    line(W - 2, 2, W - 2, H - 2, t.shadow);
    line(2, H - 2, W - 2, H - 2, t.shadow);
    pixel(W - 3, H - 3, t.shadow);
}

void ButtonPainter::downHeavyFrame() {
    const Color inner = adjust(t.shadow, -16);
    rect(1, 1, W - 2, H - 2, inner, false);
    const Color keptFaceLight = t.faceLight;
    t.faceLight = inner;
    caption(2);
    t.faceLight = keptFaceLight;
    rect(0, 0, W, H, t.darkShadow, true);
    rect(1, 1, W - 2, H - 2, adjust(t.shadow, -64), true);
    rect(2, 2, W - 4, H - 4, adjust(t.shadow, -32), true);
    pixel(2, 2, adjust(t.shadow, -64));
    pixel(3, 3, adjust(t.shadow, -32));
    corners(t.darkShadow);
    line(W - 3, 1, W - 3, H - 3, t.shadow);
    line(1, H - 3, W - 2, H - 3, t.shadow);
    pixel(W - 4, H - 4, t.shadow);
    line(W - 2, 3, W - 2, H - 2, inner);
    line(3, H - 2, W - 2, H - 2, inner);
    line(W - 2, H - 3, W - 4, H - 1, adjust(t.shadow, -32));
    pixel(2, H - 2, adjust(t.shadow, -32));
    pixel(W - 2, 2, adjust(t.shadow, -32));
}

// ---- flat: the focus marks the caption ----

void ButtonPainter::upFlat() {
    rect(1, 1, W - 1, H - 1, adjust(t.face, 12), false);
    caption(upMode());
    rect(1, 1, W - 1, H - 1, t.highlight, true);
    rect(0, 0, W - 1, H - 1, adjust(t.shadow, -26), true);
    pixel(1, H - 2, adjust(t.shadow, 26));
    pixel(W - 2, 1, adjust(t.shadow, 26));
    captionFocus();
}

void ButtonPainter::downFlat() {
    rect(1, 1, W - 2, H - 2, adjust(t.shadow, 16), false);
    rect(0, 0, W - 1, H - 1, adjust(t.shadow, -26), true);
    line(W - 1, 1, W - 1, H, t.highlight);
    line(1, H - 1, W - 1, H - 1, t.highlight);
    drawCaption(b.textRect_, t.textOver);
    captionFocus();
}

void ButtonPainter::disabledFlat() {
    caption(4);
    rect(0, 0, W, H, t.shadow, true);
}

// ---- soft: soft bevel ----

void ButtonPainter::upSoft() {
    caption(upMode());
    bevel(adjust(t.light, 8), t.shadow, adjust(t.light, 8), t.shadow, 0, false);
    focus();
}

void ButtonPainter::downSoft() {
    caption(2);
    bevel(t.shadow, adjust(t.light, 8), t.shadow, adjust(t.light, 8), 0, false);
    focus();
}

void ButtonPainter::disabledSoft() {
    caption(4);
    bevel(adjust(t.light, 8), t.shadow, adjust(t.light, 8), t.shadow, 0, false);
}

// ---- thin edge, hover edge, hover bevel: flat with a thin edge, always, under the pointer,
// or doubled ----

void ButtonPainter::upThinEdge() {
    caption(upMode());
    bevel(t.highlight, t.shadow, 0, 0, 0, true);
    focus();
}

void ButtonPainter::upHoverEdge() {
    caption(upMode());
    if (b.isOver_) bevel(t.highlight, t.shadow, 0, 0, 0, true);
    focus();
}

void ButtonPainter::upHoverBevel() {
    caption(upMode());
    if (b.isOver_) bevel(t.highlight, t.darkShadow, t.light, t.shadow, 0, false);
    focus();
}

void ButtonPainter::downThinEdge() {
    caption(2);
    bevel(t.shadow, t.highlight, 0, 0, 0, true);
    focus();
}

void ButtonPainter::downHoverBevel() {
    caption(2);
    bevel(t.darkShadow, t.highlight, t.shadow, t.light, 0, false);
    focus();
}

void ButtonPainter::disabledThinEdge() {
    caption(3);
    bevel(t.highlight, t.shadow, 0, 0, 0, true);
}

// ---- selection: the selection colours under the pointer ----

void ButtonPainter::upSelection() {
    if (b.isOver_) rect(1, 1, W, H, t.selectLight, false);
    caption(upMode());
    if (b.isOver_) rect(0, 0, W, H, t.selectColor, true);
    focus();
}

void ButtonPainter::downSelection() {
    if (b.isOver_)
        rect(0, 0, W, H,
             b.colorScheme_ == ColorScheme::Custom ? adjust(t.selectLight, -32)
                                                   : lightenColor(t.selectColor, 128),
             false);
    caption(2);
    rect(0, 0, W, H, t.selectColor, true);
    focus();
}

// ---- transparent: over the parent ----

void ButtonPainter::upTransparent() {
    backdrop();
    caption(upMode());
    focus();
}

void ButtonPainter::downTransparent() {
    backdrop();
    caption(2);
    focus();
}

void ButtonPainter::disabledTransparent() {
    backdrop();
    caption(3);
}

// ---- round ----

void ButtonPainter::upRound() {
    ellipse(0, 0, W, H, b.isOver_ ? t.shadow : t.face, t.face);
    caption(upMode());
}

void ButtonPainter::downRound() {
    ellipse(0, 0, W, H, t.darkShadow, adjust(t.face, -32));
    caption(2);
}

// ---- gradient: a bold caption on the default button ----

void ButtonPainter::gradientFrame() {
    rect(0, 0, W, H, adjust(t.shadow, -50), true);
    rect(1, 1, W - 2, H - 2, adjust(t.face, -9), true);
    rect(2, 2, W - 4, 2, t.highlight, false);
    rect(2, 4, 2, H - 6, t.highlight, false);
}

void ButtonPainter::upGradient() {
    if (b.isOver_)
        rect(0, 0, W, H, t.light, false);
    else
        gradient(t.highlight, 58.0);
    if (b.host_.displayAsDefault()) {
        const bool bold = b.font_.bold;
        b.font_.bold = true;
        b.layoutCaption();
        caption(upMode());
        b.font_.bold = bold;
        b.layoutCaption();
    } else {
        caption(upMode());
    }
    gradientFrame();
    focus();
}

void ButtonPainter::downGradient() {
    rect(1, 1, W, H, adjust(t.face, -9), false);
    rect(0, 0, W, H, adjust(t.shadow, -48), true);
    line(2, H - 2, W - 2, H - 2, t.highlight);
    line(W - 2, 2, W - 2, H - 1, t.highlight);
    caption(7);
    focus();
}

void ButtonPainter::disabledGradient() {
    gradient(t.highlight, 58.0);
    gradientFrame();
    caption(6);
}

}  // namespace vistrel::forms
