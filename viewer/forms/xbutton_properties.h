// The button's properties, each described once. From this list come the getter and setter of
// each property and the loading and saving of the property bag.
#pragma once

#include <cstdint>
#include <type_traits>

namespace vistrel::forms {

// The look of the button. A value without a name (0, 15, ...) paints as FaceOnly does.
enum class ButtonType : std::int32_t {
    Framed = 1,        // raised bevel inside a dark frame
    System = 2,        // the system push button's bevel
    Shaded = 3,        // light gradient, rounded corners, coloured focus and hover rings
    HeavyFrame = 4,    // light face in a heavy dark frame
    Flat = 5,          // flat face; the focus frames the caption
    Soft = 6,          // soft bevel
    ThinEdge = 7,      // flat with a thin raised edge
    HoverEdge = 8,     // flat, the thin edge only under the pointer
    Selection = 9,     // flat, the selection colours under the pointer
    FaceOnly = 10,     // the face colour and the picture, nothing else
    Transparent = 11,  // the copy of the parent behind the control
    HoverBevel = 12,   // flat, the system bevel only under the pointer
    Round = 13,        // an ellipse
    Gradient = 14,     // darkening gradient, a bold caption on the default button
};

// Where the colour table comes from. Any value without a name acts as System.
enum class ColorScheme : std::int32_t {
    System = 1,     // the system's button colours
    Custom = 2,     // the button's own BackColor and ForeColor (BackOver under the pointer)
    FixedGrey = 3,  // fixed grey colours
    Parent = 4,     // the parent window's background and text colours
};

// Where the picture sits against the caption. Any value without a name leaves the caption
// rectangle as it was.
enum class PicturePosition : std::int32_t {
    Left = 0,
    Right = 1,
    Top = 2,
    Bottom = 3,
    Behind = 4,  // centred, the caption drawn over it
};

// How a property travels in and out of its getter and setter: small values by value, the rest
// by reference.
template <class T>
using PropertyArg = std::conditional_t<std::is_scalar_v<T>, T, const T&>;

// The host and the property bag see each property as the row's type T; the button may keep it
// as one of the enums above. These two are the only conversions between the two: the enum
// holds T's number unchanged, so a value without a name goes in and comes out as it was.
template <class T, class Member>
decltype(auto) toProperty(const Member& member) {
    if constexpr (std::is_enum_v<Member>) {
        static_assert(std::is_same_v<std::underlying_type_t<Member>, T>);
        return static_cast<T>(member);
    } else {
        static_assert(std::is_same_v<Member, T>);
        return (member);
    }
}

template <class Member, class T>
Member toMember(const T& value) {
    if constexpr (std::is_enum_v<Member>) {
        static_assert(std::is_same_v<std::underlying_type_t<Member>, T>);
        return static_cast<Member>(value);
    } else {
        static_assert(std::is_same_v<Member, T>);
        return value;
    }
}

}  // namespace vistrel::forms

