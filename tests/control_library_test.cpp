// The control library as hosts use it: libVistrel.so registered in a temporary machine folder,
// created by ProgID through the COM layer, its events delivered to a host's sink by DISPID,
// its widget placed on a form; and the parameter text that the issuing server keeps after a
// set-up request ("CE00"), encrypted by the real message cipher library, read back into the
// settings, in process and through comcall.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <fstream>

#include "lib/initool/initool.h"
#include "platform/com/control.h"
#include "platform/com/events.h"
#include "platform/com/runtime.h"
#include "platform/registry/registry.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"
#include "server/issue.h"
#include "viewer/control/viewer.h"
#include "viewer/state/module_state.h"
#include "viewer/subclass/subclass.h"
#include "viewer/tests/viewer_fixture.h"
#include "viewer/timer/timer.h"

using namespace platform::com;
using platform::testing::runProgram;
namespace text = platform::text;
namespace fs = std::filesystem;
namespace server = tessel::server;

namespace {

// A Korean title with a syllable only code page 949 holds ("똠"), as the server's INI gives it.
const std::u16string kTitle = u"똠방각하 주민등록표 등본";

class FixedClock : public tessel::Clock {
  public:
    tessel::LocalTime now() const override {
        tessel::LocalTime t;
        t.tm.tm_year = 126;
        t.tm.tm_mon = 11;
        t.tm.tm_mday = 10;
        return t;
    }
    std::int64_t steadyMilliseconds() const override { return 0; }
};

class ControlLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        auto ciphra = runProgram(REGSVR, {CIPHRA_LIBRARY});
        ASSERT_EQ(ciphra.exitCode, 0) << ciphra.err;
    }
    void TearDown() override { vistrel::resetModuleState(); }

    void registerVistrel(const std::string& library = VISTREL_LIBRARY) {
        auto reg = runProgram(REGSVR, {library});
        ASSERT_EQ(reg.exitCode, 0) << reg.err;
    }

    // The parameter text the server keeps after "CE00": its prefix and the cipher text.
    std::u16string serverParamText(
        const std::vector<std::pair<std::u16string, std::u16string>>& ini,
        std::u16string_view body) {
        tessel::iniTool tool;
        tool.FileName(text::fromUtf8((machine.path() / "server.ini").string()));
        for (const auto& [key, value] : ini) tool.WriteValue(u"CERTPARAM", key, value);
        server::ServerSettings settings = server::readSettings(tool, u"/opt/tessel");
        FixedClock clock;
        server::ComParamCipher cipher;
        server::IssueState issue;
        server::IssueRequests requests(issue, cipher, clock);
        EXPECT_EQ(requests.FSetupIssue(std::u16string(body), settings),
                  server::IssueRequests::Outcome::Done)
            << text::toUtf8(issue.errorMessage);
        EXPECT_TRUE(issue.paramCipherText.starts_with(server::kParamCipherPrefix));
        return issue.paramCipherText;
    }

    platform::testing::TempMachine machine;
};

}  // namespace

// The viewer built into this test, driven through its dispatch interface in the server's order.
TEST_F(ControlLibrary, TheServersParameterTextBecomesTheSettings) {
    const std::u16string param = serverParamText(
        {{u"WinTitle", kTitle}, {u"Server", u"http://issue.example"}, {u"PrintOnly", u"1"}},
        u"{\"pages\":1,\"usedefaultprinter\":\"1\",\"ExceptPrinterDriver\":\"한글 "
        u"드라이버$$$HP\"}");
    auto viewer = std::make_shared<vistrel::Viewer>();
    put(*viewer, u"ServerCA", Variant(u""));
    call(*viewer, u"Initialize");
    put(*viewer, u"param", Variant(param));
    put(*viewer, u"charset", Variant(u"utf-8"));

    const auto& settings = vistrel::viewerState().settings;
    const auto& print = vistrel::printSettings();
    EXPECT_EQ(text::toUtf8(settings.wintitle), text::toUtf8(kTitle));
    EXPECT_EQ(settings.server, u"http://issue.example/");
    EXPECT_EQ(settings.printno, 1);
    EXPECT_TRUE(print.IsPrintOnly);
    EXPECT_TRUE(print.AccessAll);
    EXPECT_FALSE(print.UseIntranet);
    EXPECT_TRUE(print.UseDefaultPrinter);
    EXPECT_EQ(print.ExceptDriverList, (std::vector<std::u16string>{u"한글 드라이버", u"HP"}));
    EXPECT_EQ(vistrel::viewerState().charset, u"utf-8");
}

