// The base of every object of the COM layer.
//
// Objects are owned through std::shared_ptr (reference counting). QueryInterface answers a
// pointer to the interface sub-object for an identifier, or nullptr; query<T>() wraps that
// in a shared_ptr that shares ownership of the whole object. Interfaces derive virtually from
// Unknown (and classes from their interfaces), so an object has one identity whatever
// interface reaches it; a class lists its interfaces once, in Implements<...>, instead of
// writing its own QueryInterface.
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

// The interface table of a class: the sub-object of `self` for IUnknown or for one of the
// listed interfaces, nullptr for any other identifier.
template <class... Interfaces, class Self>
void* findInterface(Self* self, const Guid& iid) noexcept {
    void* found = nullptr;
    ((found == nullptr && iid == Interfaces::iid() ? void(found = static_cast<Interfaces*>(self))
                                                   : void()),
     ...);
    if (!found && iid == IID_IUnknown) found = static_cast<Unknown*>(self);
    return found;
}

// The base of a class that implements the listed interfaces and answers exactly them:
//     class Factory : public Implements<ClassFactory> { ... };
template <class... Interfaces>
class Implements : public virtual Interfaces... {
  public:
    void* QueryInterface(const Guid& iid) override {
        return findInterface<Interfaces...>(this, iid);
    }
};

// The object through the interface `iid`, held as T: the interface's own class, or the base
// it is used through (Dispatch for a dispatch interface known only by its identifier).
// nullptr when there is no object or it does not answer `iid`.
template <class T, class U>
std::shared_ptr<T> query(const std::shared_ptr<U>& object, const Guid& iid) {
    if (!object) return nullptr;
    void* p = object->QueryInterface(iid);
    if (!p) return nullptr;
    return std::shared_ptr<T>(object, static_cast<T*>(p));
}

template <class T, class U>
std::shared_ptr<T> query(const std::shared_ptr<U>& object) {
    return query<T>(object, T::iid());
}

// The object's identity (its IUnknown), for comparing two references.
template <class U>
std::shared_ptr<Unknown> identity(const std::shared_ptr<U>& object) {
    return query<Unknown>(object);
}

}  // namespace platform::com
