#include "ciphers/convert.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>

#include "ciphers/failure.h"
#include "ciphers/state.h"
#include "platform/com/runtime.h"
#include "platform/outside/aesbridge.h"
#include "platform/outside/outside.h"
#include "platform/system/files.h"
#include "platform/system/givenfile.h"
#include "platform/system/machine.h"
#include "platform/text/text.h"

namespace ciphra {

namespace com = platform::com;
namespace text = platform::text;

namespace {

thread_local TraceListener listener;

bool debugging() {
    return state().debug == kDebugCode;
}

// Every byte as two upper-case hexadecimal digits and a blank.
std::u16string hexListing(const Bytes& bytes) {
    std::u16string out;
    for (std::uint8_t b : bytes) {
        out += text::hexWord(b, 2, text::HexCase::Upper);
        out += u' ';
    }
    return out;
}

}  // namespace

using namespace platform::outside::aesbridge;

std::shared_ptr<com::Dispatch> aesBridge() {
    platform::outside::ensureRegistered();
    std::shared_ptr<com::Dispatch> object;
    com::HRESULT h = com::CoCreateInstance(platform::outside::CLSID_AesBridge, object);
    if (com::FAILED(h) || !object) com::raise(com::FAILED(h) ? h : com::E_NOINTERFACE);
    return object;
}

com::Variant callBridge(com::Dispatch& bridge, com::DispId id, com::Variant arg) {
    return com::invoke(bridge, id, com::DISPATCH_METHOD, {std::move(arg)});
}

unsigned codePageOf(std::u16string_view charset) {
    return text::equalsNoCase(charset, u"utf-8") ? text::kCodePageUtf8 : text::kCodePageKorean;
}

Bytes unicodeToCodePage(const Bytes& utf16le, std::u16string_view charset) {
    const std::size_t units = utf16le.size() / 2;
    if (units == 0) return {};
    std::u16string s = text::fromUtf16leBytes(std::span(utf16le.data(), units * 2));
    return text::toCodePage(s, codePageOf(charset));
}

Bytes codePageToUnicode(const Bytes& bytes, std::u16string_view charset) {
    if (bytes.empty()) return {};
    return text::toUtf16leBytes(text::fromCodePage(bytes, codePageOf(charset)));
}

Bytes textToCodePage(std::u16string_view s, std::u16string_view charset) {
    if (s.empty()) fail(kErrSubscript, u"Subscript out of range");
    // Converted a piece at a time into one buffer of at least a byte per character, so a long
    // text is never held again in between. A piece never ends between the two halves of a
    // surrogate pair; the code pages keep no state from one character to the next, so the
    // pieces join into the bytes of the whole text.
    constexpr std::size_t kPiece = 64 * 1024;
    const unsigned codePage = codePageOf(charset);
    Bytes out;
    out.reserve(s.size());
    for (std::size_t at = 0; at < s.size();) {
        std::size_t n = std::min(kPiece, s.size() - at);
        const char16_t last = s[at + n - 1];
        if (at + n < s.size() && last >= 0xD800 && last <= 0xDBFF) --n;
        const Bytes piece = text::toCodePage(s.substr(at, n), codePage);
        out.insert(out.end(), piece.begin(), piece.end());
        at += n;
    }
    return out;
}

Bytes recode(const Bytes& bytes, std::u16string_view from, std::u16string_view to) {
    return unicodeToCodePage(codePageToUnicode(bytes, from), to);
}

void saveBytesToFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) fail(kErrFileAccess, u"Path/File access error");
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) fail(kErrFileAccess, u"Path/File access error");
}

Bytes readBytesFromFile(std::u16string_view fileName, std::size_t limit) {
    std::string read;
    platform::system::GivenFileError failure;
    if (!platform::system::readGivenFile(platform::system::fromPlatformPath(fileName), limit, read,
                                         failure)) {
        if (failure.error == EFBIG) fail(kErrOutOfMemory, u"Out of memory");
        fail(kErrFileAccess, u"Path/File access error");
    }
    if (read.empty()) fail(kErrSubscript, u"Subscript out of range");
    return Bytes(read.begin(), read.end());
}

std::filesystem::path debugFolder() {
    return platform::system::machineFolder() / "debug";
}

Bytes stringToBytes(std::u16string_view s, std::u16string_view charset) {
    Bytes bytes = textToCodePage(s, charset);
    if (debugging()) {
        traceSink(u">>>StringToBytes");
        traceSink(s);
        traceSink(hexListing(bytes));
    }
    return bytes;
}

std::u16string bytesToString(const Bytes& bytes) {
    if (debugging()) {
        traceSink(u">>>BYTES_TO_STRING");
        traceSink(hexListing(bytes));
        try {
            std::filesystem::create_directories(debugFolder());
            saveBytesToFile(debugFolder() / "BYTES_TO_STRING.txt", bytes);
        } catch (...) {
            traceSink(u"BYTES_TO_STRING: " + currentDescription());
        }
        traceSink(u"Default-" + text::fromAnsi(bytes));
        traceSink(u"euc-kr -" + text::fromAnsi(recode(bytes, state().charset, u"euc-kr")));
    }
    return text::fromAnsi(bytes);
}

std::u16string b64EncodeText(std::u16string_view s) {
    auto bridge = aesBridge();
    return callBridge(*bridge, EncodeBase64, com::Variant(s)).toText();
}

std::u16string b64EncodeBytes(const Bytes& bytes) {
    auto bridge = aesBridge();
    return callBridge(*bridge, EncodeBase64, com::Variant(bytes)).toText();
}

std::u16string b64DecodeText(std::u16string_view base64) {
    auto bridge = aesBridge();
    return callBridge(*bridge, DecodeBase64, com::Variant(base64)).toText();
}

Bytes b64DecodeBytes(std::u16string_view base64) {
    auto bridge = aesBridge();
    return callBridge(*bridge, DecodeBase64, com::Variant(base64)).toBytes();
}

std::u16string b64EncodeAnsi(std::u16string_view s, bool compress) {
    auto bridge = aesBridge();
    com::Variant data = compress ? callBridge(*bridge, CompressData, com::Variant(s))
                                 : com::Variant(text::toAnsi(s));
    return callBridge(*bridge, EncodeBase64, std::move(data)).toText();
}

void traceSink(std::u16string_view line, int level) {
    if (!listener) return;
    try {
        listener(line, level);
    } catch (...) {
    }
}

void setTraceListener(TraceListener l) {
    listener = std::move(l);
}

}  // namespace ciphra
