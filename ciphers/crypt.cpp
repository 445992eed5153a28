#include "ciphers/crypt.h"

#include "ciphers/ciphers.h"
#include "ciphers/convert.h"
#include "ciphers/headed.h"
#include "ciphers/messagekey.h"
#include "ciphers/state.h"
#include "platform/text/text.h"

#ifndef CIPHRA_VERSION_MAJOR
#define CIPHRA_VERSION_MAJOR 1
#define CIPHRA_VERSION_MINOR 0
#define CIPHRA_VERSION_REVISION 0
#endif

namespace ciphra {

namespace com = platform::com;
namespace text = platform::text;

namespace {

constexpr std::u16string_view kVersionComment = u"";

std::u16string notDefined(std::u16string_view provider) {
    return u"암호화 알고리즘 " + std::u16string(provider) + u"이(가) 정의되어 있지 않습니다.";
}

// The aria provider: the headed format over a new native object, ARIA with a 256-bit key.
std::u16string aria(std::u16string_view input, bool encoding) {
    HeadedState& hs = state().headed;
    std::u16string result;
    try {
        hs.native = createNativeCrypt();
        hs.algorithmSetting = 2;
        hs.keyLength = 256;
        result =
            encoding ? encodeSealwyn(text::Trim(input)) : decodeSealwyn(text::Trim(input), false);
    } catch (const com::ComError& e) {
        hs.errorFlag = -1;
        hs.errorText = e.description().empty() ? com::describe(e.hr()) : e.description();
    }
    if (hs.errorFlag == -1) traceSink(u"aria: " + hs.errorText);
    return result;
}

}  // namespace

std::u16string versionText() {
    return text::fromUtf8(std::to_string(CIPHRA_VERSION_MAJOR) + "." +
                          std::to_string(CIPHRA_VERSION_MINOR) + "." +
                          std::to_string(CIPHRA_VERSION_REVISION)) +
           u" " + std::u16string(kVersionComment);
}

Crypt::Crypt() {
    state().charset = u"euc-kr";
    state().debug = u"0";
}

std::u16string Crypt::encode(std::u16string_view plainText) {
    return run(plainText, true);
}
std::u16string Crypt::decode(std::u16string_view cipherText) {
    return run(cipherText, false);
}

std::u16string Crypt::run(std::u16string_view input, bool encoding) {
    const std::u16string_view name = encoding ? u"encode" : u"decode";
    traceSink(std::u16string(name) + u".............[Start]" + state().charset);
    if (input.empty()) return {};
    if (provider.empty()) return std::u16string(kNoProvider);
    if (!encoding) state().lastMessageKey.clear();

    std::vector<std::u16string> pieces = text::Split(provider, u"/");
    const std::u16string vendor = pieces.empty() ? std::u16string() : text::LCase(pieces[0]);
    const bool known = vendor == u"velmora" || vendor == u"initech";
    if (known && pieces.size() < 2) com::raise(com::hr(0x800A0009), u"Subscript out of range");
    const std::u16string algorithm = pieces.size() > 1 ? text::LCase(pieces[1]) : u"";

    std::u16string result;
    if (vendor == u"velmora" && algorithm == u"des")
        result = encoding ? desEncode(input) : desDecode(input);
    else if (vendor == u"velmora" && algorithm == u"blowfish")
        result = encoding ? blowfishEncode(input) : blowfishDecode(input);
    else if (vendor == u"velmora" && algorithm == u"pki")
        result = encoding ? rsaEncode(input, publicKey) : rsaDecode(input, privateKey);
    else if (vendor == u"velmora" && algorithm == u"aria")
        result = aria(input, encoding);
    else if (vendor == u"initech" && algorithm == u"inisafenet")
        result = u"";
    else
        return notDefined(provider);

    traceSink(std::u16string(name) + u".............[End]");
    return result;
}

void Crypt::startPage(const com::Variant& context) {
    auto page = context.dispatch();
    auto take = [&](std::u16string_view member) -> std::shared_ptr<com::Dispatch> {
        if (!page) return nullptr;
        try {
            return com::get(*page, member).dispatch();
        } catch (const com::ComError&) {
            return nullptr;
        }
    };
    session_ = take(u"Session");
    application_ = take(u"Application");
    request_ = take(u"Request");
    response_ = take(u"Response");
    server_ = take(u"Server");
}

void Crypt::endPage() {
    session_.reset();
    application_.reset();
    request_.reset();
    response_.reset();
    server_.reset();
}

const com::Members<Crypt>& Crypt::members() {
    using namespace com;
    static const Members<Crypt> m =
        Members<Crypt>(u"_Crypt", IID_Crypt)
            .method(slot(0), u"OnStartPage", VT_EMPTY, {{u"piUnk", VT_UNKNOWN}},
                    [](Crypt& self, Call& c) { self.startPage(c.arg(0)); })
            .method(slot(1), u"OnEndPage", VT_EMPTY, {}, [](Crypt& self, Call&) { self.endPage(); })
            .put(slot(2), u"Provider", VT_BSTR,
                 [](Crypt& self, Call& c) { self.provider = c.text(0); })
            .get(slot(2), u"Provider", VT_BSTR,
                 [](Crypt& self, Call& c) { c.result = self.provider; })
            .put(slot(3), u"Path", VT_BSTR, [](Crypt& self, Call& c) { self.path = c.text(0); })
            .method(slot(15), u"encode", VT_BSTR, {{u"PlainText", VT_BSTR}},
                    [](Crypt& self, Call& c) { c.result = self.encode(c.text(0)); })
            .method(slot(17), u"decode", VT_BSTR, {{u"CipherText", VT_BSTR}},
                    [](Crypt& self, Call& c) { c.result = self.decode(c.text(0)); })
            .method(slot(22), u"GenerateKey", VT_BSTR, {},
                    [](Crypt&, Call& c) { c.result = generateKey(); })
            .method(slot(23), u"CheckKey", VT_BOOL, {{u"mKey", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = checkKey(c.text(0)); })
            .put(slot(29), u"charset", VT_BSTR,
                 [](Crypt&, Call& c) { state().charset = c.text(0); })
            .get(slot(29), u"charset", VT_BSTR, [](Crypt&, Call& c) { c.result = state().charset; })
            .get(slot(30), u"Version", VT_BSTR, [](Crypt&, Call& c) { c.result = versionText(); })
            .put(slot(31), u"Debugging", VT_BSTR,
                 [](Crypt&, Call& c) { state().debug = c.text(0); });
    return m;
}

}  // namespace ciphra