// The text the server puts before each issue's own parameter text gives the printer settings
// their start values and leaves every other setting as the last issue left it.
TEST_F(ControlLibrary, TheServersResetTextClearsOnlyThePrinterSettings) {
    const std::u16string param = serverParamText(
        {{u"WinTitle", kTitle}},
        u"{\"pages\":1,\"usedefaultprinter\":\"1\",\"ExceptPrinterDriver\":\"HP$$$PDF\"}");
    auto viewer = std::make_shared<vistrel::Viewer>();
    call(*viewer, u"Initialize");
    put(*viewer, u"param", Variant(param));
    ASSERT_TRUE(vistrel::printSettings().UseDefaultPrinter);
    ASSERT_EQ(vistrel::printSettings().ExceptDriverList.size(), 2u);

    put(*viewer, u"param", Variant(server::PrinterSettingsResetText()));
    EXPECT_FALSE(vistrel::printSettings().UseDefaultPrinter);
    EXPECT_TRUE(vistrel::printSettings().ExceptDriverList.empty());
    EXPECT_TRUE(vistrel::printSettings().AccessAll);
    EXPECT_EQ(text::toUtf8(vistrel::viewerState().settings.wintitle), text::toUtf8(kTitle));
}

// A number from the server's INI that does not fit its setting costs only that setting: the
// entries the server appends last still apply.
TEST_F(ControlLibrary, AnOverflowingIniNumberLeavesTheServersLastEntriesApplied) {
    const std::u16string param = serverParamText(
        {{u"WinTitle", kTitle}, {u"SaveRDF", u"40000"}},
        u"{\"pages\":1,\"usedefaultprinter\":\"1\",\"ExceptPrinterDriver\":\"한글 드라이버\"}");
    auto viewer = std::make_shared<vistrel::Viewer>();
    call(*viewer, u"Initialize");
    put(*viewer, u"param", Variant(param));
    EXPECT_EQ(vistrel::viewerState().settings.SaveRDF, 0);
    EXPECT_TRUE(vistrel::printSettings().UseDefaultPrinter);
    EXPECT_EQ(vistrel::printSettings().ExceptDriverList,
              std::vector<std::u16string>{u"한글 드라이버"});
}

