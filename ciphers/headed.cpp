#include "ciphers/headed.h"

#include <chrono>

#include "ciphers/convert.h"
#include "ciphers/failure.h"
#include "ciphers/messagekey.h"
#include "ciphers/random.h"
#include "ciphers/state.h"
#include "platform/com/runtime.h"
#include "platform/outside/hashcodec.h"
#include "platform/outside/outside.h"
#include "platform/text/text.h"

namespace ciphra {

namespace com = platform::com;
namespace text = platform::text;

namespace {

constexpr std::size_t kSessionKeyLength = 32;
constexpr std::u16string_view kAlphabet =
    u"1234567890abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

using namespace platform::outside::hashcodec;

HeadedState& hs() {
    return state().headed;
}

std::shared_ptr<com::Dispatch> hashCodec() {
    platform::outside::ensureRegistered();
    std::shared_ptr<com::Dispatch> object;
    com::HRESULT h = com::CoCreateInstance(platform::outside::CLSID_HashCodec, object);
    if (com::FAILED(h) || !object) com::raise(com::FAILED(h) ? h : com::E_NOINTERFACE);
    return object;
}

com::Variant invoke(com::Dispatch& object, com::DispId id, std::vector<com::Variant> args) {
    return com::invoke(object, id, com::DISPATCH_METHOD, std::move(args));
}

void recordFailure(std::u16string description) {
    hs().errorFlag = -1;
    hs().errorText = std::move(description);
}

// Creating the headed-format object resets the format's settings and gives it a native object.
void ensureFormatObject() {
    if (hs().objectCreated) return;
    HeadedState& s = hs();
    s.algorithm = u"SEED";
    s.mode = u"ECB";
    s.encoding = u"Hex";
    s.hashName = u"MD5";
    s.dataHash.clear();
    s.timeStamp.clear();
    s.native = createNativeCrypt();
    s.errorText.clear();
    s.errorFlag = 0;
    s.objectCreated = true;
}

com::Dispatch& native() {
    if (!hs().native) fail(kErrObjectNotSet, u"Object variable or With block variable not set");
    return *hs().native;
}

std::u16string timeStamp() {
    return text::formatDateTime(std::chrono::system_clock::now(), u"yyyy-MM-dd HH:mm:ss");
}

std::u16string makeHeader() {
    try {
        const HeadedState& s = hs();
        std::u16string header = s.algorithm + u";" + s.mode + u";" + s.encoding + u";" +
                                s.hashName + u";" + state().charset + u";" + s.dataHash + u";" +
                                s.timeStamp;
        auto codec = hashCodec();
        return invoke(*codec, EncryptText, {com::Variant(header), com::Variant(u"base64")})
            .toText();
    } catch (...) {
        recordFailure(currentDescription());
        return {};
    }
}

// The body cipher's result; the native library answers an empty text when it fails.
std::u16string nativeCall(NativeMember member, std::vector<com::Variant> args) {
    std::u16string out = invoke(native(), member, std::move(args)).toText();
    return out;
}

std::u16string encodeText(std::u16string_view plain) {
    HeadedState& s = hs();
    s.errorFlag = 0;
    s.errorText.clear();
    try {
        std::u16string key = hashMD5(randomText(128));
        if (key.size() != kSessionKeyLength) fail(kErrInvalidCall, u"No session key");
        s.encoding = u"HEX";
        if (s.algorithmSetting == 1) {
            s.algorithm = u"SEED";
            s.mode = u"ECB";
        } else if (s.algorithmSetting == 2) {
            s.algorithm = u"ARIA";
            s.mode = text::fromUtf8(std::to_string(s.keyLength));
        } else {
            fail(kErrInvalidCall, u"Invalid procedure call or argument");
        }
        s.dataHash = hashMD5(plain);
        s.timeStamp = timeStamp();
        std::u16string header = makeHeader();
        std::u16string body =
            s.algorithmSetting == 1
                ? nativeCall(SeedEncrypt, {com::Variant(key), com::Variant(plain)})
                : nativeCall(AriaEncrypt,
                             {com::Variant(key), com::Variant(std::int32_t(s.keyLength)),
                              com::Variant(plain)});
        if (body.empty()) fail(kErrInvalidCall, u"The native cipher library gave no cipher text");
        return embedSessionKey(header + u"|" + body, key);
    } catch (...) {
        recordFailure(currentDescription());
        return {};
    }
}

struct Header {
    std::vector<std::u16string> fields = std::vector<std::u16string>(7);
};

Header parseHeader(std::u16string_view encrypted) {
    HeadedState& s = hs();
    s.errorFlag = 0;
    s.errorText.clear();
    Header header;
    try {
        auto codec = hashCodec();
        std::u16string plain = text::fromAnsi(
            invoke(*codec, DecryptText, {com::Variant(encrypted), com::Variant(u"base64")})
                .toBytes());
        traceSink(u"Header: " + plain);
        std::vector<std::u16string> fields = text::Split(plain, u";");
        for (std::size_t i = 0; i < fields.size() && i < 7; ++i) header.fields[i] = fields[i];
        if (text::equalsNoCase(header.fields[0], u"ARIA"))
            s.keyLength = text::CLng(header.fields[1]);
        if (fields.size() < 7) fail(kErrSubscript, u"Subscript out of range");
    } catch (...) {
        recordFailure(u"[ParseHeader]" + currentDescription());
    }
    return header;
}

std::u16string pravoDecode(std::u16string_view cipher, bool isParam) {
    traceSink(u"decode.........[Start]" + std::u16string(cipher) + u"," +
              (isParam ? u"True" : u"False"));
    if (cipher.empty()) return {};
    HeadedState& s = hs();
    s.errorFlag = 0;
    s.errorText.clear();
    try {
        std::u16string rest(cipher);
        std::u16string key = extractSessionKey(rest);
        std::vector<std::u16string> parts = text::Split(rest, u"|");
        if (parts.size() < 2) fail(kErrSubscript, u"Subscript out of range");
        Header header = parseHeader(parts[0]);
        std::u16string plain, digest;
        if (text::equalsNoCase(header.fields[0], u"SEED")) {
            s.algorithmSetting = 1;
            plain = nativeCall(SeedDecrypt, {com::Variant(key), com::Variant(parts[1])});
            digest = hashMD5(plain);
        } else if (text::equalsNoCase(header.fields[0], u"ARIA")) {
            s.algorithmSetting = 2;
            plain =
                nativeCall(AriaDecrypt, {com::Variant(key), com::Variant(std::int32_t(s.keyLength)),
                                         com::Variant(parts[1])});
            digest = hashMD5(plain);
        }
        if (!text::equalsNoCase(digest, header.fields[5])) {
            recordFailure(std::u16string(kTampered));
            traceSink(kTampered);
            return {};
        }
        traceSink(u"decode .........[End]" + plain);
        return plain;
    } catch (...) {
        recordFailure(currentDescription());
        traceSink(u"decode: " + s.errorText);
        return {};
    }
}

}  // namespace

std::shared_ptr<com::Dispatch> createNativeCrypt() {
    std::shared_ptr<com::Dispatch> object;
    com::HRESULT h = com::CoCreateInstance(CLSID_SealwynCrypt, object);
    if (com::FAILED(h) || !object) com::raise(com::FAILED(h) ? h : com::E_NOINTERFACE);
    return object;
}

std::u16string hashMD5(std::u16string_view s) {
    try {
        auto codec = hashCodec();
        invoke(*codec, SetHashAlgorithm, {com::Variant(u"md5")});
        invoke(*codec, SetEncoding, {com::Variant(u"hex")});
        return invoke(*codec, HashText, {com::Variant(s)}).toText();
    } catch (...) {
        return {};
    }
}

namespace {
// Runs one encode or decode of the headed format: clears the error state, and turns an error
// it records or raises into an empty result.
template <class Step>
std::u16string guarded(Step step) {
    HeadedState& st = hs();
    st.errorFlag = 0;
    st.errorText.clear();
    try {
        ensureFormatObject();
        std::u16string out = step();
        if (!st.errorText.empty() || st.errorFlag == -1) {
            st.errorFlag = -1;
            return {};
        }
        return out;
    } catch (...) {
        recordFailure(currentDescription());
        return {};
    }
}
}  // namespace

std::u16string encodeSealwyn(std::u16string_view s) {
    return guarded([&] { return encodeText(s); });
}

std::u16string decodeSealwyn(std::u16string_view s, bool isParam) {
    if (text::Trim(s).empty()) return {};
    return guarded([&] { return pravoDecode(s, isParam); });
}

std::u16string headedError() {
    return hs().errorText;
}

std::u16string randomText(int count) {
    std::u16string out;
    for (int i = 0; i < count; ++i) {
        double index = std::min(text::roundHalfEven(62.0 * uniform() + 1.0), 62.0);
        out += kAlphabet[static_cast<std::size_t>(index) - 1];
    }
    return out;
}

std::u16string embedSessionKey(std::u16string_view data, std::u16string_view key) {
    return weaveKey(data, key, kSessionKeyLength);
}

std::u16string extractSessionKey(std::u16string& s) {
    return unweaveKey(s, kSessionKeyLength);
}

}  // namespace ciphra
