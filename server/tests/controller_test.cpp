#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "fakes.h"
#include "platform/system/storefile.h"
#include "platform/testing/request_frame.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"

using namespace tessel;
using namespace tessel::server;
using namespace tessel::server::testing;
using platform::testing::requestFrame;
namespace text = platform::text;
namespace net = platform::net;

namespace {

struct Reply {
    std::u16string text;
    std::u16string code, result, message;
    long declared = 0;
};

// Splits the bytes sent to a client into replies.
std::vector<Reply> replies(const std::string& bytes) {
    std::u16string all = text::fromAnsi(bytes);
    std::vector<Reply> out;
    std::size_t at = 0;
    while (at + 8 <= all.size()) {
        long length = std::stol(text::toUtf8(all.substr(at, 8)));
        Reply r;
        r.text = all.substr(at, static_cast<std::size_t>(length));
        r.declared = length;
        r.code = r.text.substr(35, 4);
        r.result = r.text.substr(39, 2);
        r.message = r.text.substr(41);
        out.push_back(r);
        at += static_cast<std::size_t>(length);
    }
    return out;
}

class Controller : public ::testing::Test {
  protected:
    void writeIni(const std::string& content) {
        std::ofstream(machine.path() / "TesselServer.ini", std::ios::binary) << content;
    }
    std::u16string iniValue(const char16_t* section, const char16_t* key) {
        iniTool ini;
        ini.FileName(text::fromUtf8((machine.path() / "TesselServer.ini").string()));
        return ini.GetValue(section, key, u"<none>");
    }
    ServerController& make() {
        ProgramInfo info;
        info.programFolder = text::fromUtf8(machine.path().string());
        info.programName = u"TesselServer";
        info.iniPath = text::fromUtf8((machine.path() / "TesselServer.ini").string());
        controller = std::make_unique<ServerController>(
            info,
            ServerController::Services{sockets, view, tray, boxes, clock, cipher, viewer, program});
        return *controller;
    }
    ServerController& started() {
        make();
        EXPECT_TRUE(controller->start());
        return *controller;
    }
    std::vector<Reply> exchange(const std::string& bytes) {
        sockets.receive(1, bytes);
        return replies(sockets.takeSent(1));
    }
    bool logged(std::u16string_view part) const {
        for (const auto& line : controller->log().lines())
            if (line.find(part) != std::u16string::npos) return true;
        return false;
    }

    platform::testing::TempMachine machine;
    FakeSockets sockets;
    FakeView view;
    platform::ui::HeadlessTrayIcon tray;
    platform::ui::HeadlessMessageBoxes boxes{false};
    FixedClock clock;
    FakeCipher cipher;
    FakeViewer viewer;
    FakeProgram program;
    std::unique_ptr<ServerController> controller;
};

}  // namespace

TEST_F(Controller, StartsWithoutAnIniOnTheDefaults) {
    auto& c = started();
    ASSERT_EQ(sockets.listenCalls.size(), 1u);
    EXPECT_EQ(sockets.listenCalls[0].ip, u"127.0.0.1");
    EXPECT_EQ(sockets.listenCalls[0].port, 9900);
    EXPECT_EQ(iniValue(u"SYSTEM", u"LocalIP"), u"127.0.0.1");
    EXPECT_EQ(c.stateCode(), u"00");
    EXPECT_FALSE(view.visible);
    EXPECT_TRUE(tray.shown());
    EXPECT_EQ(tray.tip(), u"TesselServer,127.0.0.1,9900");
    EXPECT_EQ(view.caption, u"TesselServer Ver.1.0.0 ");
    EXPECT_EQ(view.listening, net::sckListening);
    EXPECT_TRUE(logged(u"Tessel 소켓 기동,0"));
}

TEST_F(Controller, TrayAndWindow) {
    writeIni("[SYSTEM]\nTRAYICON=0\n");
    started();
    EXPECT_TRUE(view.visible);
    controller->closeWindow();
    EXPECT_FALSE(view.visible);
    EXPECT_TRUE(tray.shown());
    tray.doubleClick();
    EXPECT_TRUE(view.visible);
    EXPECT_FALSE(tray.choose(u"열기"));  // hidden entry
    EXPECT_TRUE(tray.choose(u"닫기"));
    EXPECT_EQ(program.exitCodes, std::vector<int>{0});
    EXPECT_FALSE(tray.shown());
    EXPECT_EQ(sockets.State(0), net::sckClosed);
}

