// The parameter string's entries and the settings they write: the flag, number, text and
// list rules, the adjustments after the last entry, and the entries that do not fit.
#include "viewer/control/parse.h"

#include "viewer/control/param.h"
#include "viewer/state/viewer_state.h"
#include "viewer_fixture.h"

using namespace vistrel;
using namespace vistrel::testing;

namespace {

class Parse : public ViewerTest {
  protected:
    // Hands the parser a plain parameter string (the Base64 road, without line clean-up).
    void feed(std::u16string_view plain) { putParam(u"0Velmora/plain|" + base64Of(plain)); }
    PrintSettings& print() { return printSettings(); }
    ParamSettings& settings() { return viewerState().settings; }
};

using Strings = std::vector<std::u16string>;

}  // namespace

TEST_F(Parse, FlagRules) {
    struct Case {
        std::u16string entries;  // applied in order, one string each
        bool UseDefaultPrinter;
    };
    const Case cases[] = {
        {u"usedefaultprinter==1|", true},
        {u"usedefaultprinter==1|\nusedefaultprinter==0|", false},
        {u"usedefaultprinter==1|\nusedefaultprinter==|", true},
        {u"usedefaultprinter==1|\nusedefaultprinter==yes|", true},
        {u" USEDEFAULTPRINTER  ==  2 |", true},
        {u"usedefaultprinter==-1|", true},
        {u"usedefaultprinter==0.0|", true},  // numeric and not the text "0"
        {u"\tusedefaultprinter==\t1|", true},
        {u"usedefaultprinter==1==0|", true},  // the value ends at a second "=="
    };
    for (const auto& c : cases) {
        resetModuleState();
        for (const auto& one : text::Split(c.entries, u"\n")) feed(one);
        EXPECT_EQ(print().UseDefaultPrinter, c.UseDefaultPrinter) << text::toUtf8(c.entries);
    }

    feed(
        u"UrlEncoding==|PrinterErrorCheck==|TesselExtReleaseCOM==0|PrintPerPage==1|"
        u"PrintButtonOnly==1|SameWatermark==2|");
    EXPECT_FALSE(settings().UrlEncoding);
    EXPECT_TRUE(print().PrinterErrorCheck);
    EXPECT_FALSE(settings().TesselExtReleaseCOM);
    EXPECT_TRUE(settings().PrintPerPage);
    EXPECT_TRUE(settings().PrintButtonOnly);
    EXPECT_FALSE(settings().SameWatermark);
    EXPECT_TRUE(logged("  PrinterErrorCheck: True"));
    EXPECT_TRUE(logged("  TesselExtReleaseCOM: False"));
    EXPECT_TRUE(logged("  인쇄 버튼만 보이기: 1"));
    EXPECT_TRUE(logged("  화면용과 발급용 워터마크 동일 사용: False"));

    feed(
        u"intranet==1|accessall==1|usespooler==1|usenetworkprinter==1|usepostscriptprinter==1|"
        u"usetcpipprinter==1|InternalRedirect==1|testenable==1|TownerLowEnable==0.5|");
    EXPECT_TRUE(print().UseIntranet && print().AccessAll && print().UseSpooler &&
                print().UseNetworkPrinter && print().UsePostscriptPrinter &&
                print().UseTcpIpPrinter && print().InternalRedirect && print().TestEnable &&
                print().TownerLowEnable);
    EXPECT_TRUE(logged("  시험 인쇄: 1"));
    EXPECT_TRUE(logged("  토너가 부족한 경우 인쇄 가능 여부: 0.5"));
}

TEST_F(Parse, PrintOnlyStaysOnOnceOn) {
    feed(u"printonly==0|");
    EXPECT_FALSE(print().IsPrintOnly);
    feed(u"printonly==1|");
    EXPECT_TRUE(print().IsPrintOnly);
    feed(u"printonly==0|");
    EXPECT_TRUE(print().IsPrintOnly);
}

TEST_F(Parse, NumbersTextsAndLists) {
    feed(
        u"printno==|SaveRDF==abc|PrintWaitingTime==10|ClearType==|PrinterRefreshTime==1.5|"
        u"HtmlZoom==2.25|");
    EXPECT_EQ(settings().printno, 1);
    EXPECT_EQ(settings().SaveRDF, 2);
    EXPECT_EQ(settings().PrintWaitingTime, 600);
    EXPECT_EQ(settings().ClearType, 2);
    EXPECT_FLOAT_EQ(settings().PrinterRefreshTime, 1.5f);
    EXPECT_DOUBLE_EQ(settings().HtmlZoom, 2.25);
    feed(u"printno==2.5|SaveRDF==3.5|PrintWaitingTime==|ClearType==x|");
    EXPECT_EQ(settings().printno, 2);  // halves go to the even neighbour
    EXPECT_EQ(settings().SaveRDF, 4);
    EXPECT_EQ(settings().PrintWaitingTime, 600);
    EXPECT_EQ(settings().ClearType, 2);
    EXPECT_TRUE(logged("  ClearType: x"));

    feed(
        u"ExceptPrinterDriver==A$$$B$$$C|ExceptPrinterPort==|DenyPrinterDriver==X$$$|"
        u"DenyPrinterPort==p1$$$P2|Exception==a, b|RunType==kiosk|serialno==  7  |");
    EXPECT_EQ(print().ExceptDriverList, (Strings{u"A", u"B", u"C"}));
    EXPECT_EQ(print().ExceptPortList, Strings{});
    EXPECT_EQ(print().DenyDriverList, (Strings{u"X", u""}));
    EXPECT_EQ(print().DenyPortList, (Strings{u"p1", u"P2"}));
    EXPECT_EQ(settings().Exception, (Strings{u"a", u" b"}));
    EXPECT_TRUE(settings().ExceptionFlag);
    EXPECT_EQ(print().RunType, u"kiosk");
    EXPECT_EQ(settings().serialno, u"7");
    EXPECT_TRUE(logged("  예외 프린터 드라이버: A$$$B$$$C"));
    EXPECT_TRUE(logged("  최종 DenyPrinterPort: p1$$$P2"));
    EXPECT_TRUE(logged("  최종 DenyPrinterDriver: X$$$"));
    EXPECT_TRUE(logged("  예외 프린터 포트: "));

    feed(u"PrintNotice==첫 줄\n둘째 줄|");
    EXPECT_EQ(print().PrintNotice, u"첫 줄\r\n둘째 줄");
    feed(u"PrintNotice==a\r\nb\nc|");
    EXPECT_EQ(print().PrintNotice, u"a\r\nb\nc");

    feed(u"CharEncoding==utf-8|");
    EXPECT_EQ(viewerState().charset, u"utf-8");
}

