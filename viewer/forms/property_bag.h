// What a user control of the library reads from its host form: the property bag that saves and
// loads its settings, and the host's ambient and extender properties.
#pragma once

#include <cstdint>
#include <map>
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
    const std::vector<std::u16string>& order() const { return order_; }

  private:
    std::map<std::u16string, Value> values_;
    std::vector<std::u16string> order_;
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
