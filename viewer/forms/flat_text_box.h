// The library's flat text box: a multi-line text box inside two one-pixel frames, a dark one
// at the top left and a light one one pixel further, which gives an etched edge. Its
// background switches between a has-focus and a lost-focus colour, and its font face and
// character set follow the user's language from the string table. The logic keeps the inner
// text box's settings (`text1`) and paints the frames into its surface; the Qt widget
// (qt_forms.h) mirrors both.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/gdi/gdi.h"
#include "viewer/forms/property_bag.h"

namespace vistrel::forms {

class FlatTextBox {
  public:
    // The inner text box as the logic sets it.
    struct TextBox {
        std::u16string text;
        std::uint32_t backColor = 0;
        std::uint32_t foreColor = 0;
        bool enabled = true;
        bool locked = false;
        platform::gdi::Rect rect;  // left, top, right, bottom in the control
        platform::gdi::Font font;
    };
    // A rectangle shape: its place and outline colour.
    struct Border {
        platform::gdi::Rect rect;
        std::uint32_t color = 0;
    };
    struct Events : InputEvents {
        std::function<void()> change;
    };

    // The user control's own background colour (the system button face).
    static constexpr std::uint32_t kOwnBackColor = 0x8000000F;

    // Creation: the language font, the defaults and a layout.
    FlatTextBox(ControlHost& host, int width, int height);

    Events events;
    // Called after every change of the inner text box or the frames (the widget mirrors them).
    std::function<void()> onDisplay;

    void resize(int width, int height);
    void readProperties(const PropertyBag& bag);
    void writeProperties(PropertyBag& bag) const;

    const platform::gdi::Font& font() const { return font_; }
    void setFont(const platform::gdi::Font& font);
    void setFontBold(bool on);
    void setFontItalic(bool on);
    void setFontUnderline(bool on);
    short fontSize() const;
    void setFontSize(short size);
    void setFontName(const std::u16string& face);

    std::uint32_t foreColor() const { return foreColor_; }
    void setForeColor(std::uint32_t c);
    bool enabled() const { return enabled_; }
    void setEnabled(bool on);
    bool locked() const { return locked_; }
    void setLocked(bool on);
    std::uint32_t hasFocusColor() const { return hasFocusColor_; }
    void setHasFocusColor(std::uint32_t c);
    std::uint32_t lostFocusColor() const { return lostFocusColor_; }
    void setLostFocusColor(std::uint32_t c);
    std::uint32_t lightBorderColor() const { return lightBorderColor_; }
    void setLightBorderColor(std::uint32_t c);
    std::uint32_t darkBorderColor() const { return darkBorderColor_; }
    void setDarkBorderColor(std::uint32_t c);
    const std::u16string& text() const { return text_; }
    void setText(const std::u16string& text);

    // What the inner text box reports.
    void text1Changed(const std::u16string& text);
    void text1GotFocus();
    void text1LostFocus();

    const TextBox& text1() const { return text1_; }
    const Border& darkBorder() const { return dark_; }
    const Border& lightBorder() const { return light_; }
    // The frames painted over the control's background.
    const platform::gdi::Bitmap& surface() const { return *surface_; }

  private:
    void applyLanguageFont();
    void updateDisplay();
    void paintFrames();
    void changed(const std::u16string& name) { host_.propertyChanged(name); }

    ControlHost& host_;
    int width_;
    int height_;
    platform::gdi::Font font_{u"Tahoma", 9, false, false, false, 0};
    std::u16string text_;
    std::uint32_t lightBorderColor_ = 0xFFFFFF;
    std::uint32_t darkBorderColor_ = 0xC0C0C0;
    std::uint32_t lostFocusColor_ = kOwnBackColor;
    std::uint32_t hasFocusColor_ = 0x80000005;
    std::uint32_t foreColor_ = 0x80000008;
    bool enabled_ = true;
    bool locked_ = false;
    TextBox text1_;
    Border dark_;
    Border light_;
    platform::gdi::BitmapPtr surface_;
};

}  // namespace vistrel::forms
