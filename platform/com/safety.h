// IObjectSafety: whether a control may be scripted and initialised by untrusted hosts.
#pragma once

#include <cstdint>
#include <map>

#include "platform/com/hresult.h"
#include "platform/com/unknown.h"

namespace platform::com {

constexpr std::uint32_t INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1;
constexpr std::uint32_t INTERFACESAFE_FOR_UNTRUSTED_DATA = 2;

class ObjectSafety : public virtual Unknown {
  public:
    static constexpr const Guid& iid() { return IID_IObjectSafety; }
    virtual HRESULT GetInterfaceSafetyOptions(const Guid& iid, std::uint32_t& supported,
                                              std::uint32_t& enabled) = 0;
    virtual HRESULT SetInterfaceSafetyOptions(const Guid& iid, std::uint32_t mask,
                                              std::uint32_t enabled) = 0;
};

// The usual implementation: a fixed set of supported options for the interfaces the object
// answers, and the options a host enabled, per interface. The class lists ObjectSafety among
// its interfaces (DispatchImpl<T, ObjectSafety>) and derives from this for the bodies.
class ObjectSafetyImpl : public virtual ObjectSafety {
  public:
    explicit ObjectSafetyImpl(std::uint32_t supported = INTERFACESAFE_FOR_UNTRUSTED_CALLER |
                                                        INTERFACESAFE_FOR_UNTRUSTED_DATA)
        : supported_(supported) {}
    HRESULT GetInterfaceSafetyOptions(const Guid& iid, std::uint32_t& supported,
                                      std::uint32_t& enabled) override;
    HRESULT SetInterfaceSafetyOptions(const Guid& iid, std::uint32_t mask,
                                      std::uint32_t enabled) override;

  private:
    std::uint32_t supported_;
    std::map<Guid, std::uint32_t> enabled_;
};

}  // namespace platform::com