TEST_F(Parse, AdjustmentsAfterTheLastEntry) {
    feed(
        u"server==http://issue.example|updateurl==update/setup.exe|CertLetter==사본|"
        u"WatermarkLetter==견본|");
    EXPECT_EQ(settings().server, u"http://issue.example/");
    EXPECT_EQ(settings().updateurl, u"http://issue.example/update/setup.exe");
    EXPECT_EQ(settings().CertLetterSize, u"12");
    EXPECT_EQ(settings().CertLetterColor, u"EFEFEF");
    EXPECT_EQ(settings().WatermarkLetterColor, u"EFEFEF");
    EXPECT_TRUE(logged("  CertLetter : 사본"));

    feed(u"CertLetter==사본|CertLetterSize==10|CertLetterColor==FF0000|");
    EXPECT_EQ(settings().CertLetterSize, u"10");
    EXPECT_EQ(settings().CertLetterColor, u"FF0000");
    EXPECT_TRUE(logged("  CertLetterSize : 10"));
    EXPECT_TRUE(logged("  CertLetterColor : FF0000"));

    feed(u"server==|updateurl==HTTPS://Other/u|");
    EXPECT_EQ(settings().server, u"/");
    EXPECT_EQ(settings().updateurl, u"HTTPS://Other/u");

    struct Case {
        std::u16string emulateServer;
        bool EmulateLocal;
    };
    for (const Case& c :
         {Case{u"HTTP://A.EXAMPLE/", true}, Case{u"http://a.example", false}, Case{u"", false}}) {
        feed(u"server==http://a.example|EmulateLocal==1|EmulateServer==" + c.emulateServer + u"|");
        EXPECT_EQ(print().EmulateLocal, c.EmulateLocal) << text::toUtf8(c.emulateServer);
    }
}

TEST_F(Parse, UnsupportedItemsAndKeysAreLoggedAndSkipped) {
    feed(u"no equals here|nosuchkey==1|fileurl==x|wintitle==제목|");
    EXPECT_EQ(settings().wintitle, u"제목");
    EXPECT_TRUE(logged("          지원하지 않는 형식,no equals here"));
    EXPECT_TRUE(logged("          지원하지 않는 기능"));
    EXPECT_TRUE(logged("        Param 속성의 수 = 5"));
    EXPECT_TRUE(logged("        wintitle = 제목"));
    EXPECT_TRUE(logged("      Param 속성 분석 완료"));
}

// A number that does not fit its 16-bit setting is logged and skipped: the setting keeps its
// value, the entries after it (the server's last two among them) still apply, and so do the
// adjustments.
TEST_F(Parse, OverflowingNumbersSkipOnlyTheirOwnEntry) {
    feed(u"PrintWaitingTime==5|SaveRDF==7|");
    feed(
        u"server==http://s|PrintWaitingTime==600|SaveRDF==40000|printno==-32769|"
        u"CertLetter==x|usedefaultprinter==1|ExceptPrinterDriver==한글 드라이버|");
    EXPECT_EQ(settings().PrintWaitingTime, 300);
    EXPECT_EQ(settings().SaveRDF, 7);
    EXPECT_EQ(settings().printno, 0);
    EXPECT_TRUE(print().UseDefaultPrinter);
    EXPECT_EQ(print().ExceptDriverList, Strings{u"한글 드라이버"});
    EXPECT_EQ(settings().CertLetterSize, u"12");
    const std::string all = log();
    std::size_t errors = 0;
    for (auto at = all.find("      Param 속성 분석 오류 [Overflow]"); at != std::string::npos;
         at = all.find("      Param 속성 분석 오류 [Overflow]", at + 1))
        ++errors;
    EXPECT_EQ(errors, 3u);
    EXPECT_TRUE(logged("      Param 속성 분석 완료"));

    feed(u"PrintWaitingTime==546|");
    EXPECT_EQ(settings().PrintWaitingTime, 32760);
}
