// Texts to bytes of the charset code pages and back, Base64 and compression through the
// outside component AesBridge, the debug dumps and the library's trace sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/dispatch.h"

namespace ciphra {

using Bytes = std::vector<std::uint8_t>;

// "utf-8" (without regard to case) is 65001; every other name, the empty one too, is 949.
unsigned codePageOf(std::u16string_view charset);

// UTF-16LE bytes (an odd last byte is ignored) to the charset's code page, and back.
// Never fail: an empty input gives an empty result.
Bytes unicodeToCodePage(const Bytes& utf16le, std::u16string_view charset);
Bytes codePageToUnicode(const Bytes& bytes, std::u16string_view charset);
// Raises error 9 "Subscript out of range" for an empty text, which has no bytes.
Bytes textToCodePage(std::u16string_view text, std::u16string_view charset);
Bytes recode(const Bytes& bytes, std::u16string_view from, std::u16string_view to);
// Writes the bytes to the file, replacing it.
void saveBytesToFile(const std::filesystem::path& path, const Bytes& bytes);

// The most each kind of file the library reads may hold: a key file of LoadKey, a file that
// the file members encode (pictures, watermarks, texts), a report layout of the bundle.
inline constexpr std::size_t kKeyFileLimit = 1 << 20;
inline constexpr std::size_t kMemberFileLimit = 16 << 20;
inline constexpr std::size_t kLayoutFileLimit = 16 << 20;

// All bytes of a regular file named as the platform writes paths; never creates it and never
// waits on a named pipe or a device. A missing or unreadable file, or one that is not a regular
// file, raises error 75; one larger than `limit` error 7; a file of no bytes error 9 (it has
// nothing to read).
Bytes readBytesFromFile(std::u16string_view fileName, std::size_t limit);

// textToCodePage with the debug dump when the thread's debug switch is the debug code.
Bytes stringToBytes(std::u16string_view text, std::u16string_view charset);
// The bytes as text through the system ANSI code page, with the debug dump.
std::u16string bytesToString(const Bytes& bytes);

// Where the debug dumps go: the folder "debug" in the machine folder.
std::filesystem::path debugFolder();

// A new AesBridge object, and one call of its member with one argument. Failures raise.
std::shared_ptr<platform::com::Dispatch> aesBridge();
platform::com::Variant callBridge(platform::com::Dispatch& bridge, platform::com::DispId id,
                                  platform::com::Variant arg);

// Base64 through AesBridge (a new object for each call). A text stands for its UTF-16LE
// bytes; a decoded value taken as text is read as UTF-16LE. Failures raise ComError.
std::u16string b64EncodeText(std::u16string_view text);
std::u16string b64EncodeBytes(const Bytes& bytes);
std::u16string b64DecodeText(std::u16string_view base64);
Bytes b64DecodeBytes(std::u16string_view base64);
// With `compress`, the text compressed by AesBridge; otherwise its ANSI bytes; in Base64.
std::u16string b64EncodeAnsi(std::u16string_view text, bool compress);

// Every trace line of the library ends here; it keeps nothing. Tests may listen.
void traceSink(std::u16string_view line, int level = 0);
using TraceListener = std::function<void(std::u16string_view, int)>;
void setTraceListener(TraceListener listener);

}  // namespace ciphra
