// The library's owner-drawn push button: fourteen drawing styles, colour schemes, a picture
// with a hover picture and effects, a mouse-over look and an optional toggle behaviour. The
// logic paints into its own surface bitmap through the raster and keeps its own window in the
// window tree (for its region, hover test and focus); the Qt widget (qt_forms.h) shows it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/gdi/gdi.h"
#include "platform/window/window.h"
#include "viewer/forms/property_bag.h"
#include "viewer/forms/xbutton_properties.h"

namespace vistrel::forms {

using platform::gdi::Color;
using platform::gdi::Rect;

struct ColorTable {
    Color face = 0, faceOver = 0, light = 0, highlight = 0, shadow = 0, darkShadow = 0;
    Color text = 0, textOver = 0, selectColor = 0, selectLight = 0, mask = 0, faceLight = 0;
};

// Brightness shift of a colour: red and green gain `amount`, blue too or in proportion to
// itself; clamped to 0..255 on the side of the shift. A soft bevel halves the amount.
Color adjustColor(Color color, int amount, bool proportionalBlue = false, bool softBevel = false);
// Each channel moved toward white by alpha.
Color lightenColor(Color color, int alpha);
// Greyscale of one pixel as the picture effects compute it.
int greyOf(int red, int green, int blue);

class XButton {
  public:
    struct Events : InputEvents {
        std::function<void()> mouseOver;
        std::function<void()> mouseOut;
    };

    static constexpr unsigned kOverTimerInterval = 50;  // ms
    static constexpr int kHandPointer = 99;
    static constexpr int kArrowPointer = 1;

    // A button in `parent` (client coordinates) for the host.
    XButton(ControlHost& host, platform::window::Hwnd parent, const Rect& rect);
    ~XButton();
    XButton(const XButton&) = delete;
    XButton& operator=(const XButton&) = delete;

    Events events;

    // Lifecycle.
    void initNew();
    void readProperties(const PropertyBag& bag);
    void writeProperties(PropertyBag& bag) const;
    void show();
    void hide();
    void resize(int width, int height);
    void ambientChanged();

    // Properties: a getter and a setter for each row of the lists (xbutton_properties.h).
    VISTREL_XBUTTON_PROPERTIES(VISTREL_XBUTTON_DECLARE)
    VISTREL_XBUTTON_FONT_PARTS(VISTREL_XBUTTON_DECLARE_PART)
    short fontSize() const;
    platform::window::Hwnd hwnd() const { return hwnd_; }
    std::u16string version() const { return u"2.0.6"; }

    // Methods.
    void disableRefresh() { paintingOn_ = false; }
    void refresh();

    // Input, as the host delivers it.
    void mouseDown(short button, short shift, float x, float y);
    void mouseMove(short button, short shift, float x, float y);
    void mouseUp(short button, short shift, float x, float y);
    void userClick();
    void dblClick();
    void accessKeyPressed();
    void keyDown(short keyCode, short shift);
    void keyUp(short keyCode, short shift);
    void keyPress(short keyAscii);
    void gotFocus();
    void lostFocus();

