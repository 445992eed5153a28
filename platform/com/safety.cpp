#include "platform/com/safety.h"

#include "platform/com/control.h"

namespace platform::com {

HRESULT ObjectSafetyImpl::GetInterfaceSafetyOptions(const Guid* iid, std::uint32_t* supported,
                                                    std::uint32_t* enabled) {
    if (!iid || !supported || !enabled) return E_POINTER;
    *supported = *enabled = 0;
    if (!QueryInterface(*iid)) return E_NOINTERFACE;
    *supported = supported_;
    auto it = enabled_.find(*iid);
    *enabled = it == enabled_.end() ? 0 : it->second;
    return S_OK;
}

HRESULT ObjectSafetyImpl::SetInterfaceSafetyOptions(const Guid* iid, std::uint32_t mask,
                                                    std::uint32_t enabled) {
    if (!iid) return E_POINTER;
    if (!QueryInterface(*iid)) return E_NOINTERFACE;
    // Asking for an option the object does not support fails.
    if (mask & ~supported_) return E_FAIL;
    auto& current = enabled_[*iid];
    current = (current & ~mask) | (enabled & mask);
    return S_OK;
}

namespace {
bool isPersistence(const Guid& iid) {
    return iid == IID_IPersistStorage || iid == IID_IPersistStream ||
           iid == IID_IPersistPropertyBag;
}
}  // namespace

HRESULT DeclaredSafetyImpl::GetInterfaceSafetyOptions(const Guid* iid, std::uint32_t* supported,
                                                      std::uint32_t* enabled) {
    if (!supported || !enabled) return E_POINTER;
    *supported = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
    if (!iid) return S_OK;
    if (*iid == IID_IDispatch) {
        *enabled = scripting_ ? INTERFACESAFE_FOR_UNTRUSTED_CALLER : 0;
        return S_OK;
    }
    if (isPersistence(*iid)) {
        *enabled = initializing_ ? INTERFACESAFE_FOR_UNTRUSTED_DATA : 0;
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT DeclaredSafetyImpl::SetInterfaceSafetyOptions(const Guid* iid, std::uint32_t mask,
                                                      std::uint32_t enabled) {
    if (!iid) return S_OK;
    const std::uint32_t asked = mask & enabled;
    if (*iid == IID_IDispatch)
        return asked == INTERFACESAFE_FOR_UNTRUSTED_CALLER && scripting_ ? S_OK : E_FAIL;
    if (isPersistence(*iid))
        return asked == INTERFACESAFE_FOR_UNTRUSTED_DATA && initializing_ ? S_OK : E_FAIL;
    return E_NOINTERFACE;
}

}  // namespace platform::com
