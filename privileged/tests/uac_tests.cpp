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
    // Every member by its identifier: name (letter case exactly), argument names and result.
    const struct {
        DispId id;
        const char16_t* name;
        std::vector<std::u16string> params;
        VarType result;
    } table[] = {
        {0x60030000, u"m_ShowWindow", {u"handler", u"mode"}, VT_EMPTY},
        {0x60030001, u"m_ProcessKillByHwnd", {u"hwnd"}, VT_EMPTY},
        {0x60030002, u"m_ProcessKillByName", {u"mName"}, VT_EMPTY},
        {0x60030003, u"mSetupPrinterProperty", {u"PrinterName", u"pHwnd"}, VT_EMPTY},
        {0x60030004, u"m_GetTempFolder", {}, VT_BSTR},
        {0x60030005, u"m_FileMove", {u"src", u"dst"}, VT_EMPTY},
        {0x60030006, u"m_LoadFile", {u"fs"}, VT_BSTR},
        {0x60030007, u"m_Version", {}, VT_BSTR},
        {0x60030008, u"m_EnableClearType", {}, VT_EMPTY},
        {0x60030009, u"m_GetClearTypeFont", {}, VT_I4},
        {0x6003000A, u"m_DisableClearType", {}, VT_EMPTY},
        {0x6003000B, u"m_PrintQuality", {u"pMode", u"PrinterName"}, VT_I4},
        {0x6003000C, u"m_SpoolerUse", {u"useSpool", u"PrinterName"}, VT_EMPTY},
        {0x6003000D, u"m_BiDirection", {u"bidi", u"adv", u"PrinterName"}, VT_EMPTY},
        {0x6003000E, u"m_EraseKeepPrinterJob", {u"PrinterName"}, VT_I4},
        {0x6003000F, u"m_ResetSpooler", {u"PrinterName"}, VT_EMPTY},
        {0x60030010, u"m_prnProperty", {u"PrinterDeviceName"}, VT_I4},
        {0x60030011, u"m_Prentor", {u"cmd", u"arg"}, VT_I4},
        {0x60030012, u"m_CanAdminister", {u"PrinterName"}, VT_I4},
        {0x60030013, u"m_SaveBinFile", {u"fs", u"data"}, VT_EMPTY},
        {0x60030014, u"m_SaveAppend", {u"fs", u"data"}, VT_EMPTY},
        {0x60030015, u"m_GetMACAddress", {}, VT_BSTR},
        {0x60030017, u"m_ActiveXCheck", {u"FileName", u"CLSID"}, VT_I4},
        {0x60030019, u"mdoEndProcess", {u"v"}, VT_EMPTY},
        {0x6003001A, u"mPrintOnly", {u"v"}, VT_EMPTY},
        {0x6003001B, u"mFindText", {u"v"}, VT_EMPTY},
        {0x6003001C, u"mEscapeExit", {u"v"}, VT_EMPTY},
        {0x6003001D, u"mExitKeyPress", {u"v"}, VT_EMPTY},
        {0x6003001E, u"LockKeyboard", {u"isLock"}, VT_EMPTY},
        {0x6003001F, u"mFindCtrlP", {}, VT_I4},
        {0x60030020, u"mFindExitKeyPress", {}, VT_I4},
    };
    for (std::size_t i = 0; i < std::size(table); ++i) {
        const auto& t = table[i];
        const MemberInfo& m = info->members[i];  // in vtable order
        EXPECT_EQ(m.id, t.id) << i;
        EXPECT_EQ(m.name, t.name) << std::hex << t.id;
        EXPECT_EQ(m.result, t.result) << std::hex << t.id;
        std::vector<std::u16string> params;
        for (const auto& p : m.params) params.push_back(p.name);
        EXPECT_EQ(params, t.params) << std::hex << t.id;
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
