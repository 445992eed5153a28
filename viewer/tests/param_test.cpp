// The parameter text's prefix and its decoding: the message cipher road with the key the text
// carries, the Base64 road, the charset conversion and the texts that are not read at all.
#include "viewer/control/param.h"

#include "viewer/state/viewer_state.h"
#include "viewer_fixture.h"

using namespace vistrel;
using namespace vistrel::testing;

namespace {

class Param : public ViewerTest {
  protected:
    void SetUp() override {
        ViewerTest::SetUp();
        viewerState().charset = u"Euc-kr";  // as Initialize leaves it
    }
    const ParamSettings& settings() { return viewerState().settings; }
};

}  // namespace

TEST_F(Param, PrefixDecidesModeAlgorithmAndWhetherTheTextIsRead) {
    const std::u16string plain = u"wintitle==똠방각하 증명서|RegNo==12345-67890|";
    const std::u16string des = cipherOf(plain);
    struct Case {
        const char* what;
        std::u16string text;
        bool parsed;
        std::int16_t mode;
        std::int32_t algorithm;
    };
    const Case cases[] = {
        {"the server's prefix", u"1Velmora/DES|" + des, true, 1, 1},
        {"no mode digit", u"Velmora/DES|" + des, true, 1, 1},
        {"mode digit above 3", u"7Velmora/des|" + des, true, 1, 1},
        {"mode 0: Base64 of UTF-16", u"0Velmora/DES|" + base64Of(plain), true, 0, 1},
        {"mode 2: nothing decodes", u"2Velmora/DES|" + des, false, 2, 1},
        {"another vendor: read without the line clean-up", u"1Acme/DES|" + des, true, 1, -1},
        {"unknown algorithm word", u"1Velmora/Zip|" + des, true, 1, -1},
        {"a second bar", u"1Velmora/DES|" + des + u"|x", false, 1, -1},
        {"no bar at all", des, false, 0, -1},
        {"prefix without a slash", u"1Velmora|" + des, false, 1, 0},
        {"empty prefix", u"1|" + des, false, 1, 0},
        {"key 12345 five times", u"1Velmora/DES|" + cipherOf(plain, u"1234512345123451234512345"),
         false, 1, 1},
    };
    for (const auto& c : cases) {
        resetModuleState();
        viewerState().charset = u"Euc-kr";
        putParam(c.text);
        EXPECT_EQ(settings().wintitle, c.parsed ? u"똠방각하 증명서" : u"") << c.what;
        EXPECT_EQ(settings().RegNo, c.parsed ? u"12345-67890" : u"") << c.what;
        EXPECT_EQ(viewerState().param.mode, c.mode) << c.what;
        EXPECT_EQ(viewerState().param.algorithm, c.algorithm) << c.what;
    }
}

TEST_F(Param, BlowfishKeepsTheAlgorithmAndPkiBuildsItsKeys) {
    putParam(u"1Velmora/DES|" + cipherOf(u"wintitle==first title here|"));
    putParam(u"1Velmora/Blowfish|" + cipherOf(u"wintitle==second title here|"));
    EXPECT_EQ(viewerState().param.algorithm, 1);
    EXPECT_EQ(settings().wintitle, u"second title here");
    putParam(u"1Velmora/PKI|" + cipherOf(u"wintitle==third title here|"));
    EXPECT_EQ(viewerState().param.algorithm, 6);
    EXPECT_EQ(settings().wintitle, u"third title here");
    EXPECT_FALSE(viewerState().param.pkiKeys[0].empty());
    EXPECT_FALSE(viewerState().param.pkiKeys[1].empty());
}

TEST_F(Param, CharsetDecidesHowTheDecipheredBytesBecomeText) {
    const std::u16string plain = u"wintitle==똠방각하 홍길동 등본|";
    // The charset names code page 949, which holds the syllables EUC-KR lacks.
    putParam(u"1Velmora/DES|" + cipherOf(plain));
    EXPECT_EQ(settings().wintitle, u"똠방각하 홍길동 등본");
    EXPECT_TRUE(logged(std::string(12, ' ') + "CharEncoding:Euc-kr"));
    EXPECT_TRUE(logged(std::string(12, ' ') + "Euc-kr을 UNICODE로 변환"));

    // UTF-8 bytes under the charset "utf-8".
    viewerState().charset = u"utf-8";
    const auto utf8 = text::toCodePage(u"wintitle==유티에프 제목입니다|", text::kCodePageUtf8);
    putParam(u"1Velmora/DES|" +
             ciphra::messageEncode(utf8, kKey, [](const auto& b) { return text::toBase64(b); }));
    EXPECT_EQ(settings().wintitle, u"유티에프 제목입니다");

    // No charset: the system ANSI code page (949).
    viewerState().charset.clear();
    putParam(u"1Velmora/DES|" + cipherOf(u"wintitle==앤시 코드 페이지|"));
    EXPECT_EQ(settings().wintitle, u"앤시 코드 페이지");

    // A charset nobody knows: the decoding fails inside and nothing changes.
    viewerState().charset = u"klingon";
    putParam(u"1Velmora/DES|" + cipherOf(u"wintitle==바뀌지 않는 제목|"));
    EXPECT_EQ(settings().wintitle, u"앤시 코드 페이지");
    EXPECT_NE(log().find("DecodeDes......[Error]"), std::string::npos);
}

