#include "viewer/forms/xbutton.h"

#include <cmath>
#include <type_traits>
#include <utility>

#include "platform/window/virtual_keys.h"

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
    btnType_ = ButtonType::System;
    colorScheme_ = ColorScheme::System;
    buildColorTable();
    backColor_ = backOver_ = colors_.face;
    foreColor_ = foreOver_ = colors_.text;
    maskColor_ = 0xC0C0C0;
    layoutCaption();
}

namespace {

// Colours are kept in the bag as 32-bit integers.
template <class T>
T load(const PropertyBag& bag, const char16_t* key, T fallback) {
    if constexpr (std::is_same_v<T, std::uint32_t>)
        return bag.readColor(key, fallback);
    else
        return bag.read<T>(key, std::move(fallback));
}

template <class T>
void save(PropertyBag& bag, const char16_t* key, const T& value) {
    if constexpr (std::is_same_v<T, std::uint32_t>)
        bag.writeColor(key, value);
    else
        bag.write(key, value);
}

static_assert(std::is_same_v<int, std::int32_t>, "whole-number properties are kept as int32");

}  // namespace

void XButton::readProperties(const PropertyBag& bag) {
#define VISTREL_LOAD(T, get, set, member, key, changed, fallback, steps, own) \
    {                                                                         \
        const decltype(member) byDefault = fallback;                          \
        const T loaded = load<T>(bag, key, toProperty<T>(byDefault));         \
        if ((kLoadBySet & (steps)) != 0)                                      \
            set(loaded);                                                      \
        else                                                                  \
            member = toMember<decltype(member)>(loaded);                      \
    }
    VISTREL_XBUTTON_PROPERTIES(VISTREL_LOAD)
#undef VISTREL_LOAD
    font_.charset = 129;
    if (font_.size < 9) font_.size = 9;
    window::setEnabled(hwnd_, enabled_);
    measurePicture();
    layoutCaption();
    updateAccessKey();
}

void XButton::writeProperties(PropertyBag& bag) const {
#define VISTREL_SAVE(T, get, set, member, key, changed, fallback, steps, own) \
    save<T>(bag, key, toProperty<T>(member));
    VISTREL_XBUTTON_PROPERTIES(VISTREL_SAVE)
#undef VISTREL_SAVE
}

void XButton::show() {
    window::setVisible(hwnd_, true);
    if (btnType_ == ButtonType::Transparent) {
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
    // The custom colours do not depend on the host.
    if (colorScheme_ == ColorScheme::Custom) return;
    buildColorTable();
    paint(lastState_, true);
}

void XButton::refresh() {
    if (btnType_ == ButtonType::Transparent) {
        ensureBackground();
        captureParentBackground();
    }
    buildColorTable();
    layoutCaption();
    paintingOn_ = true;
    paint(lastState_, true);
}

// ---- properties ----

#define VISTREL_DEFINE(T, get, set, member, key, changed, fallback, steps, own) \
    void XButton::set(PropertyArg<T> value) {                                   \
        member = toMember<decltype(member)>(value);                             \
        afterSet(steps, changed, own);                                          \
    }
VISTREL_XBUTTON_PROPERTIES(VISTREL_DEFINE)
#undef VISTREL_DEFINE

#define VISTREL_DEFINE(T, set, part)                      \
    void XButton::set(PropertyArg<T> value) {             \
        font_.part = value;                               \
        afterSet(kLayout | kRepaintUp, nullptr, nullptr); \
    }
VISTREL_XBUTTON_FONT_PARTS(VISTREL_DEFINE)
#undef VISTREL_DEFINE

short XButton::fontSize() const {
    // To the nearest, halves to even, as the painter rounds.
    return static_cast<short>(std::nearbyint(font_.size));
}

void XButton::afterSet(unsigned steps, const char16_t* changed, void (XButton::*own)()) {
    if (own) (this->*own)();
    if (steps & kMarkFirst) markChanged(changed);
    if (steps & kRebuildColors) buildColorTable();
    if (steps & kMeasurePicture) measurePicture();
    if (steps & kAccessKey) updateAccessKey();
    if (steps & kLayout) layoutCaption();
    if (steps & kResize) onResize();
    const bool skip = ((steps & kOnlyWhenOver) && !isOver_) ||
                      ((steps & kOnlyWithPicture) && !pictureNormal_) ||
                      ((steps & kOnlyWithCheckBox) && !checkBox_);
    if ((steps & (kRepaintUp | kRepaintLast)) && !skip)
        paint((steps & kRepaintUp) ? 0 : lastState_, true);
    if (steps & kEnableWindow) window::setEnabled(hwnd_, enabled_);
    if (changed && !(steps & kMarkFirst)) markChanged(changed);
}

// At design time the flat button takes a bold caption; the transparent one needs the parent's
// pixels behind it.
void XButton::typeChanged() {
    if (!host_.userMode() && btnType_ == ButtonType::Flat) font_.bold = true;
    if (btnType_ == ButtonType::Transparent && paintingOn_) {
        ensureBackground();
        captureParentBackground();
    }
}

// A font set by the host takes the character set and, when smaller than 9 points, the size of
// the user's language.
void XButton::languageFont() {
    font_.charset = languageNumber(4).value_or(0);
    if (font_.size < 9) font_.size = languageNumber(3).value_or(0);
}

// At design time the colour under the pointer follows the colour.
void XButton::designBackOver() {
    if (!host_.userMode()) backOver_ = backColor_;
}
void XButton::designForeOver() {
    if (!host_.userMode()) foreOver_ = foreColor_;
}

// The pointer is kept as the window's 16-bit pointer number.
void XButton::narrowPointer() {
    mousePointer_ = static_cast<short>(mousePointer_);
}

void XButton::pickPointer() {
    if (handPointer_) {
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
        case window::VK_SPACE:
            paint(2, false);
            break;
        case window::VK_LEFT:
        case window::VK_UP:
            moveFocus(true);
            break;
        case window::VK_RIGHT:
        case window::VK_DOWN:
            moveFocus(false);
            break;
        default:
            break;
    }
}

void XButton::keyUp(short keyCode, short shift) {
    if (events.keyUp) events.keyUp(keyCode, shift);
    if (lastKey_ == window::VK_SPACE && keyCode == window::VK_SPACE) {
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
