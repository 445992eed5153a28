#include "ciphers/crypt.h"

#include "ciphers/ciphers.h"
#include "ciphers/convert.h"
#include "ciphers/failure.h"
#include "ciphers/headed.h"
#include "ciphers/libs.h"
#include "ciphers/messagekey.h"
#include "ciphers/signing.h"
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
        return algorithmNotDefined(provider);

    traceSink(std::u16string(name) + u".............[End]");
    return result;
}

void Crypt::generateKeyPair() {
    std::tie(publicKey, privateKey) = rsaKeyGenerate();
}

std::u16string Crypt::keyFileText() const {
    return b64EncodeText(privateKey + u"|" + publicKey);
}

std::u16string Crypt::loadKey(std::u16string_view keyPath) {
    try {
        const std::u16string decoded =
            b64DecodeText(text::fromAnsi(readBytesFromFile(keyPath, kKeyFileLimit)));
        std::vector<std::u16string> pieces = text::Split(decoded, u"|");
        if (pieces.size() < 2) fail(kErrSubscript, u"Subscript out of range");
        privateKey = pieces[0];
        publicKey = pieces[1];
        return decoded;
    } catch (...) {
        return currentDescription();
    }
}

std::u16string Crypt::getLayout(std::u16string_view rpxFiles) const {
    if (provider.empty()) return std::u16string(kNoProviderTight);
    if (path.empty()) return u"레이아웃 폴더가 정의되어 있지않습니다.";
    Layout layout;
    layout.setProvider(provider);
    layout.setPath(path);
    return layout.getLayout(rpxFiles);
}

