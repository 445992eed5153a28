// What a user control of the library reads from its host form: the property bag that saves and
// loads its settings, and the host's ambient and extender properties.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/window/window.h"

namespace vistrel::forms {

using Value = std::variant<std::int32_t, bool, std::u16string, platform::gdi::Font,
                           platform::gdi::PicturePtr>;

// The saved settings of one control: values by key, in the order they were written.
class PropertyBag {
  public:
    void write(const std::u16string& key, Value value);
    bool has(const std::u16string& key) const { return values_.count(key) != 0; }
    // The value under key when it holds a T, else the default.
    template <class T>
    T read(const std::u16string& key, T fallback) const {
        auto it = values_.find(key);
        if (it == values_.end()) return fallback;
        if (const T* v = std::get_if<T>(&it->second)) return *v;
        return fallback;
    }
    // Colours are kept as 32-bit integers (an OLE colour's high bit makes them negative).
    void writeColor(const std::u16string& key, std::uint32_t color) {
        write(key, static_cast<std::int32_t>(color));
    }
    std::uint32_t readColor(const std::u16string& key, std::uint32_t fallback) const {
        return static_cast<std::uint32_t>(
            read<std::int32_t>(key, static_cast<std::int32_t>(fallback)));
    }
    const std::vector<std::u16string>& order() const { return order_; }

  private:
    std::map<std::u16string, Value> values_;
    std::vector<std::u16string> order_;
};

// A number of the string table in the user's language (font size, character set); nullopt
// when the entry is missing or no number.
std::optional<short> languageNumber(int id);

// What the controls raise from the user's input; each control adds its own events.
struct InputEvents {
    std::function<void()> click;
    std::function<void(short& button, short& shift, float& x, float& y)> mouseDown;
    std::function<void(short& button, short& shift, float& x, float& y)> mouseMove;
    std::function<void(short& button, short& shift, float& x, float& y)> mouseUp;
    std::function<void(short& keyAscii)> keyPress;
    std::function<void(short& keyCode, short& shift)> keyDown;
    std::function<void(short& keyCode, short& shift)> keyUp;
};

// The host form as a user control sees it.
class ControlHost {
  public:
    virtual ~ControlHost() = default;
    // Ambient properties.
    virtual std::u16string displayName() const { return {}; }
    virtual platform::gdi::Font ambientFont() const { return {}; }
    virtual bool userMode() const { return true; }  // false at design time
    virtual bool displayAsDefault() const { return false; }
    // The parent window's device context: its text and background colours.
    virtual platform::gdi::Color parentTextColor() const { return 0; }
    virtual platform::gdi::Color parentBackColor() const { return 0xFFFFFF; }
    // What the parent shows behind the control, painted without it (null when not known).
    virtual platform::gdi::BitmapPtr parentSurface() { return nullptr; }
    // The control's surface changed and should be shown.
    virtual void surfaceChanged() {}
    // A persisted property changed (the host will save the form).
    virtual void propertyChanged(const std::u16string& name) { (void)name; }
    // The control's access key changed (0 for none).
    virtual void accessKeyChanged(char16_t key) { (void)key; }
};

}  // namespace vistrel::forms
