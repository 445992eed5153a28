#include <gtest/gtest.h>

#include "platform/text/tests/print.h"
#include "platform/text/text.h"

namespace platform::text {
namespace {

using testing::printable;

using Parts = std::vector<std::u16string>;

TEST(Strings, ControlCharactersAreShownSoAMessageKeepsItsLine) {
    struct Case {
        std::u16string text;
        std::u16string shown;
    } cases[] = {
        {u"", u""},
        {u"plain 한글", u"plain 한글"},
        {u"a\r\nb", u"a\\r\\nb"},
        {u"\n\n", u"\\n\\n"},
        {u"kiosk\r", u"kiosk\\r"},
        {u"back\\slash", u"back\\slash"},
        {u"tab\there", u"tab\\there"},
        {u"v\vf\f", u"v\\x0Bf\\x0C"},
        {u"\x1B[31mred", u"\\x1B[31mred"},
        {std::u16string(u"nul\0end", 7), u"nul\\x00end"},
        {u"\x01\x1F\x7F", u"\\x01\\x1F\\x7F"},
        {u"c1\u0085\u009B\u009F", u"c1\\x85\\x9B\\x9F"},
        {u"line\u2028para\u2029", u"line\\u2028para\\u2029"},
        {u" ~\u00A0\u00FF\u2027\u202A", u" ~\u00A0\u00FF\u2027\u202A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(showControlCharacters(c.text), c.shown) << printable(c.text);
    for (char16_t unit = 0; unit < 0x100; ++unit)
        EXPECT_EQ(isControlCharacter(unit), unit < 0x20 || (unit >= 0x7F && unit < 0xA0)) << +unit;
}

TEST(Strings, MidLeftRight) {
    const std::u16string s = u"한글ABC";
    EXPECT_EQ(Len(s), 5);
    EXPECT_EQ(Len(std::u16string(u"a\0b", 3)), 3);
    EXPECT_EQ(Len(u"\U0001F600"), 2);  // counted in UTF-16 units
    EXPECT_EQ(Mid(s, 2), u"글ABC");
    EXPECT_EQ(Mid(s, 2, 2), u"글A");
    EXPECT_EQ(Mid(s, 4, 100), u"BC");
    EXPECT_EQ(Mid(s, 6), u"");
    EXPECT_EQ(Mid(s, 99, 1), u"");
    EXPECT_EQ(Mid(s, 1, 0), u"");
    EXPECT_EQ(Left(s, 2), u"한글");
    EXPECT_EQ(Left(s, 99), s);
    EXPECT_EQ(Right(s, 2), u"BC");
    EXPECT_EQ(Right(s, 99), s);
    EXPECT_EQ(Right(s, 0), u"");
    EXPECT_EQ(Mid(std::u16string(u"a\0bc", 4), 2, 2), std::u16string(u"\0b", 2));
}

TEST(Strings, RuntimeErrorsCarryTheRuntimesText) {
    const struct {
        int number;
        const char16_t* text;
    } cases[] = {{5, u"Invalid procedure call or argument"},
                 {6, u"Overflow"},
                 {53, u"File not found"},
                 {62, u"Input past end of file"},
                 {76, u"Path not found"},
                 {1234, u"Application-defined or object-defined error"}};
    for (const auto& c : cases) {
        const Error e = runtimeError(c.number, "detail");
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.description(), c.text) << c.number;
        EXPECT_STREQ(e.what(), "detail");
    }
    EXPECT_EQ(Overflow("x").description(), u"Overflow");
}

TEST(Strings, PositionAndLengthErrorsRaiseInvalidCall) {
    EXPECT_THROW(Mid(u"abc", 0), InvalidCall);
    EXPECT_THROW(Mid(u"abc", 1, -1), InvalidCall);
    EXPECT_THROW(Left(u"abc", -1), InvalidCall);
    EXPECT_THROW(Right(u"abc", -1), InvalidCall);
    long zero = 0;  // a literal 0 would also read as a null text
    EXPECT_THROW(InStr(zero, u"abc", u"a"), InvalidCall);
    EXPECT_THROW(InStrRev(u"abc", u"a", 0), InvalidCall);
    EXPECT_THROW(InStrRev(u"abc", u"a", -2), InvalidCall);
    EXPECT_THROW(Split(u"a", u",", -2), InvalidCall);
    EXPECT_THROW(Replace(u"a", u"a", u"b", 0, -1), InvalidCall);
    EXPECT_THROW(Replace(u"a", u"a", u"b", 1, -2), InvalidCall);
    EXPECT_THROW(String(-1, u'x'), InvalidCall);
    EXPECT_THROW(Space(-1), InvalidCall);
    try {
        Mid(u"abc", 0);
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 5);
    }
}

struct InStrCase {
    long start;
    std::u16string s, find;
    bool noCase;
    long expected;
};
void PrintTo(const InStrCase& c, std::ostream* os) {
    *os << c.start << "/" << printable(c.s) << "/" << printable(c.find)
        << (c.noCase ? "/nocase" : "");
}

class InStrTable : public ::testing::TestWithParam<InStrCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, InStrTable,
    ::testing::Values(
        InStrCase{1, u"abcabc", u"bc", false, 2}, InStrCase{3, u"abcabc", u"bc", false, 5},
        InStrCase{6, u"abcabc", u"bc", false, 0}, InStrCase{1, u"abcabc", u"BC", false, 0},
        InStrCase{1, u"abcabc", u"BC", true, 2}, InStrCase{1, u"인증서 발급", u"발급", false, 5},
        InStrCase{1, u"abc", u"", false, 1}, InStrCase{3, u"abc", u"", false, 3},
        InStrCase{4, u"abc", u"", false, 4}, InStrCase{5, u"abc", u"", false, 0},
        InStrCase{1, u"", u"", false, 0}, InStrCase{1, u"", u"a", false, 0},
        InStrCase{1, u"ab", u"abc", false, 0}, InStrCase{1, u"ÀB", u"àb", true, 1}));

TEST_P(InStrTable, FindsFirstPosition) {
    const auto& c = GetParam();
    EXPECT_EQ(InStr(c.start, c.s, c.find, c.noCase), c.expected);
}

TEST(Strings, InStrRev) {
    EXPECT_EQ(InStrRev(u"abcabc", u"bc"), 5);
    EXPECT_EQ(InStrRev(u"abcabc", u"bc", 5), 2);  // the match must end by position 5
    EXPECT_EQ(InStrRev(u"abcabc", u"bc", 6), 5);
    EXPECT_EQ(InStrRev(u"abcabc", u"BC", -1, true), 5);
    EXPECT_EQ(InStrRev(u"abcabc", u"x"), 0);
    EXPECT_EQ(InStrRev(u"abc", u"abcd"), 0);
    EXPECT_EQ(InStrRev(u"abc", u"", 2), 2);
    EXPECT_EQ(InStrRev(u"abc", u""), 3);
    EXPECT_EQ(InStrRev(u"abc", u"a", 4), 0);
    EXPECT_EQ(InStrRev(u"", u"a"), 0);
    EXPECT_EQ(InStrRev(u"c:/a/b.txt", u"/"), 5);
}

TEST(Strings, TrimRemovesOnlySpacesWhiteTrimAlsoControls) {
    EXPECT_EQ(Trim(u"  a b  "), u"a b");
    EXPECT_EQ(LTrim(u"  a "), u"a ");
    EXPECT_EQ(RTrim(u"  a "), u"  a");
    EXPECT_EQ(Trim(u"\ta\t"), u"\ta\t");
    EXPECT_EQ(Trim(u"   "), u"");
    EXPECT_EQ(Trim(u"\u3000한\u3000"), u"\u3000한\u3000");
    EXPECT_EQ(TrimWhite(u" \t\r\n\v\fa b\r\n "), u"a b");
    EXPECT_EQ(TrimWhite(std::u16string(u"\0a\0", 3)), std::u16string(u"\0a\0", 3));
}

struct SplitCase {
    std::u16string s, delim;
    long limit;
    bool noCase;
    Parts expected;
};
void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << printable(c.s) << "/" << printable(c.delim) << "/" << c.limit
        << (c.noCase ? "/nocase" : "");
}

