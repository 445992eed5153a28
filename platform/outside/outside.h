// The outside COM components that the system's libraries create by class identifier
// (AesBridge, HashCodec, CharsetConverter, ...). They stand in for components installed on
// the machine, so they are not registered in the registry: each component's source file
// adds its class to a table with OUTSIDE_CLASS, and ensureRegistered() puts the whole table
// into the process's class table. A library calls ensureRegistered() before it creates one.
#pragma once

#include <functional>
#include <memory>

#include "platform/com/runtime.h"

namespace platform::outside {

using Create = std::function<std::shared_ptr<com::Unknown>()>;

// Adds a class to the table (at load time, from a component's source file).
bool addClass(const com::Guid& clsid, Create create);

// Registers every outside class in this process once; later calls do nothing.
void ensureRegistered();

}  // namespace platform::outside

// In a component's source file: OUTSIDE_CLASS(AesBridge, CLSID_AesBridge, [] { ... });
#define OUTSIDE_CLASS(name, clsid, create)                    \
    [[maybe_unused]] static const bool outside_class_##name = \
        platform::outside::addClass(clsid, create)