    // What tests and the widget look at.
    const platform::gdi::Bitmap& surface() const { return *surface_; }
    const ColorTable& colors() const { return colors_; }
    const Rect& textRect() const { return textRect_; }
    const Rect& buttonRect() const { return buttonRect_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int picX() const { return picX_; }
    int picY() const { return picY_; }
    int picW() const { return picW_; }
    int picH() const { return picH_; }
    char16_t accessKey() const { return accessKey_; }
    bool isOver() const { return isOver_; }
    bool hasFocus() const { return hasFocus_; }
    int lastState() const { return lastState_; }
    int captionMode() const { return captionMode_; }
    bool overTimerRunning() const { return overTimer_ != 0; }
    // Paints for a state (0 up, 2 down); true when it drew.
    bool paint(int state, bool force);
    int paintCount() const { return paints_; }

  private:
    friend class ButtonPainter;

    // Colours, region and layout.
    void buildColorTable();
    Color adjust(Color c, int amount, bool proportionalBlue = false) const;
    Color resolve(std::uint32_t oleColor) const;
    void onResize();
    void buildRegion();
    void layoutCaption();
    void layoutPicture();
    void measurePicture();
    void updateAccessKey();
    void captureParentBackground();
    void ensureBackground();
    void markChanged(const std::u16string& name) { host_.propertyChanged(name); }

    // What a set of a property redoes after storing the value, in this order.
    enum PutStep : unsigned {
        kNoStep = 0,
        kMarkFirst = 1 << 0,  // tell the host of the change before the steps below
        kRebuildColors = 1 << 1,
        kMeasurePicture = 1 << 2,
        kAccessKey = 1 << 3,
        kLayout = 1 << 4,
        kResize = 1 << 5,  // the resize handling: rectangles, surface, region and a repaint up
        kRepaintUp = 1 << 6,
        kRepaintLast = 1 << 7,        // with the state painted last
        kOnlyWhenOver = 1 << 8,       // the repaint only while the pointer is over the control
        kOnlyWithPicture = 1 << 9,    // the repaint only when a normal picture is set
        kOnlyWithCheckBox = 1 << 10,  // the repaint only with the toggle behaviour
        kEnableWindow = 1 << 11,      // the window follows the enabled state
        kLoadBySet = 1 << 12,         // loading goes through the setter
    };
    // The steps after a set: the property's own step, then `steps`, then the change is marked
    // under `changed` (none when null).
    void afterSet(unsigned steps, const char16_t* changed, void (XButton::*own)());
    // The properties' own steps.
    void typeChanged();
    void languageFont();
    void designBackOver();
    void designForeOver();
    void narrowPointer();
    void pickPointer();

    // Input.
    bool pointerIsOver() const;
    void startOverTimer();
    void stopOverTimer();
    void overTimerTick();
    void moveFocus(bool previous);

    ControlHost& host_;
    platform::window::Hwnd hwnd_ = 0;
    int focusListener_ = 0;
    unsigned overTimer_ = 0;

    ButtonType btnType_ = ButtonType::System;
    ColorScheme colorScheme_ = ColorScheme::System;
    PicturePosition picturePos_ = PicturePosition::Left;
    int specialEffect_ = 0;
    int height_ = 0;
    int width_ = 0;
    std::uint32_t backColor_ = 0x8000000F, backOver_ = 0x8000000F;
    std::uint32_t foreColor_ = 0x80000012, foreOver_ = 0x80000012;
    std::uint32_t maskColor_ = 0xC0C0C0;
    bool useMaskColor_ = true, useGreyscale_ = false, handPointer_ = false;
    platform::gdi::PicturePtr pictureNormal_, pictureOver_, mouseIcon_;
    int mousePointer_ = 0;
    platform::gdi::BitmapPtr background_;  // the parent's pixels behind a transparent button
    std::u16string caption_;
    platform::gdi::Font font_;
    Rect textRect_, textRectDown_, buttonRect_;
    int textWidth_ = 0, textHeight_ = 0;
    int picX_ = 0, picY_ = 0, picW_ = 0, picH_ = 0;
    char16_t accessKey_ = 0;
    int lastButton_ = 0;
    int lastKey_ = 0;
    bool enabled_ = true, softBevel_ = false, hasFocus_ = false, showFocusRect_ = true;
    ColorTable colors_;
    int lastState_ = 0;
    std::u16string lastCaption_;
    bool paintingOn_ = true;
    bool isOver_ = false;
    bool capturing_ = false;
    int captionMode_ = 0;
    bool checkBox_ = false;
    bool value_ = false;
    bool captureFromDoubleClick_ = false;

    platform::gdi::BitmapPtr surface_;
    platform::gdi::Dc dc_;
    int paints_ = 0;
};

}  // namespace vistrel::forms
