#include "platform/com/safety.h"

namespace platform::com {

HRESULT ObjectSafetyImpl::GetInterfaceSafetyOptions(const Guid& iid, std::uint32_t& supported,
                                                    std::uint32_t& enabled) {
    supported = enabled = 0;
    if (!QueryInterface(iid)) return E_NOINTERFACE;
    supported = supported_;
    auto it = enabled_.find(iid);
    enabled = it == enabled_.end() ? 0 : it->second;
    return S_OK;
}

HRESULT ObjectSafetyImpl::SetInterfaceSafetyOptions(const Guid& iid, std::uint32_t mask,
                                                    std::uint32_t enabled) {
    if (!QueryInterface(iid)) return E_NOINTERFACE;
    // Asking for an option the object does not support fails.
    if (mask & ~supported_) return E_FAIL;
    auto& current = enabled_[iid];
    current = (current & ~mask) | (enabled & mask);
    return S_OK;
}

}  // namespace platform::com
