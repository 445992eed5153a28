// Objects the library hands to its hosts from its members (a list from cHTTP, a pair from
// Add, a new cHTTP from Init). Like the objects its class factories make, they keep the
// library loaded while a host holds them: the module installs its tracker when it is built.
#pragma once

#include <memory>

#include "platform/com/unknown.h"

namespace postwick {

using Tracker =
    std::shared_ptr<platform::com::Unknown> (*)(std::shared_ptr<platform::com::Unknown>);
void setTracker(Tracker tracker);
std::shared_ptr<platform::com::Unknown> tracked(std::shared_ptr<platform::com::Unknown> object);

template <class T>
std::shared_ptr<T> newObject() {
    auto object = std::make_shared<T>();
    std::shared_ptr<platform::com::Unknown> holder = tracked(object);
    return std::shared_ptr<T>(holder, object.get());
}

}  // namespace postwick
