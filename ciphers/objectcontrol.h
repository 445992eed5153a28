// The component-services interface that every public class of the library implements, and
// the base of those classes: their dispatch interface plus ObjectControl.
#pragma once

#include <memory>

#include "platform/com/dispatch.h"

namespace ciphra {

inline constexpr platform::com::Guid IID_ObjectControl =
    platform::com::Guid::of("{51372AEC-CAE7-11CF-BE81-00AA00A2FA25}");

class ObjectControl : public virtual platform::com::Unknown {
  public:
    static constexpr const platform::com::Guid& iid() { return IID_ObjectControl; }
    virtual platform::com::HRESULT Activate() = 0;
    virtual void Deactivate() = 0;
    virtual bool CanBePooled() = 0;
};

// The object context of the current call. There are no component services on this platform,
// so there is never one; a host that has them can provide it here later.
inline std::shared_ptr<platform::com::Unknown> currentObjectContext() {
    return nullptr;
}

template <class T>
class CiphraClass : public platform::com::DispatchImpl<T, ObjectControl> {
  public:
    platform::com::HRESULT Activate() override {
        context_ = currentObjectContext();
        return platform::com::S_OK;
    }
    void Deactivate() override { context_.reset(); }
    bool CanBePooled() override { return true; }

  private:
    std::shared_ptr<platform::com::Unknown> context_;
};

// Dispatch identifiers of the classes' members: slot n of a class's interface is 0x60030000 + n
// (a property's get and put share one slot).
constexpr platform::com::DispId slot(int n) {
    return 0x60030000 + n;
}

}  // namespace ciphra
