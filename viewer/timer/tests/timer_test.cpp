// The timer class on the window tree's fake clock: starting, restarting and stopping, the
// per-thread table (slot reuse, high-water mark, the full table), and timers whose clients let
// go of them.
#include "viewer/timer/timer.h"

#include <gtest/gtest.h>

#include "platform/window/window.h"

using namespace vistrel;
namespace win = platform::window;

namespace {

class Timers : public ::testing::Test {
  protected:
    void SetUp() override {
        timer::resetForTests();
        win::resetForTests();
    }
    void TearDown() override {
        timer::resetForTests();
        win::resetForTests();
    }

    // A new timer whose ThatTime events count into `pulses[index]`.
    std::shared_ptr<CTimer> make(std::function<void()> onPulse = {}) {
        auto t = std::make_shared<CTimer>();
        auto sink = std::make_shared<com::SinkDispatch>();
        const std::size_t index = pulses.size();
        pulses.push_back(0);
        sink->on(DISPID_ThatTime, [this, index, onPulse](std::vector<com::Variant>&) {
            ++pulses[index];
            if (onPulse) onPulse();
        });
        std::uint32_t cookie = 0;
        EXPECT_EQ(t->Advise(DIID___CTimer, sink, cookie), com::S_OK);
        return t;
    }

    static com::ExcepInfo intervalError(CTimer& t, std::int32_t value) {
        try {
            com::put(t, u"Interval", value);
        } catch (const com::ComError& e) {
            return e.info();
        }
        return {};
    }

    std::vector<int> pulses;
};

}  // namespace

TEST_F(Timers, IntervalStartsRestartsAndStops) {
    auto t = make();
    com::put(*t, u"Interval", std::int32_t{500});
    const unsigned first = t->systemTimerId;
    ASSERT_NE(first, 0u);
    com::put(*t, u"Interval", std::int32_t{500});  // the same value: nothing new
    EXPECT_EQ(t->systemTimerId, first);
    win::advanceClock(1000);
    EXPECT_EQ(pulses[0], 2);

    com::put(*t, u"Interval", std::int32_t{600});  // a new system timer, the old one killed
    EXPECT_NE(t->systemTimerId, first);
    EXPECT_EQ(timer::TimerSlot(1), t);
    EXPECT_EQ(timer::TimerHighWater(), 1);
    win::advanceClock(1199);  // the old one would have fired at 1500
    EXPECT_EQ(pulses[0], 3);
    EXPECT_EQ(com::get(*t, u"Interval").toI4(), 600);

    com::put(*t, u"Interval", std::int32_t{-5});
    EXPECT_EQ(com::get(*t, u"Interval").toI4(), 0);
    EXPECT_EQ(t->systemTimerId, 0u);
    EXPECT_EQ(timer::TimerSlot(1), nullptr);
    win::advanceClock(5000);
    EXPECT_EQ(pulses[0], 3);
    com::put(*t, u"Interval", std::int32_t{-5});  // stopped already: nothing
    EXPECT_EQ(com::get(*t, u"Interval").toI4(), 0);

    // PulseTimer from a client raises the event at once; Item keeps what it is given.
    com::call(*t, u"PulseTimer");
    EXPECT_EQ(pulses[0], 4);
    com::put(*t, u"Item", com::Variant(std::u16string(u"tag")));
    EXPECT_EQ(com::get(*t, u"Item").toText(), u"tag");
}

TEST_F(Timers, TableReusesTheFirstFreeSlotAndKeepsItsHighWaterMark) {
    std::vector<std::shared_ptr<CTimer>> ts;
    for (int i = 0; i < 3; ++i) {
        ts.push_back(make());
        ts.back()->setInterval(100 + i);
    }
    EXPECT_EQ(timer::TimerHighWater(), 3);
    ts[1]->setInterval(0);
    EXPECT_EQ(timer::TimerSlot(2), nullptr);
    auto next = make();
    next->setInterval(50);
    EXPECT_EQ(timer::TimerSlot(2), next);
    EXPECT_EQ(timer::TimerHighWater(), 3);
    for (auto& t : ts) t->setInterval(0);
    next->setInterval(0);
    EXPECT_EQ(timer::TimerHighWater(), 3);  // never goes down
}

