// The platform runtime's string functions on UTF-16 texts, with the runtime's rules:
// positions are 1-based and counted in UTF-16 units, a position below 1 or a negative length
// raises InvalidCall (error 5), and a "no case" comparison folds letters with the case
// mapping of toUpper/toLower below.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/common.h"

namespace platform::text {

// Case mapping of one UTF-16 unit: ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and the
// full-width Latin letters. Every other unit (Korean included) maps to itself; the mapping
// never changes a text's length.
char16_t toUpper(char16_t c);
char16_t toLower(char16_t c);
// The one case folding of the platform: units fold alike exactly when they are the same letter
// in either case (toLower of toUpper). Every comparison without regard to case uses it: the
// string functions here and the registry's key and value names.
char16_t foldCase(char16_t c);

// Whether the unit is a control character: C0 (U+0000 to U+001F), DEL (U+007F), C1 (U+0080 to
// U+009F), or the line and paragraph separators U+2028 and U+2029, which break lines too.
bool isControlCharacter(char16_t c);
// The text with every control character shown as an escape, so that a message written into a
// line-per-message log stays on its one line and carries nothing a terminal acts on: carriage
// return, line feed and tab as "\r", "\n" and "\t", the other units up to U+00FF as "\x"
// and two hex digits, the two separators as "\u2028" and "\u2029". Everything else, the
// backslash included, is kept as it is.
std::u16string showControlCharacters(std::u16string_view text);

// Length in UTF-16 units.
long Len(std::u16string_view s);

// Mid(s, start): from 1-based start to the end; Mid(s, start, length): at most length units.
// start < 1 or length < 0: InvalidCall. start beyond the end gives "".
std::u16string Mid(std::u16string_view s, long start);
std::u16string Mid(std::u16string_view s, long start, long length);
// The first / last n units (the whole text when n >= Len). n < 0: InvalidCall.
std::u16string Left(std::u16string_view s, long n);
std::u16string Right(std::u16string_view s, long n);

// 1-based position of the first find in s at or after start; 0 when absent. An empty s gives
// 0; otherwise an empty find gives start (0 when start > Len(s) + 1). start < 1: InvalidCall.
long InStr(std::u16string_view s, std::u16string_view find, bool noCase = false);
long InStr(long start, std::u16string_view s, std::u16string_view find, bool noCase = false);
// 1-based position of the last find that lies wholly within the first start units of s
// (start -1 means Len(s)); 0 when absent, when s is empty or when start > Len(s). An empty
// find gives start. start 0 or below -1: InvalidCall.
long InStrRev(std::u16string_view s, std::u16string_view find, long start = -1,
              bool noCase = false);

// Remove spaces (U+0020 only, as the runtime does) from both ends / the start / the end.
std::u16string Trim(std::u16string_view s);
std::u16string LTrim(std::u16string_view s);
std::u16string RTrim(std::u16string_view s);
// Remove white space from both ends: the space and the characters tab to carriage return
// (U+0009 to U+000D).
std::u16string TrimWhite(std::u16string_view s);

// Split s at every delim. An empty s gives no parts; an empty delim gives s as the only part.
// limit: the most parts returned, the last one holding the rest of s (-1: all; 0: none);
// below -1: InvalidCall.
std::vector<std::u16string> Split(std::u16string_view s, std::u16string_view delim = u" ",
                                  long limit = -1, bool noCase = false);
std::u16string Join(const std::vector<std::u16string>& parts, std::u16string_view delim = u" ");

// Replace every find in s with repl, scanning left to right without overlap. An empty find
// leaves s unchanged. The long form starts at start (the result begins there, as the runtime's
// Replace does: the units before start are dropped) and makes at most count replacements
// (-1: all). start < 1 or count < -1: InvalidCall.
std::u16string Replace(std::u16string_view s, std::u16string_view find, std::u16string_view repl,
                       bool noCase = false);
std::u16string Replace(std::u16string_view s, std::u16string_view find, std::u16string_view repl,
                       long start, long count, bool noCase = false);

std::u16string LCase(std::u16string_view s);
std::u16string UCase(std::u16string_view s);

// n copies of ch / n spaces. n < 0: InvalidCall.
std::u16string String(long n, char16_t ch);
std::u16string Space(long n);

// -1, 0 or 1 as a is before, equal to or after b: unit by unit, or after case folding.
int StrComp(std::u16string_view a, std::u16string_view b, bool noCase = false);
// Case-insensitive equality and order (the folding of StrComp with noCase).
bool equalsNoCase(std::u16string_view a, std::u16string_view b);
int compareNoCase(std::u16string_view a, std::u16string_view b);

// Character codes, as the runtime returns them (16-bit signed, so codes 0x8000 and up are
// negative). Asc: the code of the first character in the system ANSI code page (a double-byte
// character gives lead * 256 + trail); AscW: its UTF-16 unit. Empty s: InvalidCall.
int Asc(std::u16string_view s);
int AscW(std::u16string_view s);
// The character of an ANSI code (0..255, or a double-byte code lead * 256 + trail, negative
// values taken as 16-bit) / of a UTF-16 unit (-32768..65535). Out of range: InvalidCall.
std::u16string Chr(long code);
std::u16string ChrW(long code);

}  // namespace platform::text