// A window hidden at start is reached through the tray icon; without a system tray it is shown
// instead, and the log says why. TRAYICON other than "1" shows it anyway.
TEST_F(Controller, WithoutASystemTrayTheWindowIsShown) {
    struct Case {
        const char* ini;
        bool trayAvailable;
        bool visible;
        bool logged;
    } cases[] = {
        {"", true, false, false},
        {"", false, true, true},
        {"[SYSTEM]\nTRAYICON=1\n", false, true, true},
        {"[SYSTEM]\nTRAYICON=0\n", false, true, false},
        {"[SYSTEM]\nTRAYICON=0\n", true, true, false},
    };
    for (const auto& c : cases) {
        writeIni(c.ini);
        tray.setTrayAvailable(c.trayAvailable);
        view.visible = false;
        started();
        EXPECT_EQ(view.visible, c.visible) << c.ini << c.trayAvailable;
        EXPECT_EQ(logged(u"시스템 트레이가 없어"), c.logged) << c.ini << c.trayAvailable;
        EXPECT_TRUE(tray.shown());
        controller.reset();
    }
}

// The first start writes LocalIP into the new INI file. When the disk takes no more, no file
// is left (neither a half written one nor the empty one made for it), the failure is logged and
// the server listens on the address it meant to write.
TEST_F(Controller, AFailedFirstWriteOfTheIniIsLoggedAndLeavesNoHalfFile) {
    platform::system::setStoreWriteFault([](const std::filesystem::path&) { return ENOSPC; });
    started();
    platform::system::setStoreWriteFault({});
    EXPECT_TRUE(logged(u"LocalIP=127.0.0.1 을 ")) << text::toUtf8(controller->log().lines().back());
    EXPECT_TRUE(logged(u"쓸 수 없습니다"));
    EXPECT_TRUE(logged(u"the empty file made for it is removed"));
    EXPECT_FALSE(std::filesystem::exists(machine.path() / "TesselServer.ini"));
    ASSERT_EQ(sockets.listenCalls.size(), 1u);
    EXPECT_EQ(sockets.listenCalls[0].ip, u"127.0.0.1");
    // With room again the next start writes it whole.
    controller.reset();
    started();
    EXPECT_EQ(iniValue(u"SYSTEM", u"LocalIP"), u"127.0.0.1");
    EXPECT_FALSE(logged(u"쓸 수 없습니다"));
}

TEST_F(Controller, UnavailableAddressFallsBackOnceToLoopback) {
    writeIni("[SYSTEM]\nLocalIP=192.0.2.1\nPORT=9911\n");
    sockets.listenErrors = {net::sckAddressNotAvailable};
    auto& c = started();
    ASSERT_EQ(sockets.listenCalls.size(), 2u);
    EXPECT_EQ(sockets.listenCalls[0].ip, u"192.0.2.1");
    EXPECT_EQ(sockets.listenCalls[1].ip, u"127.0.0.1");
    EXPECT_EQ(sockets.listenCalls[1].port, 9911);
    EXPECT_EQ(iniValue(u"SYSTEM", u"LocalIP"), u"127.0.0.1");
    EXPECT_EQ(c.address(), u"127.0.0.1");
    EXPECT_FALSE(c.ended());
    EXPECT_TRUE(logged(u"LocalIP를 127.0.0.1로 바꿨습니다"));
}

TEST_F(Controller, SecondUnavailableAddressEndsWithAMessageBox) {
    writeIni("[SYSTEM]\nLocalIP=192.0.2.1\n");
    sockets.listenErrors = {net::sckAddressNotAvailable, net::sckAddressNotAvailable};
    make();
    EXPECT_FALSE(controller->start());
    EXPECT_EQ(sockets.listenCalls.size(), 2u);
    EXPECT_EQ(program.exitCodes, std::vector<int>{3});
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_NE(boxes.shown()[0].text.find(u"10049"), std::u16string::npos);
}

