// IObjectSafety: whether a control may be scripted and initialised by untrusted hosts.
//
// As on the platform, the interface identifier and the out-values are pointers: a host may
// pass a null identifier, and a null out-pointer is answered with E_POINTER.
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
    virtual HRESULT GetInterfaceSafetyOptions(const Guid* iid, std::uint32_t* supported,
                                              std::uint32_t* enabled) = 0;
    virtual HRESULT SetInterfaceSafetyOptions(const Guid* iid, std::uint32_t mask,
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
    HRESULT GetInterfaceSafetyOptions(const Guid* iid, std::uint32_t* supported,
                                      std::uint32_t* enabled) override;
    HRESULT SetInterfaceSafetyOptions(const Guid* iid, std::uint32_t mask,
                                      std::uint32_t enabled) override;

  private:
    std::uint32_t supported_;
    std::map<Guid, std::uint32_t> enabled_;
};

// The fixed answers of a library that declares its classes safe once, at load, with two
// switches: safe for scripting (untrusted callers of IDispatch) and safe for initialising
// (untrusted data through IPersistStorage, IPersistStream and IPersistPropertyBag).
//   - Get: the supported options are always both (3). IDispatch reports 1 as enabled when
//     scripting is safe, else 0; the three persistence interfaces report 2 when initialising
//     is safe, else 0; any other interface fails with E_NOINTERFACE. A null identifier
//     succeeds and leaves the enabled options untouched.
//   - Set: succeeds for IDispatch when (mask AND enabled) is exactly 1 and scripting is safe,
//     for the persistence interfaces when it is exactly 2 and initialising is safe, and fails
//     with E_FAIL otherwise; other interfaces fail with E_NOINTERFACE; a null identifier
//     succeeds without effect. Nothing is remembered: the answers never change.
class DeclaredSafetyImpl : public virtual ObjectSafety {
  public:
    explicit DeclaredSafetyImpl(bool safeForScripting = true, bool safeForInitializing = true)
        : scripting_(safeForScripting), initializing_(safeForInitializing) {}
    HRESULT GetInterfaceSafetyOptions(const Guid* iid, std::uint32_t* supported,
                                      std::uint32_t* enabled) override;
    HRESULT SetInterfaceSafetyOptions(const Guid* iid, std::uint32_t mask,
                                      std::uint32_t enabled) override;

  private:
    bool scripting_;
    bool initializing_;
};

}  // namespace platform::com
