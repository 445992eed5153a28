#include <gtest/gtest.h>

#include "fakes.h"
#include "platform/text/text.h"
#include "server/issue.h"
#include "server/loglist.h"
#include "server/paramstring.h"

#include <fstream>
#include <iterator>

#include "platform/testing/temp_machine.h"

using namespace tessel;
using namespace tessel::server;
using namespace tessel::server::testing;
namespace text = platform::text;

namespace {

ServerSettings defaults() {
    iniTool none;  // no file: every setting at its default
    return readSettings(none, u"/opt/tessel");
}

}  // namespace

TEST(ParamString, DefaultsGiveThe38EntriesInOrder) {
    FixedClock clock;
    std::u16string p = MakeParamString(defaults(), clock.now());
    auto entries = text::Split(p, u"|");
    ASSERT_EQ(entries.size(), 39u);
    EXPECT_EQ(entries.back(), u"");
    const char16_t* expected[] = {
        u"CertUrl==/opt/tessel/cert/tessel.der",
        u"SerialUrl==",
        u"Server==http://localhost:8080/tessel/",
        u"WinTitle==Quillon Enterprise 증명서",
        u"PrintNo==1",
        u"PrintRst==printrst.jsp",
        u"WatermarkUrl==http://localhost:8080/tessel/wmark.jsp",
        u"UpdateUrl==http://localhost:8080/tessel/updatelist.jsp",
        u"UseSpooler==1",
        u"AccessAll==1",
        u"UseNetworkPrinter==1",
        u"UsePostscriptPrinter==1",
        u"UseTcpIpPrinter==1",
        u"Intranet==0",
        u"Confirm==0",
        u"MaxPages==0",
        u"ShowTest==0",
        u"Signer==Velmora",
        u"TimeStamp==2020-03-02 09:05:03",
        u"Validity==600",
        u"PrintOnly==0",
        u"DescriptionUrl==",
        u"Exception==",
        u"IssueID20==0",
        u"XmlBarcode==1",
        u"SignPerPage==0",
        u"SinglePagePrint==0",
        u"SaveRDF==0",
        u"DrawBarcode==0",
        u"UseSessionXml==0",
        u"FindEnable==1",
        u"ServerCreatedID==0",
        u"Zoom==100",
        u"CharEncoding==",
        u"LayoutUrl==http://localhost:8080/tessel/layout.jsp",
        u"SameWatermark==0",
        u"PrintPerPage==0",
        u"PrintDeviceName==",
    };
    for (std::size_t i = 0; i < 38; ++i)
        EXPECT_EQ(text::toUtf8(entries[i]), text::toUtf8(expected[i])) << i;
}

TEST(ParamString, Base64UrlForm) {
    EXPECT_EQ(urlEncodeBase64(u"ab+c/d=="), u"ab%2Bc%2Fd==");
}

TEST(ParamString, CipherErrorTexts) {
    EXPECT_TRUE(isCipherErrorText(u"Encryption Error: Overflow"));
    EXPECT_TRUE(isCipherErrorText(u"Provider가 정의되어 있지 않습니다."));
    EXPECT_TRUE(isCipherErrorText(u"암호화 알고리즘 Velmora/Des이(가) 정의되어 있지 않습니다."));
    EXPECT_FALSE(isCipherErrorText(u"U1234Encryption Error: "));
}

class SetupRequest : public ::testing::Test {
  protected:
    SetupRequest() : requests(issue, cipher, clock) {
        issue.stateCode = u"30";
        issue.paramCipherText = u"OLD";
    }
    // The printer entries that went into the encrypted text (after the 38 entries).
    std::u16string extraOf(const FakeCipher::Call& call) {
        std::u16string base = MakeParamString(settings, clock.now());
        EXPECT_TRUE(call.plain.starts_with(base));
        return call.plain.substr(base.size());
    }

    FixedClock clock;
    FakeCipher cipher;
    IssueState issue;
    ServerSettings settings = defaults();
    IssueRequests requests;
};