TEST_F(Controller, PortInUseEndsTheProgram) {
    sockets.listenErrors = {net::sckAddressInUse};
    make();
    EXPECT_FALSE(controller->start());
    EXPECT_EQ(sockets.listenCalls.size(), 1u);
    EXPECT_EQ(program.exitCodes, std::vector<int>{2});
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(Controller, BadPortsAndLevelsFallBackToDefaults) {
    for (const char* port : {"abc", "0", "70000", "-1", "99 00"}) {
        sockets.listenCalls.clear();
        writeIni(std::string("[SYSTEM]\nPORT=") + port + "\nLogLevel=x\n");
        auto& c = started();
        ASSERT_FALSE(sockets.listenCalls.empty()) << port;
        EXPECT_EQ(sockets.listenCalls.back().port, 9900) << port;
        EXPECT_TRUE(logged(u"PORT")) << port;
        EXPECT_EQ(c.settings().logLevel, 1);
    }
}

TEST_F(Controller, ReloadKeepsTheAddressButtonReadsItAgain) {
    writeIni("[SYSTEM]\nLocalIP=127.0.0.1\nPORT=9901\n");
    started();
    sockets.connect();
    writeIni("[SYSTEM]\nLocalIP=127.0.0.2\nPORT=9902\n");
    EXPECT_TRUE(exchange(requestFrame("CE90")).empty());  // no reply
    EXPECT_EQ(sockets.listenCalls.back().ip, u"127.0.0.1");
    EXPECT_EQ(sockets.listenCalls.back().port, 9902);
    EXPECT_FALSE(sockets.exists(1));  // the client was disconnected
    EXPECT_FALSE(logged(u"<<"));      // the log list was emptied
    controller->reloadButton();
    EXPECT_EQ(sockets.listenCalls.back().ip, u"127.0.0.2");
}

// Asked to, the listening at start-up takes a port the system picks, through the fall-back to
// loopback as well, and the report hears each port listened on; the start button and a reload
// take the configured port again.
TEST_F(Controller, AnyPortAtStartIsReportedAndLaterListeningTakesTheConfiguredOne) {
    writeIni("[SYSTEM]\nLocalIP=192.0.2.1\nPORT=9911\n");
    sockets.listenErrors = {net::sckAddressNotAvailable};
    sockets.systemPort = 41234;
    make();
    std::vector<int> reported;
    controller->listenOnAnyPort([&](int port) { reported.push_back(port); });
    ASSERT_TRUE(controller->start());
    ASSERT_EQ(sockets.listenCalls.size(), 2u);
    EXPECT_EQ(sockets.listenCalls[0].port, 0);
    EXPECT_EQ(sockets.listenCalls[1].ip, u"127.0.0.1");
    EXPECT_EQ(sockets.listenCalls[1].port, 0);
    EXPECT_EQ(reported, std::vector<int>{41234});
    EXPECT_EQ(tray.tip(), u"TesselServer,127.0.0.1,41234");

    controller->stopListening();
    controller->startListening();
    EXPECT_EQ(sockets.listenCalls.back().port, 41234);  // the port box holds the port taken
    writeIni("[SYSTEM]\nLocalIP=127.0.0.1\nPORT=9902\n");
    controller->reloadButton();
    EXPECT_EQ(sockets.listenCalls.back().port, 9902);
    EXPECT_EQ(reported, (std::vector<int>{41234, 41234, 9902}));
}

TEST_F(Controller, OneClientAtATime) {
    started();
    sockets.connect(1);
    sockets.connect(2);
    EXPECT_TRUE(logged(u"Client 접속초과, requestID = 2"));
    EXPECT_TRUE(logged(u"Client(1) 접속, requestID = 1"));
    sockets.events->Close(1);
    EXPECT_TRUE(logged(u"Client(1) 접속해제....[Ok]"));
    sockets.connect(3);
    EXPECT_TRUE(logged(u"Client(1) 접속, requestID = 3"));
}

TEST_F(Controller, RepliesToEachCommand) {
    started();
    sockets.connect();
    struct Case {
        std::string frame;
        const char16_t* code;
        const char16_t* result;
        const char16_t* message;
    } cases[] = {
        {requestFrame("CE09"), u"CE09", u"00", u""},
        {requestFrame("ce09"), u"ce09", u"00", u""},
        {requestFrame("CE91"), u"CE91", u"00", u"1.0.0.6"},
        {requestFrame("CE55"), u"CE55", u"60", u"1.0.0.6"},
        {requestFrame("CE30"), u"CE30", u"00", u"01"},
        {requestFrame("Ce40"), u"Ce40", u"00", u"01"},
        {requestFrame("CE00", "{\"pages\":1}"), u"CE00", u"00", u"01"},
        {requestFrame("CE01", "0001,AAAA"), u"CE01", u"00", u"01"},
        {requestFrame("CE02"), u"CE02", u"02", u"01"},
        {requestFrame("CE09"), u"CE09", u"01", u""},
    };
    for (const auto& c : cases) {
        auto r = exchange(c.frame);
        ASSERT_EQ(r.size(), 1u) << c.frame;
        EXPECT_EQ(r[0].code, c.code) << c.frame;
        EXPECT_EQ(r[0].result, c.result) << c.frame;
        EXPECT_EQ(r[0].message, c.message) << c.frame;
        EXPECT_EQ(r[0].declared, static_cast<long>(r[0].text.size()));
        EXPECT_EQ(r[0].text.substr(8, 27), u"SMATM00120200302090503007CI");
    }
    EXPECT_EQ(viewer.hidden, 2);
    EXPECT_EQ(controller->issue().pageImageList.text(), u"AAAA,");
    EXPECT_TRUE(logged(u"뷰어를 사용할 수 없어"));
    EXPECT_TRUE(logged(u"1 << 39,00000039SMATM001"));
    EXPECT_TRUE(logged(u"1 >> 00000041SMATM00120200302090503007CICE0901"));
}

TEST_F(Controller, PollOf39CharactersGetsA41CharacterReply) {
    started();
    sockets.connect();
    auto r = exchange(requestFrame("CE09"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].text, u"00000041SMATM00120200302090503007CICE0900");
}

TEST_F(Controller, FailedSetUpAnswers02AndCountsCharactersNotBytes) {
    started();
    sockets.connect();
    auto r = exchange(requestFrame("CE00", "[1,2]"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].result, u"02");
    EXPECT_EQ(r[0].message, u";설정 요청의 본문이 JSON 개체가 아닙니다.");
    // The length counts characters: each Korean letter is one, though two bytes on the wire.
    EXPECT_EQ(r[0].declared, 41 + static_cast<long>(r[0].message.size()));
    EXPECT_EQ(r[0].text.size(), static_cast<std::size_t>(r[0].declared));
    EXPECT_EQ(controller->stateCode(), u"00");

    writeIni("[SYSTEM]\nSendErrmsg=0\n");
    controller->reloadButton();
    sockets.connect();
    r = exchange(requestFrame("CE00", "nope"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].result, u"02");
    EXPECT_EQ(r[0].message, u";");
}

TEST_F(Controller, SplitCoalescedAndBrokenFrames) {
    started();
    sockets.connect();
    std::string poll = requestFrame("CE09");
    // Split after 10 characters: waits, then answers.
    EXPECT_TRUE(exchange(poll.substr(0, 10)).empty());
    EXPECT_EQ(exchange(poll.substr(10)).size(), 1u);
    // Two frames in one arrival: two replies, in order.
    auto r = exchange(requestFrame("CE00", "{}") + requestFrame("CE09"));
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].code, u"CE00");
    EXPECT_EQ(r[1].code, u"CE09");
    EXPECT_EQ(r[1].result, u"01");
    // A bad header closes the client without a reply.
    EXPECT_TRUE(exchange("GET / HTTP/1.1\r\n\r\n").empty());
    EXPECT_FALSE(sockets.exists(1));
    EXPECT_TRUE(logged(u"1 [Connect Error] 18,35"));
}