// The persisted properties, in the order they are saved and loaded. One row a property:
//   type (as the host and the bag see it), getter, setter, member (of that type or of an enum
//   over it), bag key, changed-name (what the host is told on a set), default on load (of the
//   member's type, worked out while loading, so a default may be a property loaded before),
//   what a set redoes (XButton::PutStep), a step of the property's own run first (or nullptr).
// clang-format off
#define VISTREL_XBUTTON_PROPERTIES(X)                                                              \
    X(int, buttonType, setButtonType, btnType_, u"BTYPE", u"BTYPE", ButtonType::System,            \
      kResize, &XButton::typeChanged)                                                              \
    X(std::u16string, caption, setCaption, caption_, u"TX", u"TX", u"",                            \
      kAccessKey | kLayout | kRepaintUp, nullptr)                                                  \
    X(bool, enabled, setEnabled, enabled_, u"ENAB", u"ENAB", true,                                 \
      kRepaintUp | kEnableWindow, nullptr)                                                         \
    X(platform::gdi::Font, font, setFont, font_, u"FONT", u"FONT", font_,                          \
      kLayout | kRepaintUp, &XButton::languageFont)                                                \
    X(int, colorScheme, setColorScheme, colorScheme_, u"COLTYPE", u"COLTYPE", ColorScheme::System, \
      kRebuildColors | kRepaintUp, nullptr)                                                        \
    X(bool, showFocusRect, setShowFocusRect, showFocusRect_, u"FOCUSR", u"FOCUSR", true,           \
      kRepaintLast, nullptr)                                                                       \
    X(std::uint32_t, backColor, setBackColor, backColor_, u"BCOL", u"BCOL",                        \
      platform::gdi::sysColor(platform::gdi::COLOR_BTNFACE),                                       \
      kRebuildColors | kRepaintLast, &XButton::designBackOver)                                     \
    X(std::uint32_t, backOver, setBackOver, backOver_, u"BCOLO", u"BCOLO", backColor_,             \
      kRepaintLast, nullptr)                                                                       \
    X(std::uint32_t, foreColor, setForeColor, foreColor_, u"FCOL", u"FCOL",                        \
      platform::gdi::sysColor(platform::gdi::COLOR_BTNTEXT),                                       \
      kRebuildColors | kRepaintLast, &XButton::designForeOver)                                     \
    X(std::uint32_t, foreOver, setForeOver, foreOver_, u"FCOLO", u"FCOLO", foreColor_,             \
      kRepaintLast, nullptr)                                                                       \
    X(std::uint32_t, maskColor, setMaskColor, maskColor_, u"MCOL", u"MCOL", 0xC0C0C0,              \
      kRepaintLast, nullptr)                                                                       \
    X(int, mousePointer, setMousePointer, mousePointer_, u"MPTR", u"MPTR", 0,                      \
      kNoStep, &XButton::narrowPointer)                                                            \
    X(platform::gdi::PicturePtr, mouseIcon, setMouseIcon, mouseIcon_, u"MICON", u"MICON", nullptr, \
      kNoStep, nullptr)                                                                            \
    X(platform::gdi::PicturePtr, pictureNormal, setPictureNormal, pictureNormal_, u"PICN", u"PICN",\
      nullptr, kMeasurePicture | kLayout | kRepaintLast, nullptr)                                  \
    X(platform::gdi::PicturePtr, pictureOver, setPictureOver, pictureOver_, u"PICH", u"PICO",      \
      nullptr, kRepaintLast | kOnlyWhenOver, nullptr)                                              \
    X(bool, useMaskColor, setUseMaskColor, useMaskColor_, u"UMCOL", u"UMCOL", true,                \
      kRepaintLast | kOnlyWithPicture, nullptr)                                                    \
    X(bool, softBevel, setSoftBevel, softBevel_, u"SOFT", u"SOFT", false,                          \
      kRebuildColors | kRepaintLast, nullptr)                                                      \
    X(int, picturePosition, setPicturePosition, picturePos_, u"PICPOS", u"PICPOS",                 \
      PicturePosition::Left, kMarkFirst | kLayout | kRepaintLast, nullptr)                         \
    X(bool, useGreyscale, setUseGreyscale, useGreyscale_, u"NGREY", u"NGREY", false,               \
      kRepaintLast | kOnlyWithPicture, nullptr)                                                    \
    X(int, specialEffect, setSpecialEffect, specialEffect_, u"FX", u"FX", 0,                       \
      kRepaintLast, nullptr)                                                                       \
    X(bool, handPointer, setHandPointer, handPointer_, u"HAND", u"HAND", false,                    \
      kLoadBySet, &XButton::pickPointer)                                                           \
    X(bool, checkBoxBehaviour, setCheckBoxBehaviour, checkBox_, u"CHECK", u"CHECK", false,         \
      kRepaintLast, nullptr)                                                                       \
    X(bool, value, setValue, value_, u"VALUE", u"VALUE", false,                                    \
      kRepaintUp | kOnlyWithCheckBox, nullptr)

// The parts of the font set one by one: not persisted apart from the font, no changed-name; a
// set lays the caption out again and repaints up. Row: type, setter, member of the font.
#define VISTREL_XBUTTON_FONT_PARTS(X)                                                              \
    X(bool, setFontBold, bold)                                                                     \
    X(bool, setFontItalic, italic)                                                                 \
    X(bool, setFontUnderline, underline)                                                           \
    X(short, setFontSize, size)                                                                    \
    X(std::u16string, setFontName, face)

// The accessors of a row, as the class declares them.
#define VISTREL_XBUTTON_DECLARE(T, get, set, member, key, changed, fallback, steps, own) \
    PropertyArg<T> get() const { return toProperty<T>(member); }                         \
    void set(PropertyArg<T> value);
#define VISTREL_XBUTTON_DECLARE_PART(T, set, part) void set(PropertyArg<T> value);
// clang-format on
