#include "ciphers/libs.h"

#include <chrono>
#include <ctime>
#include <fstream>

#include "ciphers/ciphers.h"
#include "ciphers/convert.h"
#include "ciphers/failure.h"
#include "ciphers/messagekey.h"
#include "ciphers/state.h"
#include "platform/system/files.h"
#include "platform/text/datetime.h"
#include "platform/text/text.h"

namespace ciphra {

namespace com = platform::com;
namespace text = platform::text;
namespace sys = platform::system;

namespace {

constexpr std::u16string_view kRuntimeError = u"오류 발생: ";

std::u16string fileNotFound(std::u16string_view fileName) {
    return u"파일 " + std::u16string(fileName) + u"을(를) 찾을 수 없습니다.";
}

bool found(std::u16string_view fileName, sys::Lookup kind) {
    return sys::lookupFile(sys::fromPlatformPath(fileName), kind);
}

// A Base64 text for a query parameter: every "==" becomes "#".
std::u16string parameterForm(std::u16string_view base64) {
    return text::Replace(base64, u"==", u"#");
}

// Des, Blowfish or the placeholder by the provider's two words; a known vendor without an
// algorithm word fails with error 9.
std::u16string encipher(std::u16string_view provider, std::u16string_view data) {
    std::vector<std::u16string> pieces = text::Split(provider, u"/");
    if (pieces.empty()) fail(kErrSubscript, u"Subscript out of range");
    const std::u16string vendor = text::LCase(pieces[0]);
    if ((vendor == u"velmora" || vendor == u"initech") && pieces.size() < 2)
        fail(kErrSubscript, u"Subscript out of range");
    if (vendor == u"velmora") {
        const std::u16string algorithm = text::LCase(pieces[1]);
        if (algorithm == u"des") return desEncode(data);
        if (algorithm == u"blowfish") return blowfishEncode(data);
    } else if (vendor == u"initech" && text::LCase(pieces[1]) == u"inisafenet") {
        return {};
    }
    return algorithmNotDefined(provider);
}

// The file members other than GetWatermark: a missing file and a run-time failure give
// their messages with a leading "&".
template <class Body>
std::u16string fileMember(std::u16string_view fileName, sys::Lookup kind, Body body) {
    try {
        if (!found(fileName, kind)) return u"&" + fileNotFound(fileName);
        return body();
    } catch (...) {
        return u"&" + std::u16string(kRuntimeError) + currentDescription();
    }
}

}  // namespace

std::u16string algorithmNotDefined(std::u16string_view provider) {
    return u"암호화 알고리즘 " + std::u16string(provider) + u"이(가) 정의되어 있지 않습니다.";
}

std::u16string libsDateTime() {
    const std::u16string now =
        text::formatDateTime(std::chrono::system_clock::now(), u"yyyy-MM-dd HH:mm:ss");
    return b64EncodeBytes(textToCodePage(now, state().charset));
}

std::u16string libsLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const long long seconds = static_cast<long long>(timegm(&local));
    return b64EncodeText(text::fromUtf8(std::to_string(seconds)));
}

std::u16string libsWatermark(std::u16string_view fileName, std::u16string_view provider) {
    if (provider.empty()) return std::u16string(kNoProviderTight);
    try {
        if (!found(fileName, sys::Lookup::Ordinary)) return fileNotFound(fileName);
        return encipher(provider, b64EncodeBytes(readBytesFromFile(fileName, kMemberFileLimit)));
    } catch (...) {
        return std::u16string(kRuntimeError) + currentDescription();
    }
}

std::u16string libsCertImage(std::u16string_view objTag, std::u16string_view fileName) {
    return fileMember(fileName, sys::Lookup::Ordinary, [&] {
        return std::u16string(objTag) + u"&" +
               parameterForm(b64EncodeBytes(readBytesFromFile(fileName, kMemberFileLimit)));
    });
}

std::u16string libsCertWatermark(std::u16string_view fileName) {
    return fileMember(fileName, sys::Lookup::Ordinary, [&] {
        return parameterForm(b64EncodeBytes(readBytesFromFile(fileName, kMemberFileLimit)));
    });
}

std::u16string libsB64EncodeFile(std::u16string_view fileName, std::u16string_view eType) {
    return fileMember(fileName, sys::Lookup::Ordinary, [&] {
        std::u16string base64 = b64EncodeBytes(readBytesFromFile(fileName, kMemberFileLimit));
        return eType == u"param" ? parameterForm(base64) : base64;
    });
}