TEST_F(Controller, TheBufferDoesNotOutliveItsConnection) {
    started();
    sockets.connect(1);
    std::string poll = requestFrame("CE09");
    sockets.receive(1, poll.substr(0, 20));
    sockets.events->Close(1);
    sockets.connect(2);
    auto r = exchange(poll);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].code, u"CE09");
}

TEST_F(Controller, OversizeFramesAndPageListsCloseTheClient) {
    writeIni("[SYSTEM]\nMaxFrameLength=100\nMaxPageListLength=50\n");
    started();
    sockets.connect();
    EXPECT_TRUE(exchange(requestFrame("CE01", "0001," + std::string(200, 'A'))).empty());
    EXPECT_FALSE(sockets.exists(1));
    EXPECT_TRUE(logged(u"100자를 넘습니다"));

    sockets.connect();
    EXPECT_EQ(exchange(requestFrame("CE01", "0001," + std::string(30, 'A'))).size(), 1u);
    EXPECT_TRUE(exchange(requestFrame("CE01", "0001," + std::string(30, 'B'))).empty());
    EXPECT_FALSE(sockets.exists(1));
    EXPECT_EQ(controller->issue().pageImageList.text(), std::u16string(30, u'A') + u",");
}

TEST_F(Controller, SetUpUsesTheCertificateSettings) {
    writeIni("[CERTPARAM]\nWinTitle=한글 제목\nZoom=1|x==1\n");
    started();
    sockets.connect();
    auto r = exchange(requestFrame("CE00", "{\"usedefaultprinter\":\"1\"}"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].result, u"00");
    ASSERT_EQ(cipher.calls.size(), 1u);
    EXPECT_NE(cipher.calls[0].plain.find(u"|WinTitle==한글 제목|"), std::u16string::npos);
    // A setting holding the separators is refused at load and its default used.
    EXPECT_NE(cipher.calls[0].plain.find(u"|Zoom==100|"), std::u16string::npos);
    EXPECT_TRUE(cipher.calls[0].plain.ends_with(u"|usedefaultprinter==1|"));
    EXPECT_EQ(controller->issue().paramCipherText.substr(0, 13), u"1Velmora/DES|");
}

