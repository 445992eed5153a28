// Connection-point events: a source object calls its listeners' sink dispatches by DISPID.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/com/dispatch.h"

namespace platform::com {

class ConnectionPointContainer : public virtual Unknown {
  public:
    static constexpr const Guid& iid() { return IID_IConnectionPointContainer; }
    // Connects a sink for the event interface `eventIid`; the cookie disconnects it.
    virtual HRESULT Advise(const Guid& eventIid, std::shared_ptr<Dispatch> sink,
                           std::uint32_t& cookie) = 0;
    virtual HRESULT Unadvise(std::uint32_t cookie) = 0;
};

// The listeners of one event interface, kept by a source object.
class EventSource {
  public:
    explicit EventSource(Guid eventIid) : iid_(eventIid) {}
    const Guid& eventIid() const { return iid_; }

    HRESULT advise(const Guid& eventIid, std::shared_ptr<Dispatch> sink, std::uint32_t& cookie);
    HRESULT unadvise(std::uint32_t cookie);
    bool empty() const { return sinks_.empty(); }

    // Calls every sink in the order they connected. By-reference arguments come back in
    // `args` as the last sink left them. A sink's failure, thrown or returned, does not stop
    // the others and never reaches the source.
    void fire(DispId id, std::vector<Variant>& args) noexcept;
    void fire(DispId id, std::vector<Variant>&& args) noexcept { fire(id, args); }

  private:
    Guid iid_;
    std::uint32_t next_ = 1;
    std::map<std::uint32_t, std::shared_ptr<Dispatch>> sinks_;
};

// A sink built from handlers by DISPID, for callers that listen to events.
class SinkDispatch : public Implements<Dispatch> {
  public:
    using Handler = std::function<void(std::vector<Variant>& args)>;
    SinkDispatch& on(DispId id, Handler handler) {
        handlers_[id] = std::move(handler);
        return *this;
    }
    HRESULT GetIDsOfNames(std::u16string_view, DispId&) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DispId id, unsigned kinds, std::vector<Variant>& args, Variant* result,
                   ExcepInfo* excep) override;

  private:
    std::map<DispId, Handler> handlers_;
};

}  // namespace platform::com
