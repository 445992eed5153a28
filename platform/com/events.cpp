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

void EventSource::fire(DispId id, std::vector<Variant>& args) noexcept {
    // A sink may disconnect itself while it runs: walk a copy.
    std::vector<std::shared_ptr<Dispatch>> sinks;
    if (FAILED(guard(u"", [&] {
            for (const auto& [cookie, sink] : sinks_) sinks.push_back(sink);
        })))
        return;
    for (const auto& sink : sinks) {
        guard(u"", [&] {
            ExcepInfo excep;
            sink->Invoke(id, DISPATCH_METHOD, args, nullptr, &excep);
        });
    }
}

HRESULT SinkDispatch::Invoke(DispId id, unsigned, std::vector<Variant>& args, Variant*,
                             ExcepInfo* excep) {
    return guardInvoke(u"", excep, [&] {
        auto it = handlers_.find(id);
        if (it != handlers_.end()) it->second(args);  // events nobody listens to are ignored
        return S_OK;
    });
}

}  // namespace platform::com