TEST_F(Controller, SetUpRereadsTheHostGroupOnlyWhenInitReloadIsOn) {
    for (const char* initReload : {"1", "0"}) {
        writeIni(std::string("[SYSTEM]\nInitReload=") + initReload +
                 "\n[XML]\nURLPATH=http://a/\n");
        started();
        sockets.connect();
        writeIni(std::string("[SYSTEM]\nInitReload=") + initReload +
                 "\n[XML]\nURLPATH=http://b/\n");
        ASSERT_EQ(exchange(requestFrame("CE00", "{}")).size(), 1u);
        EXPECT_EQ(controller->settings().layoutServer,
                  std::string(initReload) == "1" ? u"http://b/" : u"http://a/")
            << initReload;
    }
}

TEST_F(Controller, AFrameLeftUnfinishedTooLongClosesTheClient) {
    std::string poll = requestFrame("CE09");
    struct Case {
        const char* what;
        std::string ini;
        std::string part;          // sent at 0 s
        std::int64_t stillOpenAt;  // ms: a tick here leaves the client on
        std::int64_t closedAt;     // ms: a tick here closes it
    } cases[] = {
        {"default of 60 s", "", poll.substr(0, 20), 59999, 60000},
        {"0 is refused for the default", "[SYSTEM]\nIncompleteFrameTimeout=0\n", poll.substr(0, 20),
         59999, 60000},
        {"setting", "[SYSTEM]\nIncompleteFrameTimeout=5\n", poll.substr(0, 38), 4999, 5000},
        {"half a double-byte character", "[SYSTEM]\nIncompleteFrameTimeout=5\n", "\xB0", 4999,
         5000},
    };
    for (const auto& c : cases) {
        writeIni(c.ini);
        clock.steady = 1000;
        started();
        EXPECT_EQ(logged(u"IncompleteFrameTimeout 값이 잘못되어"),
                  c.ini.find("=0") != std::string::npos)
            << c.what;
        sockets.connect(1);
        EXPECT_TRUE(exchange(c.part).empty()) << c.what;
        clock.steady = 1000 + c.stillOpenAt;
        controller->timerTick();
        EXPECT_TRUE(sockets.exists(1)) << c.what;
        clock.steady = 1000 + c.closedAt;
        controller->timerTick();
        EXPECT_FALSE(sockets.exists(1)) << c.what;
        EXPECT_TRUE(logged(u"초 안에 완성되지 않아 접속을 끊습니다")) << c.what;
        // The slot is free and the old bytes are gone.
        sockets.connect(2);
        auto r = exchange(poll);
        ASSERT_EQ(r.size(), 1u) << c.what;
        EXPECT_EQ(r[0].code, u"CE09");
    }
}

// The idle time runs from the accept and from each answered frame, and stands still while the
// client's run is under way (the operator may take long in the printer selection).
TEST_F(Controller, AnIdleClientIsClosedUnlessItsRunIsUnderWay) {
    writeIni("[SYSTEM]\nIncompleteFrameTimeout=5\n");
    started();
    sockets.connect();
    viewer.installed = true;
    exchange(requestFrame("CE00", "{\"usedefaultprinter\":\"1\"}"));
    exchange(requestFrame("CE01", "0001,AAAA"));
    clock.steady += 4999;
    controller->timerTick();
    ASSERT_TRUE(sockets.exists(1));
    bool keptDuringRun = false;
    viewer.duringRun = [&] {
        clock.steady += 60000;
        controller->timerTick();
        keptDuringRun = sockets.exists(1);
    };
    auto r = exchange(requestFrame("CE02"));
    viewer.duringRun = nullptr;
    EXPECT_TRUE(keptDuringRun);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].result + r[0].message, u"0030");
    // Answered: silent from now on, it goes after the time-out.
    clock.steady += 4999;
    controller->timerTick();
    EXPECT_TRUE(sockets.exists(1));
    clock.steady += 1;
    controller->timerTick();
    EXPECT_FALSE(sockets.exists(1));
}

