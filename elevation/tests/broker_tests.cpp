// The broker in process: its elevated instance is a real host process started by the
// same-user provider, over a machine where the privileged library is registered.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "elevation/broker.h"
#include "elevation/provider.h"
#include "elevation/tests/support.h"
#include "elevation/wire.h"
#include "platform/com/runtime.h"
#include "platform/system/parameters.h"
#include "platform/text/codepage.h"

namespace {

using namespace platform::com;
using namespace elevation;
using namespace elevation::testing;
namespace fs = std::filesystem;

class Broker : public ::testing::Test {
  protected:
    void SetUp() override {
        registerLibrary(KESTRUM_LIBRARY);
        registerLibrary(TESSELUAC_LIBRARY);
        use(Launch::SameUser);
        uac = std::make_shared<UAC>();
    }
    void TearDown() override {
        call(*uac, u"ReleaseCOM");
        setElevationProvider(CLSID_UAC, nullptr);
    }
    void use(Launch launch) {
        setElevationProvider(CLSID_UAC, hostProvider(launch, hostProgram()));
    }
    Variant run(std::u16string_view member, std::vector<Variant> args = {}) {
        return call(*uac, member, std::move(args));
    }
    HRESULT failure(std::u16string_view member, std::vector<Variant> args = {}) {
        return statusOf([&] { run(member, std::move(args)); });
    }
    std::u16string file(const char* name) const {
        return fs::path(machine.path() / name).u16string();
    }