TEST_F(SetupRequest, PrinterEntriesFollowThePagesRule) {
    struct Case {
        const char16_t* body;
        const char16_t* extra;
    } cases[] = {
        {u"{\"pages\":2,\"usedefaultprinter\":\"1\",\"ExceptPrinterDriver\":\"\"}",
         u"usedefaultprinter==1|"},
        {u"{\"pages\":\"abc\",\"usedefaultprinter\":\"1\"}", u""},
        {u"{\"pages\":null,\"usedefaultprinter\":\"1\"}", u""},
        {u"{\"pages\":[1],\"usedefaultprinter\":\"1\"}", u""},
        {u"{\"pages\":\" 3 \",\"usedefaultprinter\":1}", u"usedefaultprinter==1|"},
        {u"{\"usedefaultprinter\":\"1\",\"ExceptPrinterDriver\":\"PDF Writer,XPS\"}",
         u"usedefaultprinter==1|ExceptPrinterDriver==PDF Writer,XPS|"},
        {u"{\"pages\":true,\"usedefaultprinter\":true}", u"usedefaultprinter==True|"},
        {u"{\"usedefaultprinter\":null,\"ExceptPrinterDriver\":\"한글 드라이버\"}",
         u"ExceptPrinterDriver==한글 드라이버|"},
        {u"{\"UseDefaultPrinter\":\"1\"}", u""},  // keys keep their letter case
    };
    for (const auto& c : cases) {
        cipher.calls.clear();
        ASSERT_EQ(requests.FSetupIssue(c.body, settings), IssueRequests::Outcome::Done)
            << text::toUtf8(c.body);
        ASSERT_EQ(cipher.calls.size(), 1u);
        EXPECT_EQ(text::toUtf8(extraOf(cipher.calls[0])), text::toUtf8(c.extra))
            << text::toUtf8(c.body);
        EXPECT_EQ(cipher.calls[0].charset, u"");
        EXPECT_EQ(issue.stateCode, u"01");
        EXPECT_EQ(issue.paramCipherText, u"1Velmora/DES|<" + cipher.calls[0].plain + u">");
        EXPECT_EQ(issue.statusLabel, kIssueReadyLabel);
    }
}

TEST_F(SetupRequest, RefusedRequestsLeaveStateAndParameterTextAlone) {
    struct Case {
        const char16_t* body;
        bool reachesCipher;
    } cases[] = {
        {u"", false},
        {u"not json", false},
        {u"[{\"pages\":1}]", false},
        {u"{\"usedefaultprinter\":\"1|printonly==1\"}", false},
        {u"{\"ExceptPrinterDriver\":\"a==b\"}", false},
        {u"{\"usedefaultprinter\":{\"x\":1}}", false},
        {u"{\"pages\":1}", true},  // fails in the cipher below
    };
    cipher.failure = u"Encryption Error: broken";
    for (const auto& c : cases) {
        cipher.calls.clear();
        issue.errorMessage.clear();
        EXPECT_EQ(requests.FSetupIssue(c.body, settings), IssueRequests::Outcome::Failed)
            << text::toUtf8(c.body);
        EXPECT_EQ(cipher.calls.empty(), !c.reachesCipher) << text::toUtf8(c.body);
        EXPECT_EQ(issue.stateCode, u"30");
        EXPECT_EQ(issue.paramCipherText, u"OLD");
        EXPECT_NE(issue.errorMessage, u"");
    }
    EXPECT_EQ(issue.errorMessage, u"Encryption Error: broken");
}

TEST(PageRequest, AppendsTheDataAfterTheFirstCommaAndCapsTheList) {
    FixedClock clock;
    FakeCipher cipher;
    IssueState issue;
    IssueRequests requests(issue, cipher, clock);
    auto frameWith = [](std::u16string_view body) {
        return std::u16string(39, u'#') + std::u16string(body);
    };
    EXPECT_EQ(requests.FAddPageData(frameWith(u"0001,A"), 100), IssueRequests::Outcome::Done);
    EXPECT_EQ(requests.FAddPageData(frameWith(u"0002x,B"), 100), IssueRequests::Outcome::Done);
    EXPECT_EQ(issue.pageImageList.text(), u"A,B,");
    // Positions 40-43 are skipped before the comma is looked for.
    EXPECT_EQ(requests.FAddPageData(frameWith(u"1,2,C,D"), 100), IssueRequests::Outcome::Done);
    EXPECT_EQ(issue.pageImageList.text(), u"A,B,D,");
    EXPECT_EQ(requests.FAddPageData(frameWith(u"0003NOCOMMA"), 100), IssueRequests::Outcome::Done);
    EXPECT_EQ(issue.pageImageList.text(), u"A,B,D,NOCOMMA,");

    EXPECT_EQ(requests.FAddPageData(frameWith(u"0004," + std::u16string(90, u'X')), 100),
              IssueRequests::Outcome::PageListFull);
    EXPECT_EQ(issue.pageImageList.text(), u"A,B,D,NOCOMMA,");
}