std::u16string libsReadFile(std::u16string_view fileName, std::u16string_view eType) {
    return fileMember(fileName, sys::Lookup::WithHidden, [&] {
        Bytes bytes = readBytesFromFile(fileName, kMemberFileLimit);
        if (eType == u"utf-8")
            return text::fromUtf8(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        return text::fromAnsi(bytes);
    });
}

const com::Members<Libs>& Libs::members() {
    using namespace com;
    static const Members<Libs> m =
        Members<Libs>(u"_Libs", IID_Libs)
            .method(slot(0), u"getDateTime", VT_BSTR, {},
                    [](Libs&, Call& c) { c.result = libsDateTime(); })
            .method(slot(1), u"GetLocalTime", VT_BSTR, {},
                    [](Libs&, Call& c) { c.result = libsLocalTime(); })
            .method(slot(2), u"GetWatermark", VT_BSTR,
                    {{u"FileName", VT_BSTR}, {u"Provider", VT_VARIANT}},
                    [](Libs&, Call& c) { c.result = libsWatermark(c.text(0), c.text(1)); })
            .method(slot(3), u"GetCertImage", VT_BSTR,
                    {{u"objTag", VT_BSTR}, {u"FileName", VT_BSTR}},
                    [](Libs&, Call& c) { c.result = libsCertImage(c.text(0), c.text(1)); })
            .method(slot(4), u"GetCertWatermark", VT_BSTR, {{u"FileName", VT_BSTR}},
                    [](Libs&, Call& c) { c.result = libsCertWatermark(c.text(0)); })
            .method(slot(5), u"b64encodeFile", VT_BSTR,
                    {{u"FileName", VT_BSTR}, {u"eType", VT_BSTR}},
                    [](Libs&, Call& c) { c.result = libsB64EncodeFile(c.text(0), c.text(1)); })
            .method(slot(6), u"readFile", VT_BSTR, {{u"FileName", VT_BSTR}, {u"eType", VT_BSTR}},
                    [](Libs&, Call& c) { c.result = libsReadFile(c.text(0), c.text(1)); });
    return m;
}

// ---- Layout ----

std::u16string layoutBundle(std::u16string_view provider, std::u16string_view folder,
                            std::u16string_view rpxFiles) {
    if (provider.empty()) return std::u16string(kNoProviderTight);
    try {
        std::u16string bundle;
        bool first = true;
        for (const std::u16string& name : text::Split(rpxFiles, u",")) {
            const std::u16string full = std::u16string(folder) + name;
            // The lookup sets no error: the message carries an empty description.
            if (!found(full, sys::Lookup::Ordinary)) return std::u16string(kRuntimeError);
            std::u16string content = text::fromAnsi(readBytesFromFile(full, kLayoutFileLimit));
            if (!first) bundle += u'&';
            first = false;
            bundle += name + u'\x07' + content;
        }
        return encipher(provider, bundle);
    } catch (...) {
        return std::u16string(kRuntimeError) + currentDescription();
    }
}

void Layout::setProvider(std::u16string_view provider) {
    provider_ = text::Trim(provider);
}

void Layout::setPath(std::u16string_view path) {
    folder_ = path;
    if (folder_.empty() || folder_.back() != u'\\') folder_ += u'\\';
}

std::u16string Layout::getLayout(std::u16string_view rpxFiles) const {
    return layoutBundle(provider_, folder_, rpxFiles);
}

const com::Members<Layout>& Layout::members() {
    using namespace com;
    static const Members<Layout> m =
        Members<Layout>(u"_Layout", IID_Layout)
            .put(slot(0), u"Provider", VT_BSTR,
                 [](Layout& self, Call& c) { self.setProvider(c.text(0)); })
            .put(slot(1), u"Path", VT_BSTR, [](Layout& self, Call& c) { self.setPath(c.text(0)); })
            .method(slot(2), u"GetLayout", VT_BSTR, {{u"rpxFiles", VT_BSTR}},
                    [](Layout& self, Call& c) { c.result = self.getLayout(c.text(0)); })
            .method(slot(3), u"CheckKey", VT_BOOL, {{u"mKey", VT_BSTR}},
                    [](Layout&, Call& c) { c.result = checkKey(c.text(0)); });
    return m;
}

}  // namespace ciphra
