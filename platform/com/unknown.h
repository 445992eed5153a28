// The base of every object of the COM layer.
//
// Objects are owned through std::shared_ptr (reference counting). QueryInterface answers a
// pointer to the interface sub-object for an identifier, or nullptr; query<T>() wraps that
// in a shared_ptr that shares ownership of the whole object.
#pragma once

#include <memory>

#include "platform/com/guid.h"

namespace platform::com {

class Unknown {
  public:
    virtual ~Unknown() = default;
    static constexpr const Guid& iid() { return IID_IUnknown; }
    virtual void* QueryInterface(const Guid& iid) = 0;
};

template <class T, class U>
std::shared_ptr<T> query(const std::shared_ptr<U>& object) {
    if (!object) return nullptr;
    void* p = object->QueryInterface(T::iid());
    if (!p) return nullptr;
    return std::shared_ptr<T>(object, static_cast<T*>(p));
}

// The object's identity (its IUnknown), for comparing two references.
template <class U>
std::shared_ptr<Unknown> identity(const std::shared_ptr<U>& object) {
    return query<Unknown>(object);
}

}  // namespace platform::com