TEST(PageList, KeepsEveryCharacterInOrderWhateverItsWidthAndEmptiesWhole) {
    // Pages of one-byte and wider characters, small ones and ones larger than a shared piece,
    // interleaved so the list changes its kind of storage again and again.
    const std::u16string big(70000, u'Q');
    const std::u16string pages[] = {u"A",
                                    u"",
                                    u"한글",
                                    u"\u00FF\u0080",
                                    big,
                                    u"B",
                                    big + u"가",
                                    u"C",
                                    std::u16string(1, u'\xD800'),
                                    u"tail"};
    PageList list;
    std::u16string expected;
    for (const auto& page : pages) {
        list.append(page);
        expected += page + u",";
        EXPECT_EQ(list.size(), expected.size());
    }
    EXPECT_EQ(list.text(), expected);

    // Long pages are looked at in blocks of characters: a wider character in the middle of a
    // block or at a block's last place, and pages of the widest one-byte characters only.
    PageList blocks;
    std::u16string joined;
    for (const std::u16string& page :
         {std::u16string(100, u'x') + u"\u0100" + std::u16string(100, u'y'),
          std::u16string(63, u'z') + u"\u0101" + std::u16string(64, u'z'),
          std::u16string(130, u'\u00FF'), std::u16string(64, u'\uFFFF')}) {
        blocks.append(page);
        joined += page + u",";
    }
    EXPECT_EQ(blocks.text(), joined);

    list.clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.text(), u"");
    list.append(u"again");
    EXPECT_EQ(list.text(), u"again,");
    // A whole list replaces what was there and keeps its own commas.
    list.assign(u"p1,한,");
    EXPECT_EQ(list.text(), u"p1,한,");
    EXPECT_EQ(list.size(), 5u);
    list.assign(u"");
    EXPECT_TRUE(list.empty());
}

TEST(LogList, LevelsOrderCapAndSave) {
    FixedClock clock;
    LogList log(clock, 3, 10);
    log.setLevel(1);
    log.AddLog(u"connect", 1);
    log.AddLog(u"data", 9);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], u"2020-03-02 09:05:03 connect");
    log.setLevel(0);
    log.AddLog(u"nothing", 1);
    EXPECT_EQ(log.lines().size(), 1u);

    log.setLevel(10);
    log.AddLog(u"second", 9);
    log.AddLog(u"0123456789ABCDEF", 3);  // cut to 10 characters
    log.AddLog(u"fourth", 1);            // the oldest line goes
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[0], u"2020-03-02 09:05:03 fourth");
    EXPECT_EQ(log.lines()[1], u"2020-03-02 09:05:03 0123456789…(16)");
    EXPECT_EQ(log.lines()[2], u"2020-03-02 09:05:03 second");

    platform::testing::TempMachine machine;
    EXPECT_FALSE(log.save(machine.path() / "missing", u"TesselServer"));
    EXPECT_EQ(log.lines().size(), 3u);
    ASSERT_TRUE(log.save(machine.path(), u"TesselServer"));
    EXPECT_TRUE(log.lines().empty());
    std::ifstream in(machine.path() / "TesselServer_20200302.log", std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content,
              "2020-03-02 09:05:03 second\r\n2020-03-02 09:05:03 0123456789…(16)\r\n"
              "2020-03-02 09:05:03 fourth\r\n");
}

