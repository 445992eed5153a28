// What a host needs of a visual control beyond automation: the control's widget to place on
// its form, the site it hands the control, and the control's persisted properties.
//
// The widget crosses as an opaque pointer (a QWidget* in this system) so the COM layer stays
// free of any toolkit: only the control and its host know the real type.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/hresult.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

namespace platform::com {

inline constexpr Guid IID_IPropertyBag = Guid::of("{55272A00-42CB-11CE-8135-00AA004BB851}");
inline constexpr Guid IID_IPersistPropertyBag = Guid::of("{37D84F60-42CB-11CE-8135-00AA004BB851}");
inline constexpr Guid IID_IControlSite = Guid::of("{7B1E4C21-5D3A-4F86-9C41-2E8A0B6D7F15}");
inline constexpr Guid IID_IControlView = Guid::of("{7B1E4C20-5D3A-4F86-9C41-2E8A0B6D7F15}");

// The host's side of one placed control. A host gives each control its own site; the control
// keeps it for as long as it is placed and may ask it for further interfaces.
class ControlSite : public virtual Unknown {
  public:
    static constexpr const Guid& iid() { return IID_IControlSite; }
    // The name the host gave the control on its form.
    virtual std::u16string controlName() = 0;
};

// The control's side: its widget and the site it was placed with.
class ControlView : public virtual Unknown {
  public:
    static constexpr const Guid& iid() { return IID_IControlView; }
    // The control's widget (created on first request), or nullptr with a failure status when
    // the process has no user interface to make one in.
    virtual HRESULT GetWidget(void*& widget) = 0;
    // Places the control on a host's site (nullptr takes it off again).
    virtual HRESULT SetSite(std::shared_ptr<ControlSite> site) = 0;
    virtual std::shared_ptr<ControlSite> GetSite() = 0;
};

// A set of named values that a host keeps for a control between sessions.
class PropertyBag : public virtual Unknown {
  public:
    static constexpr const Guid& iid() { return IID_IPropertyBag; }
    // E_INVALIDARG when the bag holds no value of that name.
    virtual HRESULT Read(const std::u16string& name, Variant& value) = 0;
    virtual HRESULT Write(const std::u16string& name, const Variant& value) = 0;
};

// A property bag in memory, names compared as written; keeps the order of first writes.
class MemoryPropertyBag : public Implements<PropertyBag> {
  public:
    HRESULT Read(const std::u16string& name, Variant& value) override;
    HRESULT Write(const std::u16string& name, const Variant& value) override;
    const std::vector<std::pair<std::u16string, Variant>>& values() const { return values_; }

  private:
    std::vector<std::pair<std::u16string, Variant>> values_;
};

class PersistPropertyBag : public virtual Unknown {
  public:
    static constexpr const Guid& iid() { return IID_IPersistPropertyBag; }
    // A new control placed on a form: its properties take their start values.
    virtual HRESULT InitNew() = 0;
    virtual HRESULT Load(PropertyBag& bag) = 0;
    virtual HRESULT Save(PropertyBag& bag) = 0;
};

}  // namespace platform::com
