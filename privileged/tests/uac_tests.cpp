// The class as a whole: its member table, argument narrowing, its safety answers and the
// per-thread keyboard state.
#include <thread>

#include "platform/com/safety.h"
#include "platform/testing/temp_machine.h"
#include "privileged/tests/test_util.h"

using namespace platform::com;
using kestrum::testing::callUac;

TEST(Uac, MemberTableHasThirtyOneMembersAndTwoGaps) {
    auto uac = std::make_shared<kestrum::UAC>();
    const TypeInfo* info = uac->GetTypeInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->members.size(), 31u);
    for (DispId id = 0x60030000; id <= 0x60030020; ++id) {
        const bool gap = id == 0x60030016 || id == 0x60030018;
        EXPECT_EQ(info->find(id, DISPATCH_METHOD) == nullptr, gap) << std::hex << id;
    }
    EXPECT_EQ(callUac(0x60030016).status, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(callUac(0x60030018).status, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(callUac(0x60030007).result.toText(), u"1.0.0.6");
    EXPECT_NE(uac->QueryInterface(kestrum::IID_UAC), nullptr);
}

TEST(Uac, SixteenBitArgumentsOverflowBeforeAnyEffect) {
    platform::testing::TempMachine machine;
    const struct {
        DispId id;
        std::vector<Variant> args;
        HRESULT status;
    } cases[] = {
        {0x6003000B, {Variant(40000), Variant(u"Tessel Printer")}, hr(0x800A0006)},
        {0x6003000B, {Variant(-32769), Variant(u"Tessel Printer")}, hr(0x800A0006)},
        {0x6003000D, {Variant(0), Variant(32768), Variant(u"Tessel Printer")}, hr(0x800A0006)},
        {0x6003000D, {Variant(0), Variant(2), Variant(u"Tessel Printer")}, S_OK},
    };
    for (const auto& c : cases) {
        const std::int32_t before = callUac(0x60030010, {Variant(u"Tessel Printer")}).result.toI4();
        auto out = callUac(c.id, c.args);
        EXPECT_EQ(out.status, c.status);
        if (c.status != S_OK) {
            EXPECT_EQ(out.description, u"Overflow");
            EXPECT_EQ(out.result.toI4(), 0);
            EXPECT_EQ(callUac(0x60030010, {Variant(u"Tessel Printer")}).result.toI4(), before);
        }
    }
}

TEST(Uac, SafetyAnswersAreTheDeclaredOnes) {
    auto uac = std::make_shared<kestrum::UAC>();
    auto* safety = static_cast<ObjectSafety*>(uac->QueryInterface(IID_IObjectSafety));
    ASSERT_NE(safety, nullptr);
    std::uint32_t supported = 0, enabled = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 1u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IDispatch, 3, 3), E_FAIL);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IDispatch, 1, 1), S_OK);
}

TEST(Uac, FlagSettersTakeAnyNonZeroAndStatePerThread) {
    EXPECT_EQ(callUac(0x6003001D, {Variant(7)}).status, S_OK);  // mExitKeyPress 7
    EXPECT_EQ(callUac(0x60030020).result.toI4(), 1);
    std::int32_t elsewhere = -1;
    std::thread([&] { elsewhere = callUac(0x60030020).result.toI4(); }).join();
    EXPECT_EQ(elsewhere, 0);  // another thread has its own copy
    callUac(0x6003001D, {Variant(0)});
    EXPECT_EQ(callUac(0x60030020).result.toI4(), 0);
}