// A line given in two parts is the line of the two put together, cut where the cap falls: in
// the first part, at the seam, or in the second.
TEST(LogList, ALineInTwoPartsIsTheLineOfBoth) {
    struct Case {
        std::u16string head, tail;
    };
    const Case cases[] = {
        {u"", u""},
        {u"1 << 5,", u"abc"},
        {u"0123456789", u""},
        {u"01234", u"56789"},
        {u"0123456789AB", u"CD"},
        {u"0123", u"456789ABCDEF"},
        {u"", u"0123456789ABCDEF"},
        {u"0123456789", u"X"},
    };
    for (const Case& c : cases) {
        FixedClock clock;
        LogList whole(clock, 5, 10), parts(clock, 5, 10);
        whole.AddLog(c.head + c.tail, 9);
        parts.AddLog(c.head, c.tail, 9);
        parts.setLevel(8);
        parts.AddLog(c.head, c.tail, 9);  // below the level: not kept
        EXPECT_EQ(parts.lines(), whole.lines()) << text::toUtf8(c.head + c.tail);
    }
}

TEST(Settings, SystemFlagsAndTheHostGroup) {
    platform::testing::TempMachine machine;
    const auto mainIni = machine.path() / "main.ini";
    std::ofstream(mainIni, std::ios::binary) << "[HOST]\nTYPE=B\n";
    auto read = [&](const std::string& content) {
        const auto path = machine.path() / "server.ini";
        std::ofstream(path, std::ios::binary) << content;
        iniTool ini;
        ini.FileName(text::fromUtf8(path.string()));
        return readSettings(ini, u"/opt/tessel");
    };

    ServerSettings s = defaults();
    EXPECT_FALSE(s.autoEvents);
    EXPECT_TRUE(s.trayIcon);
    EXPECT_EQ(s.logDir, u"/opt/tessel/logs");
    EXPECT_EQ(s.logLevel, 10);
    EXPECT_EQ(s.windowState, u"0");
    EXPECT_FALSE(s.topWin);
    EXPECT_TRUE(s.hideWin);
    EXPECT_EQ(s.windowInit, u"-500,-500,100,100");
    EXPECT_TRUE(s.initReload);
    EXPECT_TRUE(s.sendErrmsg);
    EXPECT_EQ(s.getType, u"1");
    EXPECT_EQ(s.hostType, u"");
    EXPECT_EQ(s.layoutServer, u"");
    EXPECT_EQ(s.charset, u"");

    // "1" turns AUTOEVENTS, TRAYICON and SendErrmsg on; anything but "0" turns TOPWIN, HIDEWIN
    // and InitReload on.
    s = read(
        "[SYSTEM]\nAUTOEVENTS=1\nTRAYICON=01\nTOPWIN=00\nHIDEWIN=no\nInitReload=0\n"
        "SendErrmsg=yes\nLogLevel=11\nWINDOWSTATE=10,20,800,600  \n");
    EXPECT_TRUE(s.autoEvents);
    EXPECT_FALSE(s.trayIcon);
    EXPECT_TRUE(s.topWin);
    EXPECT_TRUE(s.hideWin);
    EXPECT_FALSE(s.initReload);
    EXPECT_FALSE(s.sendErrmsg);
    EXPECT_EQ(s.logLevel, 11);
    EXPECT_EQ(s.windowState, u"10,20,800,600");
    EXPECT_FALSE(read("[SYSTEM]\nHIDEWIN=0\n").hideWin);

    // The host type from the MAININI file picks the [XML] keys; its own CharSet falls back to
    // the plain one.
    struct Case {
        std::string mainIni;
        std::string charsetB;
        const char16_t* hostType;
        const char16_t* layoutServer;
        const char16_t* charset;
    } cases[] = {
        {mainIni.string(), "euc-kr", u"B", u"http://b/tessel/", u"euc-kr"},
        {mainIni.string(), "", u"B", u"http://b/tessel/", u"utf-8"},
        {(machine.path() / "missing.ini").string(), "euc-kr", u"", u"http://plain/", u"utf-8"},
        {"", "euc-kr", u"", u"http://plain/", u"utf-8"},
    };
    for (const auto& c : cases) {
        s = read("[SYSTEM]\nMAININI=" + c.mainIni +
                 "\n[XML]\nURLPATH=http://plain/\nURLPATHB=  http://b/tessel/  \n"
                 "CharSet=utf-8\nCharSetB=" +
                 c.charsetB + "\n");
        EXPECT_EQ(s.hostType, c.hostType) << c.mainIni;
        EXPECT_EQ(s.layoutServer, c.layoutServer) << c.mainIni;
        EXPECT_EQ(s.charset, c.charset) << c.mainIni << " " << c.charsetB;
    }
}
