#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/text/tests/print.h"
#include "platform/text/text.h"

namespace platform::text {
namespace {

using testing::printable;

struct ParseCase {
    std::u16string text;
    std::optional<double> value;  // nullopt: not a number
};
void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << printable(c.text) << "";
}

class ParseTable : public ::testing::TestWithParam<ParseCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseTable,
    ::testing::Values(
        ParseCase{u"0", 0.0}, ParseCase{u"123", 123.0}, ParseCase{u"  12  ", 12.0},
        ParseCase{u"\t12\r\n", 12.0}, ParseCase{u"-1.5", -1.5}, ParseCase{u"+7", 7.0},
        ParseCase{u".5", 0.5}, ParseCase{u"5.", 5.0}, ParseCase{u"1E3", 1000.0},
        ParseCase{u"1e-2", 0.01}, ParseCase{u"2D2", 200.0}, ParseCase{u"1.5E+2", 150.0},
        ParseCase{u"&HFF", 255.0}, ParseCase{u"&hff", 255.0}, ParseCase{u"&HFFFF", -1.0},
        ParseCase{u"&H8000", -32768.0}, ParseCase{u"&H10000", 65536.0},
        ParseCase{u"&HFFFFFFFF", -1.0}, ParseCase{u"&H7FFFFFFF", 2147483647.0},
        ParseCase{u"&O17", 15.0}, ParseCase{u"-&H10", -16.0}, ParseCase{u"00012", 12.0},
        ParseCase{u"1E-400", 0.0},
        // not numbers
        ParseCase{u"", std::nullopt}, ParseCase{u"   ", std::nullopt},
        ParseCase{u".", std::nullopt}, ParseCase{u"+", std::nullopt}, ParseCase{u"-", std::nullopt},
        ParseCase{u"1E", std::nullopt}, ParseCase{u"1E+", std::nullopt},
        ParseCase{u"E5", std::nullopt}, ParseCase{u"1.2.3", std::nullopt},
        ParseCase{u"12abc", std::nullopt}, ParseCase{u"1 2", std::nullopt},
        ParseCase{u"- 5", std::nullopt}, ParseCase{u"&H", std::nullopt},
        ParseCase{u"&HG", std::nullopt}, ParseCase{u"&O8", std::nullopt},
        ParseCase{u"&12", std::nullopt}, ParseCase{u"0x1F", std::nullopt},
        ParseCase{u"1,000", std::nullopt}, ParseCase{u"inf", std::nullopt},
        ParseCase{u"nan", std::nullopt}, ParseCase{u"１２", std::nullopt},  // full-width digits
        ParseCase{std::u16string(u"5\0", 2), std::nullopt}, ParseCase{u"일", std::nullopt}));

TEST_P(ParseTable, ParsesAndChecksLikeTheRuntime) {
    const auto& c = GetParam();
    EXPECT_EQ(parseNumber(c.text), c.value);
    EXPECT_EQ(IsNumeric(c.text), c.value.has_value());
    if (c.value) {
        EXPECT_EQ(CDbl(c.text), *c.value);
    } else {
        EXPECT_THROW(CDbl(c.text), TypeMismatch);
    }
}

TEST(Numbers, OutOfRangeNumbersOverflow) {
    for (const char16_t* text : {u"1E309", u"-1E400", u"&H100000000", u"&HFFFFFFFFFFFFFFFFFF"}) {
        EXPECT_THROW(parseNumber(text), Overflow);
        EXPECT_FALSE(IsNumeric(text));
    }
    EXPECT_EQ(parseNumber(u"1.7976931348623157E308"), std::numeric_limits<double>::max());
    EXPECT_FALSE(std::signbit(*parseNumber(u"-0")));
}

struct ValCase {
    std::u16string text;
    double value;
};
void PrintTo(const ValCase& c, std::ostream* os) {
    *os << printable(c.text) << "";
}

class ValTable : public ::testing::TestWithParam<ValCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, ValTable,
    ::testing::Values(
        ValCase{u"", 0}, ValCase{u"abc", 0}, ValCase{u"12abc", 12}, ValCase{u"  1 2 3", 123},
        ValCase{u"\t-\t5", -5}, ValCase{u"+5", 5}, ValCase{u"1.2.3", 1.2}, ValCase{u"1,000", 1},
        ValCase{u".5x", 0.5}, ValCase{u"1e3", 1000}, ValCase{u"1 E 2", 100}, ValCase{u"2d-1", 0.2},
        ValCase{u"1e", 1}, ValCase{u"1e+", 1}, ValCase{u"1ex", 1}, ValCase{u"&HFF", 255},
        ValCase{u"&H FF", 255}, ValCase{u"&HFFFF", -1}, ValCase{u"&HFFFF&", 65535},
        ValCase{u"&HFFFFFFFF", -1}, ValCase{u"&O17", 15}, ValCase{u"&HZZ", 0}, ValCase{u"&", 0},
        ValCase{u"&Q1", 0}, ValCase{u"\r12", 0},  // CR is not skipped
        ValCase{u"1\r2", 1}, ValCase{u"-0", 0}, ValCase{u"-", 0}, ValCase{u"12한글", 12},
        ValCase{std::u16string(u"7\0"
                               u"8",
                               3),
                7}));

TEST_P(ValTable, ReadsTheLeadingNumber) {
    const auto& c = GetParam();
    EXPECT_EQ(Val(c.text), c.value);
}

TEST(Numbers, ValOverflows) {
    EXPECT_THROW(Val(u"1E309"), Overflow);
    EXPECT_THROW(Val(u"&H100000000"), Overflow);
    EXPECT_FALSE(std::signbit(Val(u"-0")));
}

