#include "viewer/forms/flat_text_box.h"

#include <cmath>
#include <optional>

#include "strings/strings.h"

namespace vistrel::forms {

namespace gdi = platform::gdi;

FlatTextBox::FlatTextBox(ControlHost& host, int width, int height)
    : host_(host), width_(width), height_(height) {
    applyLanguageFont();
    text_ = u"FlatTextBox";
    lightBorderColor_ = 0xFFFFFF;
    darkBorderColor_ = 0xC0C0C0;
    lostFocusColor_ = kOwnBackColor;
    hasFocusColor_ = 0x80000005;
    foreColor_ = 0x80000008;
    enabled_ = true;
    locked_ = false;
    updateDisplay();
}

// The language's face and character set; its size while the control's own size is below 9
// points. A table entry that is missing leaves its step out. The display is brought up to date
// by the caller, synchronously: no event is handled in between.
void FlatTextBox::applyLanguageFont() {
    const auto face = findString(2, currentLanguage());
    const auto size = languageNumber(3);
    const auto charset = languageNumber(4);
    if (face) font_.face = *face;
    if (charset) font_.charset = *charset;
    if (size && font_.size == 8) font_.size = *size;
    if (charset) text1_.font.charset = *charset;
    if (face) text1_.font.face = *face;
    if (font_.size < 9) {
        if (size) text1_.font.size = *size;
    } else {
        text1_.font.size = font_.size;
    }
}

void FlatTextBox::updateDisplay() {
    applyLanguageFont();
    text1_.backColor = lostFocusColor_;
    text1_.foreColor = foreColor_;
    text1_.enabled = enabled_;
    text1_.locked = locked_;
    text1_.text = text_;
    dark_.rect = {0, 0, width_ - 1, height_ - 1};
    light_.rect = {1, 1, 1 + width_ - 1, 1 + height_ - 1};
    text1_.rect = {light_.rect.left + 1, light_.rect.top + 1, light_.rect.left + 1 + width_ - 4,
                   light_.rect.top + 1 + height_ - 4};
    dark_.color = darkBorderColor_;
    light_.color = lightBorderColor_;
    paintFrames();
    if (onDisplay) onDisplay();
}

// The light frame is drawn over the dark one where they cross.
void FlatTextBox::paintFrames() {
    surface_ = std::make_shared<gdi::Bitmap>(width_, height_,
                                             gdi::oleTranslateColor(kOwnBackColor).value_or(0));
    gdi::Dc dc(surface_);
    dc.frameRect(dark_.rect, gdi::Brush{gdi::oleTranslateColor(dark_.color).value_or(0)});
    dc.frameRect(light_.rect, gdi::Brush{gdi::oleTranslateColor(light_.color).value_or(0)});
}

void FlatTextBox::resize(int width, int height) {
    width_ = width;
    height_ = height;
    updateDisplay();
}

void FlatTextBox::readProperties(const PropertyBag& bag) {
    text_ = bag.read<std::u16string>(u"Text", u"FlatText");
    lightBorderColor_ = bag.readColor(u"LightBorderColor", 0xFFFFFF);
    darkBorderColor_ = bag.readColor(u"DarkBorderColor", 0xC0C0C0);
    lostFocusColor_ = bag.readColor(u"LostFocusColor", kOwnBackColor);
    hasFocusColor_ = bag.readColor(u"HasFocusColor", 0x80000005);
    foreColor_ = bag.readColor(u"ForeColor", 0x80000008);
    enabled_ = bag.read<bool>(u"Enabled", true);
    locked_ = bag.read<bool>(u"Locked", false);
    font_ = bag.read<gdi::Font>(u"FONT", font_);
    updateDisplay();
}

void FlatTextBox::writeProperties(PropertyBag& bag) const {
    bag.writeColor(u"HasFocusColor", hasFocusColor_);
    bag.writeColor(u"LostFocusColor", lostFocusColor_);
    bag.writeColor(u"LightBorderColor", lightBorderColor_);
    bag.writeColor(u"DarkBorderColor", darkBorderColor_);
    bag.writeColor(u"ForeColor", foreColor_);
    bag.write(u"Enabled", enabled_);
    bag.write(u"Locked", locked_);
    bag.write(u"Text", text_);
    bag.write(u"FONT", font_);
}

void FlatTextBox::setFont(const gdi::Font& font) {
    font_ = font;
    updateDisplay();
    changed(u"FONT");
}
void FlatTextBox::setFontBold(bool on) {
    font_.bold = on;
    updateDisplay();
}
void FlatTextBox::setFontItalic(bool on) {
    font_.italic = on;
    updateDisplay();
}
void FlatTextBox::setFontUnderline(bool on) {
    font_.underline = on;
    updateDisplay();
}
short FlatTextBox::fontSize() const {
    return static_cast<short>(std::nearbyint(font_.size));
}
void FlatTextBox::setFontSize(short size) {
    font_.size = size;
    updateDisplay();
}
void FlatTextBox::setFontName(const std::u16string& face) {
    font_.face = face;
    updateDisplay();
}
void FlatTextBox::setForeColor(std::uint32_t c) {
    foreColor_ = c;
    updateDisplay();
    changed(u"ForeColor");
}
void FlatTextBox::setEnabled(bool on) {
    enabled_ = on;
    updateDisplay();
    changed(u"Enabled");
}
void FlatTextBox::setLocked(bool on) {
    locked_ = on;
    updateDisplay();
    changed(u"Locked");
}
void FlatTextBox::setHasFocusColor(std::uint32_t c) {
    hasFocusColor_ = c;
    updateDisplay();
    changed(u"HasFocusColor");
}
void FlatTextBox::setLostFocusColor(std::uint32_t c) {
    lostFocusColor_ = c;
    updateDisplay();
    changed(u"LostFocusColor");
}
void FlatTextBox::setLightBorderColor(std::uint32_t c) {
    lightBorderColor_ = c;
    updateDisplay();
    changed(u"LightBorderColor");
}
void FlatTextBox::setDarkBorderColor(std::uint32_t c) {
    darkBorderColor_ = c;
    updateDisplay();
    changed(u"DarkBorderColor");
}

void FlatTextBox::setText(const std::u16string& text) {
    const bool differs = text != text1_.text;
    text_ = text;
    text1_.text = text;
    if (onDisplay) onDisplay();
    changed(u"Text");
    // The inner box's change comes back as its Change event, when its text changed.
    if (differs && events.change) events.change();
}

void FlatTextBox::text1Changed(const std::u16string& text) {
    if (text == text1_.text) return;  // the inner box's text is what it was
    text_ = text;
    text1_.text = text;
    if (events.change) events.change();
}

void FlatTextBox::text1GotFocus() {
    text1_.backColor = hasFocusColor_;
    if (onDisplay) onDisplay();
}

void FlatTextBox::text1LostFocus() {
    text1_.backColor = lostFocusColor_;
    if (onDisplay) onDisplay();
}

}  // namespace vistrel::forms
