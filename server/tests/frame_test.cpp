#include <gtest/gtest.h>

#include "lib/frame/frame.h"
#include "platform/testing/request_frame.h"
#include "platform/text/text.h"
#include "server/tests/fakes.h"

using namespace tessel;
using namespace tessel::server;
using platform::testing::requestFrame;
namespace text = platform::text;

namespace {

const std::u16string kStamp = u"20200302090503007";

// Feeds the arrivals and lists what the buffer gives back: "F:<code>:<length>" for a frame,
// "bad" and "oversize" (after which the buffer is cleared, as the server does).
std::vector<std::string> feed(const std::vector<std::u16string>& arrivals,
                              std::size_t maxFrame = kDefaultMaxFrame, int logLevel = 10) {
    FrameAssembler a(maxFrame);
    a.setLogLevel(logLevel);
    std::vector<std::string> out;
    for (const auto& arrival : arrivals) {
        a.arrive(arrival);
        for (;;) {
            auto r = a.next();
            if (r.status == FrameAssembler::Status::NeedMore) break;
            if (r.status == FrameAssembler::Status::Frame) {
                out.push_back("F:" + text::toUtf8(frameCode(r.frame)) + ":" +
                              std::to_string(r.frame.size()));
                continue;
            }
            out.push_back(r.status == FrameAssembler::Status::BadHeader ? "bad" : "oversize");
            a.clear();
            break;
        }
    }
    return out;
}

using V = std::vector<std::string>;

}  // namespace

TEST(Frame, ReplyHeaderAndTimestamp) {
    const LocalTime t = tessel::server::testing::FixedClock().now();  // 2020-03-02 09:05:03.007
    EXPECT_EQ(GetTimeStamp(t), u"20200302090503007");
    EXPECT_EQ(GetNowText(t), u"2020-03-02 09:05:03");
    // A CE09 reply body "CE09" + state is 6 characters: 41 in all, "CI" at 34-35.
    std::u16string header = FMakeHeader(6, t);
    EXPECT_EQ(header, u"00000041SMATM00120200302090503007CI");
    EXPECT_EQ(header.size(), kHeaderLength);
}

// The stamp and the log line's time are written field by field; any time gives what the pattern
// formatter gives for the same patterns, the usual ones and those outside the fields' widths.
TEST(Frame, TimeTextsMatchThePatternFormatter) {
    struct Case {
        int year, month, day, hour, minute, second, ms;
    };
    const Case cases[] = {
        {2020, 3, 2, 9, 5, 3, 7},      {1999, 12, 31, 23, 59, 59, 999}, {2026, 1, 1, 0, 0, 0, 0},
        {999, 6, 15, 12, 30, 60, 500}, {0, 1, 1, 0, 0, 0, 0},           {10000, 1, 1, 0, 0, 0, 0},
        {-5, 1, 1, 0, 0, 0, 0},        {2020, 3, 2, 9, 5, 3, 1000},     {2020, 3, 2, 9, 5, 3, -1},
        {2020, 3, 2, 124, 5, 3, 0},    {2020, 0, 2, 9, 5, 3, 0},
    };
    for (const Case& c : cases) {
        LocalTime t;
        t.tm.tm_year = c.year - 1900;
        t.tm.tm_mon = c.month - 1;
        t.tm.tm_mday = c.day;
        t.tm.tm_hour = c.hour;
        t.tm.tm_min = c.minute;
        t.tm.tm_sec = c.second;
        t.milliseconds = c.ms;
        SCOPED_TRACE(c.year);
        EXPECT_EQ(GetTimeStamp(t),
                  platform::text::formatDateTime(t.tm, u"yyyyMMddHHmmssfff", t.milliseconds));
        EXPECT_EQ(GetNowText(t), platform::text::formatDateTime(t.tm, u"yyyy-MM-dd HH:mm:ss"));
    }
}

