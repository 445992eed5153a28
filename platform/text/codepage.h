// Conversions between texts (UTF-16) and bytes in a code page, backed by iconv.
//
// Supported code pages (iconv name in brackets):
//   949 (CP949, the Korean system code page; a superset of EUC-KR), 65001 (UTF-8),
//   1200 (UTF-16LE), 1201 (UTF-16BE), 20127 (ASCII), 28591 (ISO-8859-1), 1252 (CP1252),
//   932 (CP932), 936 (GBK), 950 (BIG5), 51949 (EUC-KR).
// Any other code page raises InvalidCall.
//
// Errors never raise:
//   - text -> bytes: a character the code page cannot hold becomes one "?" (a surrogate pair
//     counts as one character). A lone surrogate becomes "?" too, except in UTF-8 where it
//     becomes U+FFFD (EF BF BD), as the platform's UTF-8 encoder does.
//   - bytes -> text: every byte that does not start a valid sequence becomes U+FFFD, and
//     decoding resumes at the next byte, so one bad byte never swallows the valid text after
//     it. A truncated sequence at the end gives one U+FFFD per byte.
//   - UTF-16 (1200, 1201) is copied unit for unit: lone surrogates and NULs survive the round
//     trip; an odd last byte becomes U+FFFD.
// No byte-order mark is written, and none is removed when reading.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/common.h"

namespace platform::text {

inline constexpr unsigned kCodePageKorean = 949;
inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageUtf16le = 1200;

// UTF-8 at the Linux edges (file names, logs, Qt, command lines).
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view utf8);

// True when the code page is one of the supported ones above.
bool isSupportedCodePage(unsigned codePage);

// Text to bytes of a code page and back. Unknown code page: InvalidCall.
std::vector<std::uint8_t> toCodePage(std::u16string_view text, unsigned codePage);
std::u16string fromCodePage(std::span<const std::uint8_t> bytes, unsigned codePage);
std::u16string fromCodePage(std::string_view bytes, unsigned codePage);

// The code page of a charset name (compared without case): "euc-kr", "ks_c_5601-1987",
// "cp949", "windows-949" -> 949; "utf-8", "utf8" -> 65001; "utf-16", "utf-16le",
// "unicode" -> 1200; "utf-16be", "unicodefffe" -> 1201; "us-ascii", "ascii" -> 20127;
// "iso-8859-1", "latin1" -> 28591; "windows-1252" -> 1252. nullopt for any other name.
std::optional<unsigned> codePageOfCharset(std::string_view charset);
std::optional<unsigned> codePageOfCharset(std::u16string_view charset);

// Text to bytes of a named charset and back. Unknown charset: InvalidCall.
std::vector<std::uint8_t> toCharset(std::u16string_view text, std::string_view charset);
std::u16string fromCharset(std::span<const std::uint8_t> bytes, std::string_view charset);
std::u16string fromCharset(std::string_view bytes, std::string_view charset);

// The system ANSI code page: a process-wide setting, 949 unless changed. setAnsiCodePage
// raises InvalidCall for an unsupported code page.
unsigned ansiCodePage();
void setAnsiCodePage(unsigned codePage);

// Conversions through the system ANSI code page.
std::vector<std::uint8_t> toAnsi(std::u16string_view text);
std::u16string fromAnsi(std::span<const std::uint8_t> bytes);
std::u16string fromAnsi(std::string_view bytes);

// "Text as bytes": the UTF-16LE units of the text, two bytes each, as the platform converts a
// string to a byte array. No conversion happens, so every text survives the round trip.
std::vector<std::uint8_t> toUtf16leBytes(std::u16string_view text);
std::u16string fromUtf16leBytes(std::span<const std::uint8_t> bytes);

}  // namespace platform::text
