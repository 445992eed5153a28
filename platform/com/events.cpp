#include "platform/com/events.h"

namespace platform::com {

HRESULT EventSource::advise(const Guid& eventIid, std::shared_ptr<Dispatch> sink,
                            std::uint32_t& cookie) {
    cookie = 0;
    if (!sink) return E_POINTER;
    if (eventIid != iid_ && eventIid != IID_IDispatch) return E_NOINTERFACE;
    cookie = next_++;
    sinks_.emplace(cookie, std::move(sink));
    return S_OK;
}

HRESULT EventSource::unadvise(std::uint32_t cookie) {
    return sinks_.erase(cookie) ? S_OK : E_INVALIDARG;
}

void EventSource::fire(DispId id, std::vector<Variant>& args) {
    // A sink may disconnect itself while it runs: walk a copy.
    auto sinks = sinks_;
    for (auto& [cookie, sink] : sinks) {
        ExcepInfo excep;
        sink->Invoke(id, DISPATCH_METHOD, args, nullptr, &excep);
    }
}

void* SinkDispatch::QueryInterface(const Guid& iid) {
    if (iid == IID_IUnknown) return static_cast<Unknown*>(this);
    if (iid == IID_IDispatch) return static_cast<Dispatch*>(this);
    return nullptr;
}

HRESULT SinkDispatch::Invoke(DispId id, unsigned, std::vector<Variant>& args, Variant*,
                             ExcepInfo* excep) {
    auto it = handlers_.find(id);
    if (it == handlers_.end()) return S_OK;  // events nobody listens to are ignored
    try {
        it->second(args);
    } catch (const ComError& e) {
        if (excep) *excep = e.info();
        return DISP_E_EXCEPTION;
    } catch (const std::exception&) {
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace platform::com