std::u16string Crypt::getWatermark(std::u16string_view fileName) const {
    if (provider.empty()) return std::u16string(kNoProvider);
    return libsWatermark(fileName, provider);
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
            .method(slot(4), u"replaceAll", VT_BSTR,
                    {{u"oStr", VT_BSTR}, {u"FromStr", VT_BSTR}, {u"ToStr", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = replaceAll(c.text(0), c.text(1), c.text(2)); })
            .method(slot(5), u"B64Encode", VT_BSTR, {{u"data", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = b64Encode(c.text(0)); })
            .method(slot(6), u"B64Decode", VT_BSTR, {{u"data", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = b64Decode(c.text(0)); })
            .method(slot(7), u"setQuery", VT_EMPTY, {{u"qry", VT_BSTR}},
                    [](Crypt& self, Call& c) { self.query.set(c.text(0)); })
            .method(slot(8), u"getQuery", VT_BSTR, {{u"qName", VT_BSTR}},
                    [](Crypt& self, Call& c) { c.result = self.query.get(c.text(0)); })
            .method(slot(9), u"aspFormat", VT_BSTR, {{u"data", VT_VARIANT}, {u"fmt", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = aspFormat(c.arg(0), c.text(1)); })
            .method(slot(10), u"GetTimeDate", VT_BSTR, {},
                    [](Crypt&, Call& c) { c.result = libsDateTime(); })
            .method(slot(11), u"getDateTime", VT_BSTR, {},
                    [](Crypt&, Call& c) { c.result = libsDateTime(); })
            .method(
                slot(12), u"Sign", VT_BSTR,
                {{u"data", VT_BSTR}, {u"CertPath", VT_BSTR}, {u"CertPassword", VT_BSTR}},
                [](Crypt&, Call& c) { c.result = signEnvelope(c.text(0), c.text(1), c.text(2)); })
            .method(slot(13), u"Verify", VT_BSTR, {{u"data", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = verifyEnvelope(c.text(0)); })
            .method(slot(14), u"encodeSHA1", VT_BSTR, {{u"PlainText", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = encodeChecked(c.text(0)); })
            // The declared text arguments are texts by now: read where they lie.
            .method(slot(15), u"encode", VT_BSTR, {{u"PlainText", VT_BSTR}},
                    [](Crypt& self, Call& c) { c.result = self.encode(c.arg(0).text()); })
            .method(slot(16), u"decodeSHA1", VT_BSTR, {{u"CipherText", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = decodeChecked(c.text(0)); })
            .method(slot(17), u"decode", VT_BSTR, {{u"CipherText", VT_BSTR}},
                    [](Crypt& self, Call& c) { c.result = self.decode(c.text(0)); })
            .method(slot(18), u"GetLayout", VT_BSTR, {{u"rpxFiles", VT_BSTR}},
                    [](Crypt& self, Call& c) { c.result = self.getLayout(c.text(0)); })
            .method(slot(19), u"GetWatermark", VT_BSTR, {{u"FileName", VT_BSTR}},
                    [](Crypt& self, Call& c) { c.result = self.getWatermark(c.text(0)); })
            .method(slot(20), u"getXml", VT_BSTR, {{u"Url", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = getXml(c.text(0)); })
            .method(slot(21), u"getEncodedXml", VT_BSTR, {{u"Url", VT_BSTR}},
                    [](Crypt& self, Call& c) { c.result = self.encode(getXml(c.text(0))); })
            .method(slot(22), u"GenerateKey", VT_BSTR, {},
                    [](Crypt&, Call& c) { c.result = generateKey(); })
            .method(slot(23), u"CheckKey", VT_BOOL, {{u"mKey", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = checkKey(c.text(0)); })
            .method(slot(24), u"PKIKeyGenerate", VT_EMPTY, {},
                    [](Crypt& self, Call&) { self.generateKeyPair(); })
            .get(slot(25), u"PublicKey", VT_BSTR,
                 [](Crypt& self, Call& c) { c.result = self.publicKey; })
            .get(slot(26), u"PrivateKey", VT_BSTR,
                 [](Crypt& self, Call& c) { c.result = self.privateKey; })
            .method(slot(27), u"getPKIKey", VT_BSTR, {},
                    [](Crypt& self, Call& c) { c.result = self.keyFileText(); })
            .method(slot(28), u"LoadKey", VT_VARIANT, {{u"KeyPath", VT_BSTR}},
                    [](Crypt& self, Call& c) { c.result = self.loadKey(c.text(0)); })
            .put(slot(29), u"charset", VT_BSTR,
                 [](Crypt&, Call& c) { state().charset = c.text(0); })
            .get(slot(29), u"charset", VT_BSTR, [](Crypt&, Call& c) { c.result = state().charset; })
            .get(slot(30), u"Version", VT_BSTR, [](Crypt&, Call& c) { c.result = versionText(); })
            .put(slot(31), u"Debugging", VT_BSTR,
                 [](Crypt&, Call& c) { state().debug = c.text(0); })
            .method(slot(32), u"b64encodeFile", VT_BSTR,
                    {{u"FileName", VT_BSTR}, {u"eType", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = libsB64EncodeFile(c.text(0), c.text(1)); })
            .method(slot(33), u"getDateTime2", VT_BSTR, {},
                    [](Crypt&, Call& c) { c.result = dateTime2(); })
            .method(slot(34), u"GetCertImage", VT_BSTR,
                    {{u"objTag", VT_BSTR}, {u"FileName", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = libsCertImage(c.text(0), c.text(1)); })
            .method(slot(35), u"GetCertWatermark", VT_BSTR, {{u"FileName", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = libsCertWatermark(c.text(0)); })
            .method(slot(36), u"B64EncodeZip", VT_BSTR, {{u"data", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = b64EncodeZip(c.text(0)); })
            .method(slot(37), u"B64DecodeZip", VT_BSTR, {{u"data", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = b64DecodeZip(c.text(0)); })
            .method(slot(38), u"readFile", VT_BSTR, {{u"FileName", VT_BSTR}, {u"eType", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = libsReadFile(c.text(0), c.text(1)); })
            .method(slot(39), u"getDateAdd2", VT_BSTR,
                    {{u"interval", VT_BSTR}, {u"newVal", VT_I4}, {u"oformat", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = dateAdd2(c.text(0), c.i4(1), c.text(2)); })
            .method(slot(40), u"seedEncrypt", VT_VARIANT,
                    {{u"pwd", VT_BSTR}, {u"PlainText", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = seedEncrypt(c.text(0), c.text(1)); })
            .method(slot(41), u"seedDecrypt", VT_VARIANT,
                    {{u"pwd", VT_BSTR}, {u"chiperText", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = seedDecrypt(c.text(0), c.text(1)); })
            .method(slot(42), u"ariaEncrypt", VT_VARIANT,
                    {{u"pwd", VT_BSTR}, {u"KeyLength", VT_I4}, {u"PlainText", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = ariaEncrypt(c.text(0), c.i4(1), c.text(2)); })
            .method(slot(43), u"ariaDecrypt", VT_VARIANT,
                    {{u"pwd", VT_BSTR}, {u"KeyLength", VT_I4}, {u"PlainText", VT_BSTR}},
                    [](Crypt&, Call& c) { c.result = ariaDecrypt(c.text(0), c.i4(1), c.text(2)); });
    return m;
}

}  // namespace ciphra