TEST_F(Param, LineBreaksInTheCipherTextAreJoinedAndShortLinesDropped) {
    const std::u16string des = cipherOf(u"wintitle==줄바꿈이 있는 긴 제목 텍스트|serialno==1|");
    // "@" stands for a line break; CR LF and lone CR breaks work as well.
    std::u16string broken;
    for (std::size_t i = 0; i < des.size(); i += 20) {
        broken += des.substr(i, 20);
        if (i + 20 < des.size())
            broken += (i / 20) % 3 == 0 ? u"@" : (i / 20) % 3 == 1 ? u"\r\n" : u"\r";
    }
    ASSERT_GT(des.size() % 20, 10u) << "the last line must be long enough to be kept";
    putParam(u"1Velmora/DES|  " + broken + u"  ");
    EXPECT_EQ(settings().wintitle, u"줄바꿈이 있는 긴 제목 텍스트");

    EXPECT_EQ(joinLongLines(u"0123456789A\r\n0123456789\n  abcdefghijk  \rshort"),
              u"0123456789Aabcdefghijk");
}

TEST_F(Param, ModeZeroWithAnOddByteCountDropsTheLastByte) {
    auto bytes = text::toUtf16leBytes(u"wintitle==홀수 바이트|");
    bytes.push_back(0x41);
    putParam(u"0Velmora/DES|" + text::toBase64(bytes));
    EXPECT_EQ(settings().wintitle, u"홀수 바이트");
}

TEST_F(Param, ABrokenBase64TextEndsTheParseBeforeAnyEntry) {
    putParam(u"0Velmora/DES|" + base64Of(u"wintitle==앞 제목|"));
    putParam(u"0Velmora/DES|%%%% not base64 %%%%");
    EXPECT_EQ(settings().wintitle, u"앞 제목");
    EXPECT_NE(log().find("Param 속성 분석 오류 ["), std::string::npos);
}

// Every step of the decoding and the parse writes its line at its own depth, in this order.
TEST_F(Param, DecodingAndParsingLogTheirStepsInOrder) {
    const std::u16string plain = u"wintitle==제목|";
    const std::u16string des = cipherOf(plain);
    putParam(u"1Velmora/DES|" + des);
    const auto at = [](int level, std::u16string_view line) {
        return std::string(static_cast<std::size_t>(2 * (level + 1)), ' ') + text::toUtf8(line) +
               "\n";
    };
    const std::string desRoad =
        at(0, u"기본 모드로 동작") + at(2, u"Param 속성 복호화") +
        at(3, u"암호화된 Param: " + des) + at(4, u"데이터 복호화: Decode ....[Start]") +
        at(5, u"데이터 구성 시작") + at(6, u"알고리즘: 벨모라텍") + at(5, u"데이터 구성 종료") +
        at(5, u"[Case1] Param 속성 이거나 XML 속성인경우") + at(6, u"DES로 암호화된 경우") +
        at(4, u"DecodeDes......[Start]") + at(5, u"CharEncoding:Euc-kr") +
        at(5, u"Euc-kr을 UNICODE로 변환") + at(4, u"DecodeDes......[End]" + plain) +
        at(4, u"데이터 복호화: Decode ......[End]") + at(3, u"복호화된 Param: " + plain) +
        at(3, u"Param 속성의 수 = 2") + at(2, u"Param 속성 분석") + at(3, u"wintitle = 제목") +
        at(4, u"지원하지 않는 형식,") + at(2, u"Param 속성 분석 완료");
    EXPECT_EQ(log(), desRoad);

    // The Base64 road of another vendor: no line clean-up, and its own branch line.
    const std::size_t before = log().size();
    const std::u16string b64 = base64Of(plain);
    putParam(u"0Acme/DES|" + b64);
    EXPECT_EQ(log().substr(before),
              at(0, u"기본 모드로 동작") + at(2, u"Param 속성 복호화") +
                  at(3, u"암호화된 Param: " + b64) + at(4, u"데이터 복호화: Decode ....[Start]") +
                  at(5, u"데이터 구성 시작") + at(5, u"데이터 구성 종료") +
                  at(5, u"[Case1] Param 속성 이거나 XML 속성인경우") +
                  at(6, u"Base64로 인코딩 된 경우") + at(4, u"데이터 복호화: Decode ......[End]") +
                  at(3, u"복호화된 Param: " + plain) + at(3, u"Param 속성의 수 = 2") +
                  at(2, u"Param 속성 분석") + at(3, u"wintitle = 제목") +
                  at(4, u"지원하지 않는 형식,") + at(2, u"Param 속성 분석 완료"));
}