// Memory kept for the next issue goes back once nothing has been asked for the idle time: never
// while a run is under way, once per idle spell, and the time starts again with each request.
TEST_F(Controller, KeptMemoryGoesBackOnceTheServerIsIdle) {
    started();
    int givenBack = 0;
    controller->setMemoryGiveBack([&] { ++givenBack; });
    const std::int64_t idle = kIdleMemoryGiveBack * 1000;
    controller->timerTick();
    EXPECT_EQ(givenBack, 0) << "nothing was asked yet";
    sockets.connect();
    viewer.installed = true;
    exchange(requestFrame("CE00", "{\"usedefaultprinter\":\"1\"}"));
    exchange(requestFrame("CE01", "0001,AAAA"));
    clock.steady += idle - 1;
    controller->timerTick();
    EXPECT_EQ(givenBack, 0);
    int duringRun = -1;
    viewer.duringRun = [&] {
        clock.steady += 10 * idle;
        controller->timerTick();
        duringRun = givenBack;
    };
    exchange(requestFrame("CE02"));
    viewer.duringRun = nullptr;
    EXPECT_EQ(duringRun, 0) << "a run holds its memory however long it lasts";
    // The idle time runs from the end of the run.
    clock.steady += idle - 1;
    controller->timerTick();
    EXPECT_EQ(givenBack, 0);
    clock.steady += 1;
    controller->timerTick();
    EXPECT_EQ(givenBack, 1);
    clock.steady += 10 * idle;
    controller->timerTick();
    EXPECT_EQ(givenBack, 1) << "once per idle spell";
    // A poll is a request: it starts another spell.
    sockets.connect();
    exchange(requestFrame("CE09"));
    clock.steady += idle;
    controller->timerTick();
    EXPECT_EQ(givenBack, 2);
}

TEST_F(Controller, TheUnfinishedFrameTimeRunsFromEachFramesFirstByte) {
    writeIni("[SYSTEM]\nIncompleteFrameTimeout=10\n");
    started();
    sockets.connect();
    std::string poll = requestFrame("CE09");
    // An idle client with nothing pending stays for the time-out, no longer: it would hold the
    // only client slot.
    clock.steady += 9999;
    controller->timerTick();
    EXPECT_TRUE(sockets.exists(1));
    clock.steady += 1;
    controller->timerTick();
    EXPECT_FALSE(sockets.exists(1));
    EXPECT_TRUE(logged(u"10초 동안 요청이 없어 접속을 끊습니다."));
    sockets.connect();
    // A frame finished in time, then the next one begun in the same arrival: its own time
    // starts then.
    EXPECT_TRUE(exchange(poll.substr(0, 30)).empty());
    clock.steady += 9000;
    EXPECT_EQ(exchange(poll.substr(30) + poll.substr(0, 5)).size(), 1u);
    clock.steady += 9000;
    controller->timerTick();
    EXPECT_TRUE(sockets.exists(1));
    // More bytes of the same frame do not restart its time.
    clock.steady += 500;
    EXPECT_TRUE(exchange(poll.substr(5, 5)).empty());
    clock.steady += 500;
    controller->timerTick();
    EXPECT_FALSE(sockets.exists(1));
}

TEST_F(Controller, AClientThatClosedFreesTheSlotBeforeItsCloseEventComes) {
    started();
    sockets.connect(1);
    EXPECT_EQ(exchange(requestFrame("CE09")).size(), 1u);
    // The peer's end is closed; its close event is still on its way.
    sockets.elements[1].state = net::sckClosing;
    sockets.connect(2);
    EXPECT_TRUE(logged(u"Client(1) 접속, requestID = 2"));
    EXPECT_FALSE(logged(u"접속초과"));
    EXPECT_EQ(exchange(requestFrame("CE09")).size(), 1u);
    // The new client holds the slot like any other.
    sockets.connect(3);
    EXPECT_TRUE(logged(u"Client 접속초과, requestID = 3"));
}