// comcall drives the registered library headless: several members on one object, and the
// library's step log shows the settings it read.
TEST_F(ControlLibrary, ComcallDecodesTheServersParameterText) {
    const std::u16string param = serverParamText({{u"WinTitle", kTitle}, {u"SaveRDF", u"40000"}},
                                                 u"{\"pages\":1,\"usedefaultprinter\":\"1\"}");
    // A copy of the library with a "logs" folder beside it, so its log stays in the machine.
    const fs::path lib = machine.path() / "lib";
    fs::create_directories(lib / "logs");
    fs::copy_file(VISTREL_LIBRARY, lib / "libVistrel.so");
    registerVistrel((lib / "libVistrel.so").string());
    setenv("TESSEL_VISTREL_LOG", "1", 1);
    auto run = runProgram(COMCALL, {"Vistrel.Viewer", "Initialize", "--", "param",
                                    text::toUtf8(param), "--", "PageTotal", "--", "Version"});
    unsetenv("TESSEL_VISTREL_LOG");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "\n\n0\n" + text::toUtf8(vistrel::libraryVersion()) + "\n");

    std::string log;
    for (const auto& entry : fs::directory_iterator(lib / "logs"))
        log += vistrel::testing::slurp(entry.path());
    EXPECT_NE(log.find("wintitle = " + text::toUtf8(kTitle) + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Param 속성 분석 오류 [Overflow]"), std::string::npos);
    EXPECT_NE(log.find("usedefaultprinter = 1\r\n"), std::string::npos);
    EXPECT_NE(log.find("Param 속성 분석 완료"), std::string::npos);
}

// The library's other public classes register with it and answer through comcall.
TEST_F(ControlLibrary, SubclassAndTimerClassesAreRegisteredWithTheLibrary) {
    registerVistrel();
    // Each class has its one ProgID, the project name and the class name, and no numbered one.
    namespace registry = platform::registry;
    using registry::Root;
    const std::pair<std::u16string, Guid> classes[] = {
        {u"Vistrel.Viewer", vistrel::CLSID_Viewer},
        {u"Vistrel.CTimer", vistrel::CLSID_CTimer},
        {u"Vistrel.GSubclass", vistrel::CLSID_GSubclass}};
    for (const auto& [progId, clsid] : classes) {
        const std::u16string key = u"CLSID\\" + clsid.str();
        EXPECT_EQ(registry::getString(Root::ClassesRoot, progId + u"\\CLSID"), clsid.str());
        EXPECT_EQ(registry::getString(Root::ClassesRoot, key + u"\\ProgID"), progId);
        EXPECT_FALSE(registry::keyExists(Root::ClassesRoot, progId + u".1"));
        EXPECT_FALSE(registry::keyExists(Root::ClassesRoot, key + u"\\VersionIndependentProgID"));
        EXPECT_EQ(registry::getString(Root::ClassesRoot, key + u"\\TypeLib"),
                  vistrel::LIBID_Vistrel.str());
    }
    EXPECT_TRUE(registry::keyExists(Root::ClassesRoot,
                                    u"CLSID\\" + vistrel::CLSID_Viewer.str() + u"\\Control"));
    auto timer = runProgram(COMCALL, {"Vistrel.CTimer", "Interval"});
    ASSERT_EQ(timer.exitCode, 0) << timer.err;
    EXPECT_EQ(timer.out, "0\n");
    auto subclass = runProgram(COMCALL, {"Vistrel.GSubclass", "CurrentMessage"});
    ASSERT_EQ(subclass.exitCode, 0) << subclass.err;
    EXPECT_EQ(subclass.out, "0\n");
}

// A page file must be a regular file of a page's size: a named pipe without a writer, an
// endless device, a folder and an oversized file are refused unread, at once.
TEST_F(ControlLibrary, OpenImageRefusesPipesDevicesFoldersAndOversizedFiles) {
    registerVistrel();
    const fs::path pipe = machine.path() / "pipe.bmp", huge = machine.path() / "huge.bmp";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::ofstream(huge, std::ios::binary) << "BM";
    fs::resize_file(huge, vistrel::kPageFileLimit + 1);  // sparse
    for (const fs::path& file : {pipe, fs::path("/dev/zero"), machine.path(), huge}) {
        SCOPED_TRACE(file.string());
        auto open = runProgram(COMCALL, {"Vistrel.Viewer", "OpenImage", file.string(), "", "1",
                                         "100", "--", "PageTotal"});
        ASSERT_EQ(open.exitCode, 0) << open.err;
        EXPECT_EQ(open.out, "\n0\n");
    }
}

// The registered library as a form hosts it: events reach the host's sink by DISPID through
// the connection point, and the control hands over its widget.
TEST_F(ControlLibrary, EventsReachTheHostsSinkAndTheWidgetIsHanded) {
    int argc = 1;
    char name[] = "control_library_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    registerVistrel();
    auto viewer = createObject(u"Vistrel.Viewer");
    ASSERT_TRUE(viewer);

    auto container = query<ConnectionPointContainer>(viewer);
    ASSERT_TRUE(container);
    std::vector<std::string> events;
    QEventLoop loop;
    auto sink = std::make_shared<SinkDispatch>();
    sink->on(vistrel::event::DownloadStarted,
             [&](auto& a) { events.push_back("started " + text::toUtf8(a[0].toText())); })
        .on(vistrel::event::DownloadError, [&](auto&) { events.push_back("error"); })
        .on(vistrel::event::DownloadComplete, [&](auto& a) {
            events.push_back("complete " + text::toUtf8(a[0].toText()));
            loop.quit();
        });
    std::uint32_t cookie = 0;
    ASSERT_EQ(container->Advise(vistrel::DIID___Viewer, sink, cookie), S_OK);

    const fs::path source = machine.path() / "source.bin";
    const fs::path target = machine.path() / "target.bin";
    std::ofstream(source, std::ios::binary) << "downloaded bytes";
    std::ofstream(target, std::ios::binary) << "an older, longer file in the way";
    const std::string url = "file://" + source.string();
    ASSERT_TRUE(call(*viewer, u"BeginDownload",
                     {Variant(text::fromUtf8(url)), Variant(text::fromUtf8(target.string()))})
                    .toBool());
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);  // a guard against a hang only
    loop.exec();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.front(), "started " + target.string());
    EXPECT_EQ(events.back(), "complete 16");
    EXPECT_EQ(vistrel::testing::slurp(target), "downloaded bytes");

    auto view = query<ControlView>(viewer);
    ASSERT_TRUE(view);
    void* widget = nullptr;
    ASSERT_EQ(view->GetWidget(widget), S_OK);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(static_cast<QWidget*>(widget)->objectName(), "Viewer");
    EXPECT_NE(get(*viewer, u"hwnd").toI4(), 0);
    put(*viewer, u"Zoom", Variant(std::int32_t{300}));
    EXPECT_EQ(get(*viewer, u"Zoom").toI4(), 300);

    ASSERT_EQ(container->Unadvise(cookie), S_OK);
    viewer.reset();
    container.reset();
    view.reset();
}