class SplitTable : public ::testing::TestWithParam<SplitCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitTable,
    ::testing::Values(SplitCase{u"a,b,,c", u",", -1, false, {u"a", u"b", u"", u"c"}},
                      SplitCase{u",", u",", -1, false, {u"", u""}},
                      SplitCase{u"", u",", -1, false, {}},
                      SplitCase{u"abc", u"", -1, false, {u"abc"}},
                      SplitCase{u"a,b,c", u",", 2, false, {u"a", u"b,c"}},
                      SplitCase{u"a,b,c", u",", 1, false, {u"a,b,c"}},
                      SplitCase{u"a,b,c", u",", 0, false, {}},
                      SplitCase{u"aXbxc", u"x", -1, false, {u"aXb", u"c"}},
                      SplitCase{u"aXbxc", u"x", -1, true, {u"a", u"b", u"c"}},
                      SplitCase{u"키=값||키2=값2", u"||", -1, false, {u"키=값", u"키2=값2"}},
                      SplitCase{u"a b", u" ", -1, false, {u"a", u"b"}}));

TEST_P(SplitTable, SplitsLikeTheRuntime) {
    const auto& c = GetParam();
    EXPECT_EQ(Split(c.s, c.delim, c.limit, c.noCase), c.expected);
}

TEST(Strings, JoinReversesSplit) {
    EXPECT_EQ(Join({u"a", u"", u"b"}, u","), u"a,,b");
    EXPECT_EQ(Join({}, u","), u"");
    EXPECT_EQ(Join({u"a", u"b"}), u"a b");
    const std::u16string s = u"x|y||z|";
    EXPECT_EQ(Join(Split(s, u"|"), u"|"), s);
}

