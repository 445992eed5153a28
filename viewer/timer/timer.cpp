#include "viewer/timer/timer.h"

#include <array>

#include "platform/window/window.h"
#include "viewer/subclass/window_proc_error.h"

namespace vistrel {

namespace win = platform::window;

namespace {

struct TimerTable {
    std::array<std::shared_ptr<CTimer>, timer::kSlots> slots;  // slot n at index n - 1
    int highWater = 0;
};

TimerTable& table() {
    thread_local TimerTable t;
    return t;
}

}  // namespace

bool startSystemTimer(CTimer& timer) {
    // The callback learns its own identifier once setTimer has answered.
    auto id = std::make_shared<unsigned>(0);
    *id =
        win::setTimer(static_cast<unsigned>(timer.interval_), [id] { timer::TimerCallback(*id); });
    timer.systemTimerId = *id;
    if (*id == 0) {
        timer.interval_ = 0;
        return false;
    }
    auto& t = table();
    for (int slot = 1; slot <= timer::kSlots; ++slot) {
        auto& entry = t.slots[static_cast<std::size_t>(slot - 1)];
        if (entry) continue;
        entry = timer.shared_from_this();
        if (slot > t.highWater) t.highWater = slot;
        return true;
    }
    // No slot: the thread timer would run with no object to reach; it goes, and so does the
    // interval.
    win::killTimer(*id);
    timer.systemTimerId = 0;
    timer.interval_ = 0;
    raiseWindowProcError(eeTooManyTimers, u"No more than 10 timers allowed per class");
}

namespace timer {

bool StartSystemTimer(CTimer& timer) {
    return startSystemTimer(timer);
}

bool StopSystemTimer(CTimer& timer) {
    auto& t = table();
    for (int slot = 1; slot <= t.highWater; ++slot) {
        auto& entry = t.slots[static_cast<std::size_t>(slot - 1)];
        if (!entry || entry->systemTimerId != timer.systemTimerId) continue;
        win::killTimer(timer.systemTimerId);
        entry.reset();  // may end the object: touch nothing after
        return true;
    }
    return false;
}

void TimerCallback(unsigned id) {
    auto& t = table();
    for (int slot = 1; slot <= t.highWater; ++slot) {
        const auto& entry = t.slots[static_cast<std::size_t>(slot - 1)];
        if (!entry || entry->systemTimerId != id) continue;
        // A handler that stops the timer frees the slot; the object lives until it returns.
        const std::shared_ptr<CTimer> hold = entry;
        hold->PulseTimer();
        return;
    }
}

int TimerHighWater() {
    return table().highWater;
}

std::shared_ptr<CTimer> TimerSlot(int slot) {
    if (slot < 1 || slot > kSlots) return nullptr;
    return table().slots[static_cast<std::size_t>(slot - 1)];
}

void resetForTests() {
    TimerTable old = std::move(table());
    table() = TimerTable{};
}

}  // namespace timer

CTimer::~CTimer() {
    if (systemTimerId != 0) win::killTimer(systemTimerId);
}

void CTimer::setInterval(std::int32_t value) {
    if (value >= 1) {
        if (value == interval_) return;
        if (interval_ != 0) {
            // The table's reference may be the last: keep the object for this call.
            const auto self = shared_from_this();
            timer::StopSystemTimer(*this);
        }
        systemTimerId = 0;
        interval_ = value;
        if (!timer::StartSystemTimer(*this))
            raiseWindowProcError(eeCantCreateTimer, u"Can't create system timer");
    } else if (interval_ > 0) {
        interval_ = 0;
        const auto self = shared_from_this();
        timer::StopSystemTimer(*this);
        systemTimerId = 0;
    }
}

void CTimer::PulseTimer() {
    events_.fire(DISPID_ThatTime, {});
}

com::HRESULT CTimer::Advise(const com::Guid& eventIid, std::shared_ptr<com::Dispatch> sink,
                            std::uint32_t& cookie) {
    return com::guard(u"Vistrel.CTimer",
                      [&] { return events_.advise(eventIid, std::move(sink), cookie); });
}

com::HRESULT CTimer::Unadvise(std::uint32_t cookie) {
    return com::guard(u"Vistrel.CTimer", [&] { return events_.unadvise(cookie); });
}

const com::Members<CTimer>& CTimer::members() {
    static const std::u16string itemHelp =
        u"Gets/sets a piece of additional data to store with the timer.";
    static const std::u16string intervalHelp =
        u"Gets/sets the interval at which the timer fires.  Set to zero to stop the timer.";
    static const com::Members<CTimer> m =
        com::Members<CTimer>(u"_CTimer", IID__CTimer)
            .get(0x40030002, u"Item", com::VT_VARIANT,
                 [](CTimer& self, com::Call& call) { call.result = self.Item; })
            .help(itemHelp)
            .put(0x40030002, u"Item", com::VT_VARIANT,
                 [](CTimer& self, com::Call& call) { self.Item = call.arg(0); })
            .help(itemHelp)
            .putRef(0x40030002, u"Item",
                    [](CTimer& self, com::Call& call) { self.Item = call.arg(0); })
            .help(itemHelp)
            .get(0x68030001, u"Interval", com::VT_I4,
                 [](CTimer& self, com::Call& call) { call.result = self.Interval(); })
            .help(intervalHelp)
            .put(0x68030001, u"Interval", com::VT_I4,
                 [](CTimer& self, com::Call& call) { self.setInterval(call.i4(0)); })
            .help(intervalHelp)
            .method(0x60030003, u"PulseTimer", com::VT_EMPTY, {},
                    [](CTimer& self, com::Call&) { self.PulseTimer(); });
    return m;
}

com::ClassEntry ctimerClassEntry() {
    return com::classEntry<CTimer>(CLSID_CTimer, {.progId = u"Vistrel.CTimer"});
}

}  // namespace vistrel
