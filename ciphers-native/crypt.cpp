#include "ciphers-native/crypt.h"

#include <algorithm>

#include "ciphers-native/aria.h"
#include "ciphers-native/codings.h"
#include "ciphers-native/seed.h"
#include "platform/com/runtime.h"
#include "platform/outside/aesbridge.h"
#include "platform/outside/outside.h"
#include "platform/text/text.h"

namespace sealwyn {

namespace com = platform::com;
namespace text = platform::text;
using com::Call;
using com::Variant;

namespace {

// An 8-bit text argument: the text in the ANSI code page, read up to its first zero byte.
Bytes ansiArg(const Call& c, std::size_t i) {
    Bytes bytes = text::toAnsi(c.arg(i).toText());
    bytes.resize(untilNul(bytes).size());
    return bytes;
}

// An 8-bit result, returned as a text converted from the ANSI code page. Zero bytes inside
// become U+0000 characters: the length is counted, not searched.
std::u16string ansiResult(const Bytes& bytes) {
    return text::fromAnsi(bytes);
}

bool isValidKeyLength(std::int32_t bits) {
    return bits == 128 || bits == 192 || bits == 256;
}

std::u16string ariaEncrypt(const Bytes& pwd, std::int32_t bits, const Bytes& data) {
    // A length without a key schedule would encrypt under no round keys: answer nothing.
    if (!isValidKeyLength(bits)) return {};
    Aria aria;
    if (!aria.setKey(pwd, bits, Aria::Direction::Encrypt)) return {};
    return ansiResult(aria.encryptText(data));
}

std::u16string ariaDecrypt(const Bytes& pwd, std::int32_t bits, const Bytes& hex) {
    if (!isValidKeyLength(bits)) return {};
    Aria aria;
    if (!aria.setKey(pwd, bits, Aria::Direction::Decrypt)) return {};
    return ansiResult(aria.decryptText(hex));
}

// The white space of the C runtime's multibyte test: the space and tab to carriage return.
bool isSpace(std::uint8_t b) {
    return b == ' ' || (b >= '\t' && b <= '\r');
}

std::u16string seedDecrypt(const Bytes& pwd, const Bytes& hex) {
    Seed seed;
    seed.setKey(pwd);
    Bytes plain = seed.decryptText(hex);
    while (!plain.empty() && isSpace(plain.back())) plain.pop_back();
    auto first = std::find_if_not(plain.begin(), plain.end(), isSpace);
    plain.erase(plain.begin(), first);
    return ansiResult(plain);
}

using BridgeMember = platform::outside::aesbridge::Member;
using namespace platform::outside::aesbridge;

// One digest through a new AesBridge object: the digest operation on a copy of the value,
// then its text form. A missing or failing component gives an empty result.
std::u16string digest(const Variant& value, BridgeMember operation) {
    try {
        platform::outside::ensureRegistered();
        std::shared_ptr<com::Unknown> unknown;
        if (com::FAILED(com::CoCreateInstance(platform::outside::CLSID_AesBridge, com::CLSCTX_ALL,
                                              com::IID_IUnknown, unknown)) ||
            !unknown)
            return {};
        // Objects of this COM layer run as soon as they exist; asking for the component's own
        // interface gives its dispatch.
        const auto bridge = com::query<com::Dispatch>(unknown, platform::outside::IID_IAesBridge);
        if (!bridge) return {};
        unknown.reset();

        Variant copy = value;
        Variant hashed = com::invoke(*bridge, operation, com::DISPATCH_METHOD, {copy});
        Variant textForm = com::invoke(*bridge, ValueToText, com::DISPATCH_METHOD, {hashed});
        if (!textForm.isText()) return {};
        // The digest text makes the round trip through the ANSI code page.
        return text::fromAnsi(text::toAnsi(textForm.text()));
    } catch (const std::exception&) {
        return {};
    }
}

com::Members<CCrypt>::Body digestMember(BridgeMember operation) {
    return [operation](CCrypt&, Call& c) { c.result = digest(c.arg(0), operation); };
}

}  // namespace

const com::Members<CCrypt>& CCrypt::members() {
    using com::VT_BSTR;
    using com::VT_I4;
    using com::VT_VARIANT;
    static const com::Members<CCrypt> m =
        com::Members<CCrypt>(u"ICrypt", IID_ICrypt)
            .method(1, u"AriaEncrypt", VT_BSTR,
                    {{u"pwd", VT_BSTR}, {u"KeyLength", VT_I4}, {u"inData", VT_BSTR}},
                    [](CCrypt&, Call& c) {
                        c.result = ariaEncrypt(ansiArg(c, 0), c.i4(1), ansiArg(c, 2));
                    })
            .help(u"Method AriaEncrypt")
            .method(2, u"AriaDecrypt", VT_BSTR,
                    {{u"pwd", VT_BSTR}, {u"KeyLength", VT_I4}, {u"inData", VT_BSTR}},
                    [](CCrypt&, Call& c) {
                        c.result = ariaDecrypt(ansiArg(c, 0), c.i4(1), ansiArg(c, 2));
                    })
            .help(u"Method AriaDecrypt")
            .method(3, u"SeedEncrypt", VT_BSTR, {{u"pwd", VT_BSTR}, {u"inData", VT_BSTR}},
                    [](CCrypt&, Call& c) {
                        Seed seed;
                        seed.setKey(ansiArg(c, 0));
                        c.result = ansiResult(seed.encryptText(ansiArg(c, 1)));
                    })
            .help(u"Method SeedEncrypt")
            .method(4, u"SeedDecrypt", VT_BSTR, {{u"pwd", VT_BSTR}, {u"inData", VT_BSTR}},
                    [](CCrypt&, Call& c) { c.result = seedDecrypt(ansiArg(c, 0), ansiArg(c, 1)); })
            .help(u"Method SeedDecrypt")
            .method(5, u"EncodeToHex", VT_BSTR, {{u"inData", VT_BSTR}},
                    [](CCrypt&, Call& c) { c.result = ansiResult(encodeToHex(ansiArg(c, 0))); })
            .help(u"Method EncodeToHex")
            .method(6, u"DecodeFromHex", VT_BSTR, {{u"inData", VT_BSTR}},
                    [](CCrypt&, Call& c) { c.result = ansiResult(decodeFromHex(ansiArg(c, 0))); })
            .help(u"Method DecodeFromHex")
            .method(7, u"MD5", VT_BSTR, {{u"inData", VT_VARIANT}}, digestMember(HashMd5))
            .help(u"Method MD5")
            .method(8, u"Sha160", VT_BSTR, {{u"inData", VT_VARIANT}}, digestMember(HashSha1))
            .help(u"Method Sha160")
            .method(9, u"Sha256", VT_BSTR, {{u"inData", VT_VARIANT}}, digestMember(HashSha256))
            .help(u"Method Sha256")
            .method(10, u"Sha384", VT_BSTR, {{u"inData", VT_VARIANT}}, digestMember(HashSha384))
            .help(u"Method Sha384")
            .method(11, u"Sha512", VT_BSTR, {{u"inData", VT_VARIANT}}, digestMember(HashSha512))
            .help(u"Method Sha512")
            .method(
                12, u"UrlEncode", VT_BSTR, {{u"inData", VT_BSTR}},
                [](CCrypt&, Call& c) { c.result = ansiResult(CURLEncode().encode(ansiArg(c, 0))); })
            .help(u"메서드 UrlEncode");
    return m;
}

}  // namespace sealwyn