    platform::testing::TempMachine machine;
    ScopedEnv elevate{"TESSEL_UAC_ELEVATE", "1"};
    std::shared_ptr<UAC> uac;
};

TEST_F(Broker, ForwardsCallsToOneHostProcessUntilReleased) {
    EXPECT_TRUE(hostProcesses().empty());
    EXPECT_EQ(run(u"InitializeCOM").toI4(), 1);
    const auto hosts = hostProcesses();
    ASSERT_EQ(hosts.size(), 1u);
    // A second initialisation keeps the instance it has.
    EXPECT_EQ(run(u"InitializeCOM").toI4(), 1);
    EXPECT_EQ(hostProcesses(), hosts);

    EXPECT_EQ(run(u"Version").toText(), u"1.0.0.6");
    const std::u16string note = file("note.txt");
    run(u"SaveAppend", {Variant(note), Variant(u"abc,def")});
    EXPECT_EQ(run(u"LoadFile", {Variant(note)}).toText(), u"abc");
    EXPECT_FALSE(fs::exists(fs::path(note)));
    run(u"ClearTypeFont", {Variant(std::int32_t(0))});
    EXPECT_EQ(run(u"GetClearTypeFont").toI4(), 0);
    EXPECT_EQ(platform::system::fontSmoothingFlags(), 1u);  // written to the profile only

    run(u"ReleaseCOM");
    EXPECT_TRUE(hostProcesses().empty());
    EXPECT_EQ(elevatedInstance(), nullptr);
    EXPECT_EQ(failure(u"Version"), E_FAIL);
    // After a release a new initialisation starts a new host.
    EXPECT_EQ(run(u"InitializeCOM").toI4(), 1);
    EXPECT_EQ(hostProcesses().size(), 1u);
    EXPECT_EQ(run(u"Version").toText(), u"1.0.0.6");
}

TEST_F(Broker, DeclinedConsentLeavesNoInstance) {
    use(Launch::Declined);
    EXPECT_EQ(run(u"InitializeCOM").toI4(), -1);
    EXPECT_EQ(elevatedInstance(), nullptr);
    EXPECT_TRUE(hostProcesses().empty());
    EXPECT_EQ(failure(u"Version"), E_FAIL);

    std::shared_ptr<Unknown> object;
    EXPECT_EQ(CoGetObject(u"Elevation:Administrator!new:" + CLSID_UAC.str(), CLSCTX_LOCAL_SERVER,
                          IID_IUAC, object),
              HRESULT_ERROR_CANCELLED);
    EXPECT_EQ(object, nullptr);
}

// The host runs elevated, so a copy of it that another user could have swapped is never
// started.
TEST_F(Broker, AHostFromAFolderOthersMayWriteIsNeverStarted) {
    const fs::path open = machine.path() / "open";
    fs::create_directories(open);
    fs::copy_file(hostProgram(), open / "tessel-uac-host");
    fs::permissions(open, fs::perms::all);
    setElevationProvider(CLSID_UAC, hostProvider(Launch::SameUser, open / "tessel-uac-host"));
    EXPECT_EQ(run(u"InitializeCOM").toI4(), -1);
    EXPECT_TRUE(hostProcesses().empty());
    EXPECT_EQ(elevatedInstance(), nullptr);
}

TEST_F(Broker, OperationsWithoutAnInstanceFailWithoutEffect) {
    const std::u16string note = file("kept.txt");
    std::ofstream(fs::path(note)) << "x";
    const struct {
        const char16_t* member;
        std::vector<Variant> args;
    } cases[] = {
        {u"Version", {}},
        {u"GetClearTypeFont", {}},
        {u"ClearTypeFont", {Variant(std::int32_t(0))}},
        {u"LoadFile", {Variant(note)}},
        {u"FileMove", {Variant(note), Variant(file("moved.txt"))}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(failure(c.member, c.args), E_FAIL) << platform::text::toUtf8(c.member);
    EXPECT_TRUE(fs::exists(fs::path(note)));
    EXPECT_EQ(platform::system::fontSmoothingFlags(), 0u);
}

TEST_F(Broker, ConcurrentInitialisationsMakeOneInstance) {
    std::vector<std::thread> threads;
    std::atomic<int> ones{0};
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            auto mine = std::make_shared<UAC>();
            if (call(*mine, u"InitializeCOM").toI4() == 1) ++ones;
            call(*mine, u"Version");
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(ones.load(), 4);
    EXPECT_EQ(hostProcesses().size(), 1u);
}

TEST_F(Broker, AHostKilledMidSessionIsReportedDisconnected) {
    ASSERT_EQ(run(u"InitializeCOM").toI4(), 1);
    EXPECT_EQ(run(u"Version").toText(), u"1.0.0.6");
    const auto hosts = hostProcesses();
    ASSERT_EQ(hosts.size(), 1u);
    ASSERT_TRUE(platform::process::terminate(hosts[0]));
    try {
        run(u"Version");
        ADD_FAILURE() << "the call to a host that is gone succeeded";
    } catch (const platform::com::ComError& e) {
        EXPECT_EQ(e.hr(), wire::RPC_E_DISCONNECTED);
        EXPECT_EQ(e.description(), u"The object invoked has disconnected from its clients.");
    }
    EXPECT_EQ(failure(u"GetTempFolder"), wire::RPC_E_DISCONNECTED);
    EXPECT_TRUE(hostProcesses().empty());  // reaped, not left behind
    run(u"ReleaseCOM");
    EXPECT_EQ(run(u"InitializeCOM").toI4(), 1);
    EXPECT_EQ(run(u"Version").toText(), u"1.0.0.6");
}

TEST_F(Broker, FailuresOfThePrivilegedMemberArePassedOn) {
    // The same failure whether _X runs here or in the host: an empty file has no first field.
    const std::u16string empty = file("empty.txt");
    std::ofstream(fs::path(empty)).flush();
    const std::vector<Variant> args = {Variant(empty)};
    EXPECT_EQ(failure(u"_LoadFile", args), hr(0x800A003E));
    ASSERT_EQ(run(u"InitializeCOM").toI4(), 1);
    EXPECT_EQ(failure(u"LoadFile", args), hr(0x800A003E));
    EXPECT_TRUE(fs::exists(fs::path(empty)));
    // The host refuses a relative path before the privileged member sees it.
    EXPECT_EQ(failure(u"FileMove", {Variant(u"relative.txt"), Variant(file("to.txt"))}),
              E_INVALIDARG);
    EXPECT_EQ(failure(u"SaveAppend", {Variant(u"sub/relative.txt"), Variant(u"x")}), E_INVALIDARG);
    EXPECT_EQ(run(u"Version").toText(), u"1.0.0.6");  // the session goes on
}

// A privileged member that changed the machine must be able to hand over its answer: the
// first field of a loaded file is deleted with the file, so it must come back whole however
// long it is, and a field too long to be answered must leave the file where it was.
TEST_F(Broker, LongLoadedFieldsComeBackWholeOrKeepTheirFile) {
    ASSERT_EQ(run(u"InitializeCOM").toI4(), 1);
    const struct {
        const char* what;
        const char* unit;  // the bytes of one character of the field
        char16_t character;
        std::size_t count;
        bool answered;
    } cases[] = {
        {"longer than one call frame", "x", u'x', 600000, true},
        {"double-byte text longer than one frame", "\xB0\xA1", u'가', 600000, true},
        {"the longest field there is", "x", u'x', std::size_t(16) << 20, true},
        {"longer than any field is read", "x", u'x', (std::size_t(16) << 20) + 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::u16string note = file("long.txt");
        std::string contents;
        for (std::size_t i = 0; i < c.count; ++i) contents += c.unit;
        contents += ",rest\r\n";
        std::ofstream(fs::path(note), std::ios::binary) << contents;
        if (c.answered) {
            EXPECT_EQ(run(u"LoadFile", {Variant(note)}).toText(),
                      std::u16string(c.count, c.character));
            EXPECT_FALSE(fs::exists(fs::path(note)));
        } else {
            EXPECT_EQ(failure(u"LoadFile", {Variant(note)}), hr(0x800A0007));
            EXPECT_EQ(fs::file_size(fs::path(note)), contents.size());
        }
        EXPECT_EQ(run(u"Version").toText(), u"1.0.0.6");  // the session goes on
    }
}

TEST_F(Broker, WithoutElevationOperationsRunInProcess) {
    ScopedEnv noElevation("TESSEL_UAC_ELEVATE", "0");
    EXPECT_EQ(run(u"InitializeCOM").toI4(), 1);
    EXPECT_TRUE(hostProcesses().empty());
    EXPECT_EQ(elevatedInstance(), nullptr);
    const std::u16string note = file("here.txt");
    run(u"SaveAppend", {Variant(note), Variant(u"q")});
    EXPECT_EQ(run(u"LoadFile", {Variant(note)}).toText(), u"q");
}

// The interface as a caller sees it: 62 methods with identifiers 1 to 62 in vtable order, each
// private _X directly ahead of its public X, with their argument names, results and help texts.
TEST(BrokerSurface, SixtyTwoMethodsInVtableOrder) {
    auto uac = std::make_shared<UAC>();
    const TypeInfo* info = uac->GetTypeInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->name, u"IUAC");
    EXPECT_EQ(info->iid, IID_IUAC);
    const struct {
        const char16_t* publicName;
        const char16_t* privateName;
        std::vector<std::u16string> params;
        VarType result;
    } pairs[] = {
        {u"ProcessKillByHwnd", u"_ProcessKillByHwnd", {u"hWnd"}, VT_EMPTY},
        {u"ProcessKillByName", u"_ProcessKillByName", {u"Name"}, VT_EMPTY},
        {u"SetupPrinterProperty", u"_SetupPrinterProperty", {u"PrinterName", u"pHwnd"}, VT_EMPTY},
        {u"GetTempFolder", u"_GetTempFolder", {}, VT_BSTR},
        {u"FileMove", u"_FileMove", {u"src", u"dest"}, VT_EMPTY},
        {u"LoadFile", u"_LoadFile", {u"fs"}, VT_BSTR},
        {u"Version", u"_Version", {}, VT_BSTR},
        {u"ClearTypeFont", u"_ClearTypeFont", {u"lEnable"}, VT_EMPTY},
        {u"PrintQuality", u"_PrintQuality", {u"pMode", u"PrinterName"}, VT_I4},
        {u"SpoolerUse", u"_SpoolerUse", {u"useSpool", u"PrinterName"}, VT_EMPTY},
        {u"BiDirection", u"_BiDirection", {u"bidi", u"adv", u"PrinterName"}, VT_EMPTY},
        {u"EraseKeepPrinterJob", u"_EraseKeepPrinterJob", {u"PrinterName"}, VT_I4},
        {u"ResetSpooler", u"_ResetSpooler", {u"PrinterName"}, VT_EMPTY},
        {u"prnProperty", u"_prnProperty", {u"PrinterDeviceName"}, VT_I4},
        {u"Prentor", u"_Prentor", {u"cmd", u"arg"}, VT_I4},
        {u"CanAdminister", u"_CanAdminister", {u"PrinterName"}, VT_I4},
        {u"SaveBinFile", u"_SaveBinFile", {u"fs", u"data"}, VT_EMPTY},
        {u"SaveAppend", u"_SaveAppend", {u"fs", u"data"}, VT_EMPTY},
        {u"GetMACAddress", u"_GetMACAddress", {}, VT_BSTR},
        {u"ActiveXCheck", u"_ActiveXCheck", {u"FileName", u"CLSID"}, VT_I4},
        {u"doEndProcess", u"_doEndProcess", {u"v"}, VT_EMPTY},
        {u"PrintOnly", u"_PrintOnly", {u"v"}, VT_EMPTY},
        {u"mFindText", u"_FindText", {u"v"}, VT_EMPTY},
        {u"EscapeExit", u"_EscapeExit", {u"v"}, VT_EMPTY},
        {u"ExitKeyPress", u"_ExitKeyPress", {u"v"}, VT_EMPTY},
        {u"LockKeyboard", u"_LockKeyboard", {u"v"}, VT_EMPTY},
        {u"FindCtrlP", u"_FindCtrlP", {}, VT_I4},
        {u"FindExitKeyPress", u"_FindExitKeyPress", {}, VT_I4},
        {u"GetClearTypeFont", u"_GetClearTypeFont", {}, VT_I4},
        {u"WindowShow", u"_WindowShow", {u"handler", u"mode"}, VT_EMPTY},
    };
    struct Expected {
        std::u16string name;
        std::vector<std::u16string> params;
        VarType result;
    };
    std::vector<Expected> expected = {{u"ReleaseCOM", {}, VT_EMPTY}, {u"InitializeCOM", {}, VT_I4}};
    for (const auto& p : pairs) {
        expected.push_back({p.privateName, p.params, p.result});
        expected.push_back({p.publicName, p.params, p.result});
    }
    ASSERT_EQ(info->members.size(), 62u);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const MemberInfo& m = info->members[i];
        const std::string which = platform::text::toUtf8(expected[i].name);
        EXPECT_EQ(m.id, DispId(i + 1)) << which;
        EXPECT_EQ(m.name, expected[i].name);
        EXPECT_EQ(m.kind, unsigned(DISPATCH_METHOD)) << which;
        EXPECT_EQ(m.result, expected[i].result) << which;
        std::vector<std::u16string> params;
        for (const auto& p : m.params) params.push_back(p.name);
        EXPECT_EQ(params, expected[i].params) << which;
        EXPECT_EQ(m.help, u"메서드 " + expected[i].name);
    }
}

TEST(BrokerPrivate, TextResultsMakeARoundTripThroughTheAnsiCodePage) {
    platform::testing::TempMachine machine;
    registerLibrary(KESTRUM_LIBRARY);
    auto uac = std::make_shared<UAC>();
    const struct {
        std::u16string folder, expected;
    } cases[] = {
        {u"임시", u"임시"},     // in the code page: kept
        {u"t\u0E01x", u"t?x"},  // not in it: replaced
    };
    for (const auto& c : cases) {
        const fs::path dir = machine.path() / fs::path(c.folder);
        fs::create_directories(dir);
        ScopedEnv tmp("TMPDIR", dir.c_str());
        EXPECT_EQ(call(*uac, u"_GetTempFolder").toText(),
                  fs::path(machine.path()).u16string() + u"/" + c.expected + u"/");
    }
}

TEST(BrokerPrivate, WithoutThePrivilegedClassNothingIsDone) {
    platform::testing::TempMachine machine;
    auto uac = std::make_shared<UAC>();
    EXPECT_EQ(call(*uac, u"_GetTempFolder").toText(), u"");
    EXPECT_EQ(call(*uac, u"_PrintQuality", {Variant(std::int32_t(300)), Variant(u"P1")}).toI4(), 0);
    EXPECT_EQ(call(*uac, u"_Version").toText(), u"");
}

}  // namespace