namespace {

TEST_F(Controller, RunsMapPrintResultAndRefuseWhatCannotRun) {
    started();
    sockets.connect();
    viewer.installed = true;
    // Nothing set up: no run.
    auto r = exchange(requestFrame("CE02"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].result + r[0].message, u"0200");
    EXPECT_TRUE(viewer.runs.empty());

    struct Case {
        bool printer;
        std::optional<bool> result;
        std::optional<std::u16string> error;
        const char16_t* reply;
        const char16_t* state;
    } cases[] = {
        {true, true, {}, u"0030", u"30"},
        {true, false, {}, u"0231", u"31"},
        {false, true, {}, u"0201", u"01"},  // no printer: the state stays at its set-up value
        // An ErrorMsg from the viewer answers with its text, whatever PrintResult said.
        {true, {}, u"용지 없음", u"02용지 없음", u"40"},
        {true, true, u"용지 없음", u"02용지 없음", u"30"},
    };
    for (const auto& c : cases) {
        exchange(requestFrame("CE00", "{\"usedefaultprinter\":\"1\"}"));
        exchange(requestFrame("CE01", "0001,AAAA"));
        viewer.printer = c.printer;
        viewer.result = c.result;
        viewer.error = c.error;
        r = exchange(requestFrame("CE02"));
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].result + r[0].message, c.reply);
        r = exchange(requestFrame("CE09"));
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].result, c.state);
    }
    viewer.error.reset();
    ASSERT_EQ(viewer.runs.size(), 5u);
    EXPECT_EQ(viewer.runs[0].pageImageList, u"AAAA,");
    EXPECT_EQ(viewer.runs[0].clientTag, u"1");
    EXPECT_FALSE(viewer.runs[0].paramCipherText.empty());

    // A second run whose viewer never answers does not keep the last run's "printed".
    viewer.printer = true;
    viewer.result = true;
    exchange(requestFrame("CE02"));
    viewer.result.reset();
    r = exchange(requestFrame("CE02"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].result + r[0].message, u"0210");

    // While a run holds the event loop, polls are answered and new set-ups and runs refused
    // with "02" and the state of the moment: the state the run started from ("01" after a
    // set-up) while the viewer has no printer yet, "10" once it has one.
    exchange(requestFrame("CE00", "{\"usedefaultprinter\":\"1\"}"));
    exchange(requestFrame("CE01", "0001,AAAA"));
    viewer.result = true;
    std::vector<Reply> early, during;
    auto sendDuringRun = [&](std::vector<Reply>& into) {
        for (const char* code : {"CE09", "CE02", "CE00"}) {
            sockets.receive(1, requestFrame(code, std::string(code) == "CE00" ? "{}" : ""));
            for (auto& one : replies(sockets.takeSent(1))) into.push_back(one);
        }
    };
    viewer.beforePrinter = [&] { sendDuringRun(early); };
    viewer.duringRun = [&] { sendDuringRun(during); };
    const auto before = viewer.runs.size();
    r = exchange(requestFrame("CE02"));
    viewer.beforePrinter = nullptr;
    ASSERT_EQ(early.size(), 3u);
    EXPECT_EQ(early[0].result, u"01");
    EXPECT_EQ(early[1].result + early[1].message, u"0201");
    EXPECT_EQ(early[2].result + early[2].message, u"0201");
    ASSERT_EQ(during.size(), 3u);
    EXPECT_EQ(during[0].result, u"10");
    EXPECT_EQ(during[1].result + during[1].message, u"0210");
    EXPECT_EQ(during[2].result + during[2].message, u"0210");
    EXPECT_EQ(viewer.runs.size(), before + 1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].result + r[0].message, u"0030");
    // Hiding the viewer answers "01" whatever the state, and leaves the state as it is.
    r = exchange(requestFrame("CE30"));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].result + r[0].message, u"0001");
    EXPECT_EQ(controller->stateCode(), u"30");

    // A poll sent in the same read as the run waits in the buffer; it is answered from
    // within the run, not after it.
    std::string pollsDuring;
    viewer.duringRun = [&] {
        program.turn();
        pollsDuring = sockets.takeSent(1);
    };
    sockets.receive(1, requestFrame("CE02") + requestFrame("CE09"));
    r = replies(sockets.takeSent(1));
    const auto answered = replies(pollsDuring);
    ASSERT_EQ(answered.size(), 1u);
    EXPECT_EQ(answered[0].result, u"10");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].result + r[0].message, u"0030");
    program.turn();  // nothing is left to answer twice
    EXPECT_TRUE(sockets.takeSent(1).empty());
}

