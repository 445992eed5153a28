#include "viewer/forms/xbutton.h"

#include <cmath>

namespace vistrel::forms {

namespace gdi = platform::gdi;
namespace window = platform::window;

namespace {

// Length of the text in the system ANSI code page: characters outside ASCII take two bytes.
int ansiLength(const std::u16string& text) {
    int n = 0;
    for (char16_t c : text) n += c < 0x80 ? 1 : 2;
    return n;
}

}  // namespace

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
    // To the nearest, halves to even, as the painter rounds.
    return static_cast<short>(std::nearbyint(font_.size));
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

// ---- caption ----

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