struct RoundCase {
    double x;
    std::int32_t expected;
};
void PrintTo(const RoundCase& c, std::ostream* os) {
    *os << c.x;
}

class HalfEvenTable : public ::testing::TestWithParam<RoundCase> {};

INSTANTIATE_TEST_SUITE_P(Cases, HalfEvenTable,
                         ::testing::Values(RoundCase{2.5, 2}, RoundCase{3.5, 4},
                                           RoundCase{-2.5, -2}, RoundCase{-3.5, -4},
                                           RoundCase{0.5, 0}, RoundCase{1.5, 2}, RoundCase{-0.5, 0},
                                           RoundCase{2.4999, 2}, RoundCase{2.5001, 3},
                                           RoundCase{-2.6, -3}, RoundCase{0, 0},
                                           RoundCase{32767.4, 32767}, RoundCase{-32768.5, -32768},
                                           RoundCase{32766.5, 32766}));

TEST_P(HalfEvenTable, CIntAndCLngRoundHalfToEven) {
    const auto& c = GetParam();
    EXPECT_EQ(CInt(c.x), c.expected);
    EXPECT_EQ(CLng(c.x), c.expected);
    EXPECT_EQ(roundHalfEven(c.x), c.expected);
}

TEST(Numbers, CIntAndCLngOverflow) {
    EXPECT_THROW(CInt(32767.5), Overflow);  // rounds to 32768
    EXPECT_THROW(CInt(-32768.6), Overflow);
    EXPECT_EQ(CInt(-32768.5), -32768);
    EXPECT_EQ(CLng(2147483646.5), 2147483646);
    EXPECT_THROW(CLng(2147483647.5), Overflow);
    EXPECT_EQ(CLng(2147483647.4), 2147483647);
    EXPECT_EQ(CLng(-2147483648.5), std::numeric_limits<std::int32_t>::min());
    EXPECT_THROW(CLng(-2147483648.6), Overflow);
    EXPECT_THROW(CLng(1e300), Overflow);
    EXPECT_THROW(CLng(std::nan("")), Overflow);
    EXPECT_THROW(CInt(std::numeric_limits<double>::infinity()), Overflow);
    try {
        CLng(3e9);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
}

TEST(Numbers, CIntAndCLngOfText) {
    EXPECT_EQ(CInt(u" 2.5 "), 2);
    EXPECT_EQ(CLng(u"&HFFFF"), -1);
    EXPECT_EQ(CLng(u"12345678"), 12345678);
    EXPECT_THROW(CInt(u"40000"), Overflow);
    EXPECT_THROW(CLng(u""), TypeMismatch);
    EXPECT_THROW(CLng(u"12x"), TypeMismatch);
    try {
        CInt(u"abc");
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 13);
    }
}

struct FormatCase {
    double x;
    std::u16string text;
};
void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.x;
}

class FormatTable : public ::testing::TestWithParam<FormatCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatTable,
    ::testing::Values(FormatCase{0, u"0"}, FormatCase{-0.0, u"0"}, FormatCase{1, u"1"},
                      FormatCase{-42, u"-42"}, FormatCase{1.5, u"1.5"},
                      FormatCase{0.1 + 0.2, u"0.3"}, FormatCase{1.0 / 3, u"0.333333333333333"},
                      FormatCase{2.0 / 3, u"0.666666666666667"},
                      FormatCase{123456789012345, u"123456789012345"}, FormatCase{1e15, u"1E+15"},
                      FormatCase{1e20, u"1E+20"},
                      FormatCase{1234567890123456, u"1.23456789012346E+15"},
                      FormatCase{-1.5e100, u"-1.5E+100"}, FormatCase{0.0001, u"0.0001"},
                      FormatCase{0.00001, u"1E-05"}, FormatCase{1e-7, u"1E-07"},
                      FormatCase{1.25e-7, u"1.25E-07"}, FormatCase{2147483647, u"2147483647"},
                      FormatCase{100, u"100"}, FormatCase{1e300 * 1e10, u"1.#INF"}));

TEST_P(FormatTable, PrintsLikeCStr) {
    const auto& c = GetParam();
    EXPECT_EQ(formatNumber(c.x), c.text);
}

TEST(Numbers, FormatAndParseRoundTripFifteenDigits) {
    for (double x : {3.14159265358979, -0.000123, 987654321.125, 1e-300, 6.02214076e23}) {
        EXPECT_EQ(formatNumber(*parseNumber(formatNumber(x))), formatNumber(x));
    }
}

TEST(Numbers, HexAndZeroPad) {
    EXPECT_EQ(Hex(0), u"0");
    EXPECT_EQ(Hex(255), u"FF");
    EXPECT_EQ(Hex(-1), u"FFFFFFFF");
    EXPECT_EQ(Hex(-2147483648LL), u"80000000");
    EXPECT_EQ(Hex(0xFFFFFFFFLL), u"FFFFFFFF");
    EXPECT_THROW(Hex(0x100000000LL), Overflow);
    EXPECT_EQ(Hex16(-1), u"FFFF");
    EXPECT_EQ(Hex16(255), u"FF");

    EXPECT_EQ(zeroPad(5, 2), u"05");
    EXPECT_EQ(zeroPad(123, 2), u"123");
    EXPECT_EQ(zeroPad(0, 3), u"000");
    EXPECT_EQ(zeroPad(-5, 2), u"-05");
    EXPECT_EQ(zeroPad(std::numeric_limits<std::int64_t>::min(), 1), u"-9223372036854775808");
}

}  // namespace
}  // namespace platform::text