struct ReplaceCase {
    std::u16string s, find, repl;
    long start, count;
    bool noCase;
    std::u16string expected;
};
void PrintTo(const ReplaceCase& c, std::ostream* os) {
    *os << printable(c.s) << "/" << printable(c.find) << "/" << printable(c.repl) << "/" << c.start
        << "/" << c.count << (c.noCase ? "/nocase" : "");
}

class ReplaceTable : public ::testing::TestWithParam<ReplaceCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceTable,
    ::testing::Values(ReplaceCase{u"aaa", u"a", u"bb", 1, -1, false, u"bbbbbb"},
                      ReplaceCase{u"aaaa", u"aa", u"a", 1, -1, false, u"aa"},  // no rescans
                      ReplaceCase{u"abc", u"", u"x", 1, -1, false, u"abc"},
                      ReplaceCase{u"abc", u"b", u"", 1, -1, false, u"ac"},
                      ReplaceCase{u"aAa", u"a", u"x", 1, -1, false, u"xAx"},
                      ReplaceCase{u"aAa", u"a", u"x", 1, -1, true, u"xxx"},
                      ReplaceCase{u"a-a-a", u"a", u"x", 1, 2, false, u"x-x-a"},
                      ReplaceCase{u"a-a-a", u"a", u"x", 3, -1, false, u"x-x"},  // starts at 3
                      ReplaceCase{u"abc", u"a", u"x", 4, -1, false, u""},
                      ReplaceCase{u"abc", u"a", u"x", 1, 0, false, u"abc"},
                      ReplaceCase{u"줄1\r\n줄2", u"\r\n", u"\n", 1, -1, false, u"줄1\n줄2"}));

TEST_P(ReplaceTable, ReplacesLikeTheRuntime) {
    const auto& c = GetParam();
    EXPECT_EQ(Replace(c.s, c.find, c.repl, c.start, c.count, c.noCase), c.expected);
    if (c.start == 1 && c.count == -1) {
        EXPECT_EQ(Replace(c.s, c.find, c.repl, c.noCase), c.expected);
    }
}

TEST(Strings, CaseMapping) {
    EXPECT_EQ(UCase(u"abcXYZ09 한글"), u"ABCXYZ09 한글");
    EXPECT_EQ(LCase(u"ABCxyz09 한글"), u"abcxyz09 한글");
    EXPECT_EQ(UCase(u"àéîõüÿ÷ß"), u"ÀÉÎÕÜŸ÷ß");
    EXPECT_EQ(LCase(u"ÀÉÎÕÜŸ×"), u"àéîõüÿ×");
    EXPECT_EQ(UCase(u"āčľňžő"), u"ĀČĽŇŽŐ");
    EXPECT_EQ(LCase(u"ĀČĽŇŽŐ"), u"āčľňžő");
    EXPECT_EQ(UCase(u"αβγως"), u"ΑΒΓΩΣ");
    EXPECT_EQ(UCase(u"привет"), u"ПРИВЕТ");
    EXPECT_EQ(LCase(u"ПРИВЁТ"), u"привёт");
    EXPECT_EQ(UCase(u"ａｂｃ"), u"ＡＢＣ");
    // Every mapped letter maps back.
    for (char32_t c = 0; c < 0x10000; ++c) {
        auto u = static_cast<char16_t>(c);
        char16_t expectedBack = u == 0x3C2 ? char16_t{0x3C3} : u;  // final sigma
        if (toUpper(u) != u) {
            EXPECT_EQ(toLower(toUpper(u)), expectedBack) << static_cast<unsigned>(c);
        }
        if (toLower(u) != u) {
            EXPECT_EQ(toUpper(toLower(u)), u) << static_cast<unsigned>(c);
        }
    }
}

