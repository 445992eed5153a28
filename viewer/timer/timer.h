// A window-less timer for clients of the library: a positive Interval starts a thread timer,
// and every firing raises ThatTime. Each thread keeps a table of its running timers (100
// slots) through which the one timer callback finds the object of a firing timer; the table
// holds a counted reference, so a running timer lives on after its clients release it, until
// its Interval is set to 0 or below.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/com/dispatch.h"
#include "platform/com/events.h"
#include "platform/com/guid.h"
#include "platform/com/server.h"

namespace vistrel {

namespace com = platform::com;

inline constexpr com::Guid GUID_EErrorTimer =
    com::Guid::of("{33F5C164-C17A-4FE7-BC0C-894169BFEE2B}");
inline constexpr com::Guid CLSID_CTimer = com::Guid::of("{E033AD4B-2231-4B2C-95A9-29D2149B4E24}");
inline constexpr com::Guid IID__CTimer = com::Guid::of("{436F4FA9-6AF8-4EB4-8A33-DA87ABB83EAF}");
inline constexpr com::Guid DIID___CTimer = com::Guid::of("{8D41C198-E585-4532-BD57-A15D39E1D13E}");

enum EErrorTimer : std::uint32_t {
    eeBaseTimer = 13650,
    eeTooManyTimers = 13651,
    eeCantCreateTimer = 13652,
};

inline constexpr com::DispId DISPID_ThatTime = 1;

class CTimer : public com::DispatchImpl<CTimer, com::ConnectionPointContainer>,
               public std::enable_shared_from_this<CTimer> {
  public:
    ~CTimer() override;
    static const com::Members<CTimer>& members();

    com::HRESULT Advise(const com::Guid& eventIid, std::shared_ptr<com::Dispatch> sink,
                        std::uint32_t& cookie) override;
    com::HRESULT Unadvise(std::uint32_t cookie) override;

    std::int32_t Interval() const { return interval_; }
    // A new positive value (re)starts the timer, 0 or below stops it. Raises 13652 when no
    // system timer can be had and 13651 when the thread's table is full; the timer is stopped
    // (Interval 0) after either.
    void setInterval(std::int32_t value);
    // Raises ThatTime.
    void PulseTimer();

    com::Variant Item;
    // The thread timer's identifier, 0 when none (the library's own business).
    unsigned systemTimerId = 0;

  private:
    friend bool startSystemTimer(CTimer& timer);
    std::int32_t interval_ = 0;
    com::EventSource events_{DIID___CTimer};
};

// The thread's timer table.
namespace timer {
constexpr int kSlots = 100;
// Puts a thread timer under the object and the object in the first free slot. False (and the
// object stopped) when no thread timer can be had; raises 13651 when no slot is free.
bool StartSystemTimer(CTimer& timer);
// Kills the object's thread timer and frees its slot; false when it holds none.
bool StopSystemTimer(CTimer& timer);
// The thread timer `id` fired: pulses the object that holds it, if any.
void TimerCallback(unsigned id);
// The highest slot ever filled on this thread (1-based; 0 for none) and what a slot holds.
int TimerHighWater();
std::shared_ptr<CTimer> TimerSlot(int slot);
// Empties the calling thread's table (tests).
void resetForTests();
}  // namespace timer

// CTimer's entry for the library's class table.
com::ClassEntry ctimerClassEntry();

}  // namespace vistrel