TEST(Frame, HeaderCheck) {
    const std::u16string poll = requestFrame(u"CE09");
    ASSERT_EQ(poll.size(), 39u);
    struct Case {
        std::u16string buffer;
        bool ok;
    } cases[] = {
        {poll, true},
        {u"00000039smatm001" + kStamp + u"Xc" + u"ce09", true},  // letter case ignored
        {poll.substr(0, 38), false},                             // 38 characters are too few
        {u"00000034" + poll.substr(8), false},                   // length must be above 34
        {u"0000003a" + poll.substr(8), false},
        {u" 0000039" + poll.substr(8), false},  // blanks, signs and exponents are not digits
        {u"+0000039" + poll.substr(8), false},
        {u"0001e003" + poll.substr(8), false},
        {u"００００００39" + poll.substr(8), false},  // only ASCII digits
        {u"00000039SMATM002" + poll.substr(16), false},
        {poll.substr(0, 34) + u"X" + poll.substr(35), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FCheckHeader(c.buffer, 10), c.ok) << text::toUtf8(c.buffer);
    EXPECT_TRUE(FCheckHeader(u"nonsense", kNoHeaderCheckLevel));
}

TEST(Frame, ReceiveBuffer) {
    const std::u16string poll = requestFrame(u"CE09");
    const std::u16string setup = requestFrame(u"CE00", u"{\"pages\":1}");
    const std::u16string page = requestFrame(u"CE01", u"0001,AABBCC");
    struct Case {
        const char* name;
        std::vector<std::u16string> arrivals;
        V expected;
    } cases[] = {
        {"whole poll", {poll}, {"F:CE09:39"}},
        {"lower-case code is kept", {requestFrame(u"ce09")}, {"F:ce09:39"}},
        {"split after 20", {poll.substr(0, 20), poll.substr(20)}, {"F:CE09:39"}},
        {"split after 38", {poll.substr(0, 38), poll.substr(38)}, {"F:CE09:39"}},
        {"one character at a time",
         [&] {
             std::vector<std::u16string> v;
             for (char16_t c : setup) v.emplace_back(1, c);
             return v;
         }(),
         {"F:CE00:50"}},
        {"split body waits for the declared length",
         {setup.substr(0, 42), setup.substr(42)},
         {"F:CE00:50"}},
        {"short garbage is refused at once", {u"GET / HTTP/1.0"}, {"bad"}},
        {"short length of 34 is refused", {u"00000034SMA"}, {"bad"}},
        {"wrong marker start is refused", {u"00000039SMAX"}, {"bad"}},
        {"coalesced frames are split",
         {setup + page + poll},
         {"F:CE00:50", "F:CE01:50", "F:CE09:39"}},
        {"second frame split across arrivals",
         {setup + page.substr(0, 20), page.substr(20)},
         {"F:CE00:50", "F:CE01:50"}},
        {"second frame split after 1",
         {setup + page.substr(0, 1), page.substr(1)},
         {"F:CE00:50", "F:CE01:50"}},
        {"second frame split after 8",
         {setup + page.substr(0, 8), page.substr(8)},
         {"F:CE00:50", "F:CE01:50"}},
        {"second frame split after 12",
         {setup + page.substr(0, 12), page.substr(12)},
         {"F:CE00:50", "F:CE01:50"}},
        {"under-declared frame is taken whole",
         {requestFrame(u"CE01", u"0001,DATA", 39)},
         {"F:CE01:48"}},
        {"declared longer waits", {requestFrame(u"CE01", u"0001,DATA", 60)}, {}},
        {"new header replaces a stalled frame",
         {requestFrame(u"CE01", u"0001,DATA", 60), poll},
         {"F:CE09:39"}},
        {"marker inside a body is data",
         {setup.substr(0, 45), u"SMATM001" + setup.substr(45)},
         {"F:CE00:58"}},
        {"body with marker completes",
         {requestFrame(u"CE01", u"0001,SMATM001SMATM001").substr(0, 41),
          requestFrame(u"CE01", u"0001,SMATM001SMATM001").substr(41)},
         {"F:CE01:60"}},
    };
    for (const auto& c : cases) EXPECT_EQ(feed(c.arrivals), c.expected) << c.name;
}

TEST(Frame, OversizeAndTheLevelWithoutChecks) {
    std::u16string big = requestFrame(u"CE01", std::u16string(200, u'A'));
    EXPECT_EQ(feed({big}, 100), V{"oversize"});
    EXPECT_EQ(feed({big.substr(0, 50)}, 100), V{"oversize"});  // known from the length field
    // An under-declared frame that grows past the cap.
    EXPECT_EQ(feed({requestFrame(u"CE01", std::u16string(200, u'A'), 60)}, 100), V{"oversize"});
    // With the check off, a frame without the marker goes once its length is reached.
    std::u16string raw = u"00000045XXXXXXXXXXXXXXXXXXXXXXXXXXXCE09abcdef";
    ASSERT_EQ(raw.size(), 45u);
    EXPECT_EQ(feed({raw.substr(0, 40), raw.substr(40)}, kDefaultMaxFrame, kNoHeaderCheckLevel),
              V{"F:CE09:45"});
    EXPECT_EQ(feed({raw}), V{"bad"});
}

TEST(Frame, CodeAndBody) {
    std::u16string f = requestFrame(u"CE00", u"{}");
    EXPECT_EQ(frameCode(f), u"CE00");
    EXPECT_EQ(frameBody(f), u"{}");
    EXPECT_EQ(frameBody(requestFrame(u"CE09")), u"");
}

TEST(Frame, DoubleByteCharacterSplitBetweenArrivals) {
    AnsiStreamDecoder d;
    // "가한" in CP949: B0 A1 C7 D1, split inside the second character.
    EXPECT_EQ(d.decode("A\xB0\xA1\xC7"), u"A가");
    EXPECT_EQ(d.decode("\xD1"
                       "B"),
              u"한B");
    EXPECT_EQ(d.decode("\xB0"), u"");
    d.reset();
    EXPECT_EQ(d.decode("C"), u"C");

    // Split at every byte, the pieces together give what the whole gives: ASCII runs before,
    // between and after double-byte characters (some longer than eight bytes, which are passed
    // over a word at a time), a NUL and an invalid pair included.
    const std::string all = std::string("AB09+/=AB09+/=xyzw") + "\xB0\xA1" + "xyz" +
                            std::string(1, '\0') + "\xC7\xD1" + "0123456" + "\xB0\xA1" +
                            "\x80\xFF" + "end of the text, long";
    const std::u16string expected = platform::text::fromAnsi(all);
    for (std::size_t cut = 0; cut <= all.size(); ++cut) {
        AnsiStreamDecoder split;
        std::u16string got = split.decode(std::string_view(all).substr(0, cut));
        got += split.decode(std::string_view(all).substr(cut));
        EXPECT_EQ(got, expected) << cut;
    }
}

// The frame fuzzer's input that crashed the decoder: the bytes A2 E8 (CP949's postal mark) in
// one arrival, at the end of the text; then the same mark split between arrivals and inside a
// frame, whose length must count it as one character.
TEST(Frame, PostalMarkBytesDecodeToOneCharacterAnywhere) {
    AnsiStreamDecoder d;
    EXPECT_EQ(d.decode("\xA2\xE8"), u"\u327E");
    EXPECT_EQ(d.decode("\xA2"), u"");
    EXPECT_EQ(d.decode("\xE8"
                       "A"),
              u"\u327EA");
    EXPECT_EQ(feed({d.decode("\xA2\xE8")}), V{"bad"});

    auto bytes = text::toAnsi(requestFrame(u"CE01", u"0001,#A"));
    std::string raw(bytes.begin(), bytes.end());
    raw.replace(raw.find('#'), 1, "\xA2\xE8");
    std::vector<std::u16string> arrivals;
    for (std::size_t at = 0; at < raw.size(); at += 7)
        arrivals.push_back(d.decode(raw.substr(at, 7)));
    EXPECT_EQ(feed(arrivals), V{"F:CE01:46"});
}

// The protocol client builds its requests and cuts the server's replies with these.
TEST(Frame, RequestsAreAcceptedAndRepliesAreCut) {
    const LocalTime t = tessel::server::testing::FixedClock().now();
    const std::u16string request = FMakeRequest(u"CE01", u"0001,한글", t);
    EXPECT_EQ(request, u"00000046SMATM00120200302090503007RCCE010001,한글");
    EXPECT_TRUE(FCheckHeader(request, 10));
    EXPECT_EQ(frameCode(request), u"CE01");
    EXPECT_EQ(frameBody(request), u"0001,한글");
    EXPECT_EQ(feed({request}), std::vector<std::string>{"F:CE01:46"});

    const std::u16string reply = FMakeHeader(6, t) + u"CE0900";
    EXPECT_EQ(replyLength(reply + u"00000041SMATM"), 41u);
    EXPECT_EQ(replyLength(u"0000004"), std::nullopt);
    EXPECT_EQ(replyLength(u"00000034SMATM001"), 0u);  // shorter than a header
    EXPECT_EQ(replyLength(u"HTTP/1.1 200 OK"), 0u);
}
