// Numbers in texts, with the platform runtime's rules: IsNumeric, Val, the strict text-to-number
// coercion, CInt/CLng with round-half-even, and CStr's form of a double.
//
// Number syntax accepted by IsNumeric, parseNumber, CDbl, CInt(text) and CLng(text):
//   [blanks] [+|-] digits [. digits] [E|D [+|-] digits] [blanks]
//   (digits may be absent on one side of the point, not on both), or
//   [blanks] [+|-] &H hexdigits [blanks]  /  [blanks] [+|-] &O octaldigits [blanks].
// Blanks are space, tab, line feed, vertical tab, form feed and carriage return. A "&H"/"&O"
// value that fits 16 bits is read as a signed 16-bit number ("&HFFFF" is -1), one that fits
// 32 bits as a signed 32-bit number ("&HFFFFFFFF" is -1); a wider one overflows. The decimal
// point is ".". Thousands separators, currency signs and parentheses are not accepted, nor
// is an embedded NUL (the text is never cut at a NUL).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/common.h"

namespace platform::text {

// True when the whole text (apart from surrounding blanks) is a number in range, as above.
// The empty text and a text of blanks are not numeric.
bool IsNumeric(std::u16string_view s);

// The strict coercion of a text to a number (CDbl's rules, syntax above). nullopt when the
// text is not a number; raises Overflow when it is one but lies outside the double range or,
// for "&H"/"&O", outside 32 bits. A magnitude too small for a double gives 0.
std::optional<double> parseNumber(std::u16string_view s);

// parseNumber, raising TypeMismatch for a text that is not a number.
double CDbl(std::u16string_view s);

// Val: the number at the start of the text. Spaces, tabs and line feeds are skipped wherever
// they are ("1 2 3" is 123); reading stops at the first character that cannot continue the
// number, and a text with no number gives 0. "&H"/"&O" read hexadecimal/octal digits, 16-bit
// or 32-bit signed as for parseNumber; a "&" right after them forces 32 bits ("&HFFFF&" is
// 65535). An exponent without digits is ignored ("1E" is 1). Raises Overflow when the number
// lies outside the double range or a "&H"/"&O" value is wider than 32 bits.
double Val(std::u16string_view s);

// Round to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4,
// -2.5 -> -2). Infinities and NaN come back unchanged.
double roundHalfEven(double x);

// Conversions to 16-bit (Integer) and 32-bit (Long) integers: round half to even, then raise
// Overflow when the result is out of range (NaN and infinities overflow too). The text forms
// go through parseNumber (TypeMismatch when the text is not a number).
std::int16_t CInt(double x);
std::int32_t CLng(double x);
std::int16_t CInt(std::u16string_view s);
std::int32_t CLng(std::u16string_view s);

// CStr of a double: up to 15 significant digits, no trailing zeros, no "+" sign; exponent form
// ("1E+15", "1.5E-07", "1E-05") when the decimal exponent is 15 or more or below -4, exactly
// as printf's "%.15G". "-0" prints "0"; infinities print "1.#INF" / "-1.#INF", NaN "NaN".
// The decimal point is always ".".
std::u16string formatNumber(double x);

// Hex of a Long: uppercase hexadecimal without leading zeros; a negative value as its 32-bit
// two's complement (Hex(-1) is "FFFFFFFF"). Values outside -2^31 .. 2^32-1 raise Overflow.
std::u16string Hex(std::int64_t n);
// Hex of an Integer: a negative value as its 16-bit two's complement (Hex16(-1) is "FFFF").
std::u16string Hex16(std::int16_t n);

// n in decimal with leading zeros up to width digits, like Format(n, "00") for width 2; a
// negative number keeps its sign in front ("-05"). Never truncates.
std::u16string zeroPad(std::int64_t n, int width);

}  // namespace platform::text