TEST_F(Timers, AFullTableRefusesTheNextTimerAndLeavesItStopped) {
    std::vector<std::shared_ptr<CTimer>> ts;
    for (int i = 0; i < timer::kSlots; ++i) {
        ts.push_back(make());
        ts.back()->setInterval(100);
    }
    auto extra = make();
    const auto e = intervalError(*extra, 100);
    EXPECT_EQ(static_cast<std::uint32_t>(e.scode), 0x80040000u | 13651);
    EXPECT_EQ(e.description, u"No more than 10 timers allowed per class");
    EXPECT_EQ(e.source, u"Vistrel.WindowProc");
    EXPECT_EQ(extra->Interval(), 0);
    EXPECT_EQ(extra->systemTimerId, 0u);

    win::advanceClock(100);
    for (int i = 0; i < timer::kSlots; ++i) EXPECT_EQ(pulses[static_cast<std::size_t>(i)], 1) << i;
    EXPECT_EQ(pulses.back(), 0);

    // Once a slot is free the refused timer starts like any other.
    ts[40]->setInterval(0);
    extra->setInterval(100);
    EXPECT_EQ(timer::TimerSlot(41), extra);
    win::advanceClock(100);
    EXPECT_EQ(pulses.back(), 1);
}

TEST_F(Timers, NoSystemTimerRaises13652) {
    auto t = make();
    win::failTimersForTests(true);
    const auto e = intervalError(*t, 250);
    win::failTimersForTests(false);
    EXPECT_EQ(static_cast<std::uint32_t>(e.scode), 0x80040000u | 13652);
    EXPECT_EQ(e.description, u"Can't create system timer");
    EXPECT_EQ(t->Interval(), 0);
    EXPECT_EQ(timer::TimerHighWater(), 0);
}

TEST_F(Timers, ARunningTimerOutlivesItsClientsUntilItStopsItself) {
    std::weak_ptr<CTimer> watch;
    int stopAt = 3;
    auto t = make([&] {
        if (--stopAt == 0) watch.lock()->setInterval(0);  // frees the slot mid-pulse
    });
    watch = t;
    t->setInterval(10);
    t.reset();
    EXPECT_FALSE(watch.expired());  // the table keeps it
    win::advanceClock(20);
    EXPECT_EQ(pulses[0], 2);
    EXPECT_FALSE(watch.expired());
    win::advanceClock(10);  // the third pulse stops it
    EXPECT_EQ(pulses[0], 3);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(timer::TimerSlot(1), nullptr);
    win::advanceClock(100);
    EXPECT_EQ(pulses[0], 3);
}

// The class's interface as a host reaches it: members in order with their DISPIDs, kinds and
// help texts.
TEST(TimerSurface, MembersInOrderWithTheirHelpTexts) {
    const std::u16string item = u"Gets/sets a piece of additional data to store with the timer.";
    const std::u16string interval =
        u"Gets/sets the interval at which the timer fires.  Set to zero to stop the timer.";
    const struct {
        const char16_t* name;
        com::DispId id;
        unsigned kind;
        std::u16string help;
    } members[] = {
        {u"Item", 0x40030002, com::DISPATCH_PROPERTYGET, item},
        {u"Item", 0x40030002, com::DISPATCH_PROPERTYPUT, item},
        {u"Item", 0x40030002, com::DISPATCH_PROPERTYPUTREF, item},
        {u"Interval", 0x68030001, com::DISPATCH_PROPERTYGET, interval},
        {u"Interval", 0x68030001, com::DISPATCH_PROPERTYPUT, interval},
        {u"PulseTimer", 0x60030003, com::DISPATCH_METHOD, u""},
    };
    auto t = std::make_shared<CTimer>();
    const com::TypeInfo* info = t->GetTypeInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->iid, IID__CTimer);
    ASSERT_EQ(info->members.size(), std::size(members));
    for (std::size_t i = 0; i < std::size(members); ++i) {
        EXPECT_EQ(info->members[i].name, members[i].name) << i;
        EXPECT_EQ(info->members[i].id, members[i].id) << i;
        EXPECT_EQ(info->members[i].kind, members[i].kind) << i;
        EXPECT_EQ(info->members[i].help, members[i].help) << i;
    }
    EXPECT_EQ(DISPID_ThatTime, 1);
}