// The viewer form's notifications through the server's side: each one sets its state and
// flag, and with AUTOEVENTS the client in the form's tag gets "09" with the state, the name and
// the value, echoing the request code dispatched last.
TEST_F(Controller, ViewerNotificationsSetTheStateAndReachTheClientInTheTag) {
    writeIni("[SYSTEM]\nAUTOEVENTS=1\n");
    started();
    sockets.connect();
    ASSERT_EQ(exchange(requestFrame("CE09")).size(), 1u);

    ViewerForm form(clock);
    form.attach(&controller->viewerFormServices());
    int hidden = 0;
    form.hideForm = [&hidden] { ++hidden; };
    form.Form_Load();  // 09:05:03
    form.tag = u"1";
    clock.time.tm.tm_sec = 10;

    const struct {
        const char16_t* name;
        const char16_t* value;
        const char16_t* state;
    } cases[] = {
        {u"Viewer", u"LoadCompleted", u"10"},
        {u"PrintStart", u"x", u"20"},
        {u"Printing", u"", u"23"},
        {u"CertStr", u"abc", u"21"},
        {u"Serial", u"7", u"22"},
        {u"PrintOk", u"y", u"22"},
        {u"PrintAbort", u"", u"22"},
        {u"PrintError", u"35", u"35"},
        {u"PrintFail", u"", u"31"},
        {u"printfail", u"", u"31"},
        {u"Viewer", u"loadcompleted", u"31"},
        {u"Other", u"v", u"31"},
        {u"InitViewer", u"Ok", u"31"},
        {u"InitViewer", u"ok", u"31"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(text::toUtf8(c.name) + " " + text::toUtf8(c.value));
        form.notify(c.name, c.value);
        EXPECT_EQ(controller->stateCode(), c.state);
        auto r = replies(sockets.takeSent(1));
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].code, u"CE09");
        EXPECT_EQ(r[0].result, u"09");
        EXPECT_EQ(r[0].message, std::u16string(c.state) + c.name + u";" + c.value);
    }
    const IssueState& issue = controller->issue();
    EXPECT_TRUE(issue.loadCompleted);
    EXPECT_TRUE(issue.printStarted);
    EXPECT_TRUE(issue.printError);
    EXPECT_FALSE(issue.printed);
    EXPECT_EQ(view.status, u"7");  // seconds since the form was loaded
    EXPECT_EQ(hidden, 1);
    clock.time.tm.tm_sec = 3;
}

// The close step: "11" unless PrintResult came; with AUTOEVENTS the client in the tag gets
// "00" with the state and "PrintResult"; the form is hidden. Without AUTOEVENTS, a client in
// the tag or a request dispatched before, nothing is sent.
TEST_F(Controller, TheViewerFormsCloseStepReportsAMissingResult) {
    for (const char* autoEvents : {"1", "0"}) {
        SCOPED_TRACE(autoEvents);
        writeIni(std::string("[SYSTEM]\nAUTOEVENTS=") + autoEvents + "\n");
        started();
        ViewerForm form(clock);
        form.attach(&controller->viewerFormServices());
        int hidden = 0;
        form.hideForm = [&hidden] { ++hidden; };
        form.Form_Load();
        form.tag = u"1";
        sockets.connect();
        form.notify(u"PrintStart", u"");  // no request dispatched yet: no code to echo
        EXPECT_TRUE(sockets.takeSent(1).empty());
        ASSERT_EQ(exchange(requestFrame("CE09")).size(), 1u);

        form.closeStep();
        EXPECT_EQ(controller->stateCode(), u"11");
        EXPECT_EQ(hidden, 1);
        auto r = replies(sockets.takeSent(1));
        if (std::string(autoEvents) == "1") {
            ASSERT_EQ(r.size(), 1u);
            EXPECT_EQ(r[0].code, u"CE09");
            EXPECT_EQ(r[0].result, u"00");
            EXPECT_EQ(r[0].message, u"11PrintResult");
        } else {
            EXPECT_TRUE(r.empty());
        }

        exchange(requestFrame("CE09"));
        form.notify(u"Printing", u"");
        sockets.takeSent(1);
        form.PrintResult();
        form.closeStep();
        EXPECT_EQ(controller->stateCode(), u"23");
        sockets.takeSent(1);
        form.tag = u"2";  // no client there
        form.closeStep();
        EXPECT_TRUE(sockets.takeSent(1).empty());
        EXPECT_TRUE(sockets.takeSent(2).empty());
        controller.reset();
    }
}

}  // namespace
