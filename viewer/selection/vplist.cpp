#include "viewer/selection/vplist.h"

#include <cerrno>
#include <exception>
#include <pugixml.hpp>
#include <system_error>

#include "platform/com/runtime.h"
#include "platform/outside/aesbridge.h"
#include "platform/outside/outside.h"
#include "platform/system/files.h"
#include "platform/system/givenfile.h"
#include "platform/system/storefile.h"
#include "platform/text/codepage.h"
#include "platform/text/common.h"
#include "platform/text/numbers.h"
#include "platform/text/strings.h"
#include "viewer/log/log.h"
#include "viewer/probes/probes.h"
#include "viewer/selection/ports.h"
#include "viewer/state/module_state.h"

namespace vistrel {

namespace com = platform::com;
namespace txt = platform::text;
using namespace platform::outside::aesbridge;

namespace {

constexpr char16_t kRecordSeparator = 7;
constexpr char16_t kFieldSeparator = 8;
constexpr std::uintmax_t kMaxFileSize = 4 * 1024 * 1024;

constexpr const char16_t* kListKey =
    u"Hw3qLm8ZtR2vXp7NcK4bJd9FsG1yUe6AoT5iWr0QhV3nMz8LkP2xCb7DjS4fYg9RaE1uNt6OwI5mHq0ZvB3lKs8XpT2dF"
    u"c"
    u"7GyJ4eNr5W";

// A new AesBridge set to the list's cipher; raises when the component cannot be created.
std::shared_ptr<com::Dispatch> listCipher() {
    platform::outside::ensureRegistered();
    std::shared_ptr<com::Unknown> unknown;
    if (com::FAILED(com::CoCreateInstance(platform::outside::CLSID_AesBridge, com::CLSCTX_ALL,
                                          com::IID_IUnknown, unknown)) ||
        !unknown)
        throw txt::Error(429, u"ActiveX component can't create object");
    auto bridge = com::query<com::Dispatch>(unknown, platform::outside::IID_IAesBridge);
    if (!bridge) throw txt::Error(429, u"ActiveX component can't create object");
    com::invoke(*bridge, SetKeySize, com::DISPATCH_METHOD, {com::Variant(std::int32_t(128))});
    com::invoke(*bridge, SetCipherMode, com::DISPATCH_METHOD, {com::Variant(std::int32_t(1))});
    com::invoke(*bridge, SetKeyText, com::DISPATCH_METHOD, {com::Variant(kListKey)});
    return bridge;
}

std::string describe(const std::exception& e) {
    if (const auto* c = dynamic_cast<const com::ComError*>(&e))
        return txt::toUtf8(c->description());
    if (const auto* t = dynamic_cast<const txt::Error*>(&e)) return txt::toUtf8(t->description());
    return e.what();
}

// Every text of the document, in document order (the document's text).
void collectText(const pugi::xml_node& node, std::u16string& out) {
    for (const auto& child : node.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            out += txt::fromUtf8(child.value());
        else
            collectText(child, out);
    }
}

// The file a path names on a file system that ignores case: the path itself when it exists,
// else the entry of its folder whose name differs only in case.
std::filesystem::path actualFile(const std::u16string& path) {
    const std::filesystem::path exact = txt::toUtf8(path);
    std::error_code ec;
    if (std::filesystem::exists(exact, ec)) return exact;
    const std::u16string name = txt::fromUtf8(exact.filename().string());
    std::filesystem::directory_iterator it(exact.parent_path(), ec), end;
    for (; !ec && it != end; it.increment(ec))
        if (txt::equalsNoCase(txt::fromUtf8(it->path().filename().string()), name))
            return it->path();
    return exact;
}

}  // namespace

bool IsProgramKind(std::u16string_view kind) {
    return txt::equalsNoCase(kind, u"가상프린터 프로그램") ||
           txt::equalsNoCase(kind, u"원격 제어 프로그램");
}

std::u16string virtualPrinterListText(const std::vector<VirtualPrinterEntry>& entries) {
    std::u16string text = txt::fromUtf8(std::to_string(entries.size()));
    for (const auto& e : entries) text += kRecordSeparator + e.first + kFieldSeparator + e.second;
    return text;
}

bool writeVirtualPrinterFile(const std::filesystem::path& file,
                             const std::vector<VirtualPrinterEntry>& entries, std::string& error) {
    return writeVirtualPrinterText(file, virtualPrinterListText(entries), error);
}

bool writeVirtualPrinterText(const std::filesystem::path& file, const std::u16string& plainText,
                             std::string& error) {
    std::u16string base64;
    try {
        auto bridge = listCipher();
        com::Variant sealed =
            com::invoke(*bridge, EncryptData, com::DISPATCH_METHOD, {com::Variant(plainText)});
        base64 = com::invoke(*bridge, EncodeBase64, com::DISPATCH_METHOD, {sealed}).toText();
    } catch (const std::exception& e) {
        error = "the list cannot be enciphered: " + describe(e);
        return false;
    }
    // Lines of 76 characters keep the document readable; the reader skips the line breaks.
    std::string body;
    const std::string b64 = txt::toUtf8(base64);
    for (std::size_t at = 0; at < b64.size(); at += 76) body += "\n" + b64.substr(at, 76);
    const std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<vplist>" + body + "\n</vplist>\n";

    // Whole and durable: written beside, synced and renamed over the old list, which stays as
    // it was when anything fails.
    std::string why;
    int errorNumber = 0;
    if (!platform::system::replaceFileAtomically(file, document, why, errorNumber)) {
        error = why;
        return false;
    }
    return true;
}

std::optional<std::u16string> readVirtualPrinterText(const std::filesystem::path& file,
                                                     std::string& error, bool& notAList) {
    notAList = true;
    std::string bytes;
    platform::system::GivenFileError failure;
    if (!platform::system::readGivenFile(file, kMaxFileSize, bytes, failure)) {
        if (failure.error == ENOENT || failure.error == EINVAL)
            error = "no list file " + file.string();
        else if (failure.error == EFBIG)
            error = "the list file is too large to be a list";
        else
            error = "the list file cannot be read: " + failure.why;
        return std::nullopt;
    }
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = doc.load_buffer(bytes.data(), bytes.size());
    if (!parsed) {
        error = std::string("the list file is not XML: ") + parsed.description();
        return std::nullopt;
    }
    std::u16string text;
    collectText(doc, text);
    notAList = false;
    try {
        auto bridge = listCipher();
        com::Variant sealed =
            com::invoke(*bridge, DecodeBase64, com::DISPATCH_METHOD, {com::Variant(text)});
        com::Variant plain = com::invoke(*bridge, DecryptData, com::DISPATCH_METHOD, {sealed});
        return plain.toText();
    } catch (const std::exception& e) {
        error = "the list does not decipher: " + describe(e);
        return std::nullopt;
    }
}

void splitVirtualPrinterList(const std::u16string& text, std::vector<VirtualPrinterEntry>& read) {
    const auto records = txt::Split(text, std::u16string(1, kRecordSeparator), -1, true);
    if (records.empty()) throw txt::Error(9, u"Subscript out of range");
    const std::int16_t n = txt::CInt(records[0]);
    for (std::int32_t i = 1; i <= n; ++i) {
        if (std::size_t(i) >= records.size()) throw txt::Error(9, u"Subscript out of range");
        const auto fields =
            txt::Split(records[std::size_t(i)], std::u16string(1, kFieldSeparator), -1, true);
        if (fields.size() < 2) throw txt::Error(9, u"Subscript out of range");
        read.push_back({fields[0], fields[1]});
    }
}

bool SetVirtualPrinter() {
    WriteLog(u"가상 프린터 목록", 0);
    auto& lists = moduleState().lists;
    lists.VirtualPrinterList.clear();
    lists.VirtualPrinterCount = 0;
    lists.ProgramList.clear();

    const std::u16string path = GetSystemFolder() + kVirtualPrinterFileName;
    if (!FileExist(path)) return true;
    std::string error;
    bool notAList = false;
    std::optional<std::u16string> text = readVirtualPrinterText(actualFile(path), error, notAList);
    if (!text) {
        if (notAList) return true;
        WriteLog(u"가상 프린터 목록 오류 - " + txt::fromUtf8(error), 1);
        return false;
    }

    // Each record goes into the lists as soon as it is read, so a fault keeps those before it.
    struct Sink {
        SelectionLists& lists;
        std::size_t taken = 0;
        void take(const std::vector<VirtualPrinterEntry>& read) {
            for (; taken < read.size(); ++taken) {
                const auto& e = read[taken];
                if (IsProgramKind(e.first)) {
                    lists.ProgramList.push_back({e.first, e.second});
                    continue;
                }
                lists.VirtualPrinterList.push_back(
                    {txt::LCase(txt::Replace(e.first, u"\r\n", u"")), txt::LCase(e.second)});
                lists.VirtualPrinterCount = std::int16_t(lists.VirtualPrinterList.size());
            }
        }
    } sink{lists};
    std::vector<VirtualPrinterEntry> read;
    try {
        const auto records = txt::Split(*text, std::u16string(1, kRecordSeparator), -1, true);
        WriteLog(u"가상 프린터 목록 건수 - " + (records.empty() ? u"" : records[0]), 1);
        splitVirtualPrinterList(*text, read);
        sink.take(read);
        return true;
    } catch (const std::exception& e) {
        sink.take(read);
        WriteLog(u"가상 프린터 목록 오류 - " + txt::fromUtf8(describe(e)), 1);
        return false;
    }
}

}  // namespace vistrel