// Letters that are one letter in two cases fold alike; letters that only look related do not.
// The registry's names use the same folding (its own test checks that it agrees).
TEST(Strings, CaseFoldingPairsAgreeBothWays) {
    struct Pair {
        char16_t a, b;
        bool same;
    } pairs[] = {
        {u'A', u'a', true},
        {u'\u00C9', u'\u00E9', true},  // É é
        {u'\u0178', u'\u00FF', true},
        {u'\u0100', u'\u0101', true},  // Ÿ ÿ, Ā ā
        {u'\u0386', u'\u03AC', true},
        {u'\u0388', u'\u03AD', true},  // Ά ά, Έ έ
        {u'\u038F', u'\u03CE', true},
        {u'\u03AA', u'\u03CA', true},  // Ώ ώ, Ϊ ϊ
        {u'\u03AB', u'\u03CB', true},
        {u'\u03A3', u'\u03C2', true},  // Ϋ ϋ, Σ ς
        {u'\u03C3', u'\u03C2', true},
        {u'\u0401', u'\u0451', true},  // σ ς, Ё ё
        {u'\uFF21', u'\uFF41', true},  // Ａ ａ
        {u'\u0130', u'\u0131', false},
        {u'\u0130', u'i', false},  // İ ı, İ i
        {u'\u0131', u'I', false},
        {u'\u0138', u'\u0139', false},  // ı I, ĸ Ĺ
        {u'\u00D7', u'\u00F7', false},
        {u'\u0386', u'\u0391', false},  // × ÷, Ά Α
        {u'\u03CA', u'\u03B9', false},
        {u'\uAC00', u'\uAC01', false},  // ϊ ι, 가 각
    };
    for (const auto& p : pairs) {
        const std::u16string a(1, p.a), b(1, p.b);
        SCOPED_TRACE(static_cast<unsigned>(p.a));
        SCOPED_TRACE(static_cast<unsigned>(p.b));
        EXPECT_EQ(foldCase(p.a) == foldCase(p.b), p.same);
        EXPECT_EQ(equalsNoCase(a, b), p.same);
        EXPECT_EQ(equalsNoCase(b, a), p.same);
        EXPECT_EQ(compareNoCase(a, b) == 0, p.same);
        EXPECT_EQ(InStr(1, u"x" + a, b, true) == 2, p.same);
    }
}

TEST(Strings, Comparisons) {
    EXPECT_EQ(StrComp(u"abc", u"abc"), 0);
    EXPECT_EQ(StrComp(u"abc", u"abd"), -1);
    EXPECT_EQ(StrComp(u"abd", u"abc"), 1);
    EXPECT_EQ(StrComp(u"ab", u"abc"), -1);
    EXPECT_EQ(StrComp(u"B", u"a"), -1);       // binary: "B" (0x42) before "a" (0x61)
    EXPECT_EQ(StrComp(u"B", u"a", true), 1);  // text: a before b
    EXPECT_EQ(StrComp(u"ABC", u"abc", true), 0);
    EXPECT_TRUE(equalsNoCase(u"DllRegisterServer", u"dllregisterserver"));
    EXPECT_TRUE(equalsNoCase(u"Ünïcode", u"üNÏCODE"));
    EXPECT_TRUE(equalsNoCase(u"한글A", u"한글a"));
    EXPECT_FALSE(equalsNoCase(u"abc", u"abd"));
    EXPECT_FALSE(equalsNoCase(u"abc", u"ab"));
    EXPECT_FALSE(equalsNoCase(std::u16string(u"a\0b", 3), u"a"));
    EXPECT_LT(compareNoCase(u"apple", u"BANANA"), 0);
    EXPECT_GT(compareNoCase(u"Zebra", u"apple"), 0);
}

TEST(Strings, StringSpaceAscChr) {
    EXPECT_EQ(String(3, u'한'), u"한한한");
    EXPECT_EQ(String(0, u'x'), u"");
    EXPECT_EQ(Space(2), u"  ");
    EXPECT_EQ(Asc(u"A"), 65);
    EXPECT_EQ(Asc(u"0"), 48);
    EXPECT_EQ(Asc(u"한"), static_cast<std::int16_t>(0xC7D1));  // double-byte code, signed
    EXPECT_EQ(Asc(u"é"), '?');
    EXPECT_EQ(AscW(u"A"), 65);
    EXPECT_EQ(AscW(u"한"), static_cast<std::int16_t>(0xD55C));
    EXPECT_THROW(Asc(u""), InvalidCall);
    EXPECT_THROW(AscW(u""), InvalidCall);
    EXPECT_EQ(Chr(65), u"A");
    EXPECT_EQ(Chr(0), std::u16string(1, u'\0'));
    EXPECT_EQ(Chr(0xC7D1), u"한");
    EXPECT_EQ(Chr(static_cast<std::int16_t>(0xC7D1)), u"한");
    EXPECT_EQ(ChrW(0xD55C), u"한");
    EXPECT_EQ(ChrW(-1), u"\uFFFF");
    EXPECT_THROW(ChrW(65536), InvalidCall);
    EXPECT_THROW(Chr(-32769), InvalidCall);
}

}  // namespace
}  // namespace platform::text
