#include "ciphers/signing.h"

#include "ciphers/ciphers.h"
#include "ciphers/convert.h"
#include "ciphers/failure.h"
#include "ciphers/messagekey.h"
#include "ciphers/sha1.h"
#include "platform/outside/aesbridge.h"
#include "platform/outside/signature.h"
#include "platform/system/files.h"
#include "platform/text/text.h"

namespace ciphra {

namespace com = platform::com;
namespace text = platform::text;
using namespace platform::outside::aesbridge;

namespace {

constexpr std::u16string_view kSignKeyText =
    u"Xq7RmT2wLp9sKd4VbN8cJf3HzY6gAe1UoWi5PrQt0SvMnBxClDk/Ej+GhFy2aZu4";
constexpr std::u16string_view kSha1Marker =
    u"k48Tz2Hw7Qm3Rb9Vx1Lc6Np0Js5Fd8Gy4Ka2We7Ut3Io9Pl1Zx6Cv0Bn5Mq8Hs2Dr4TgE";

// AesBridge set up for envelopes: cipher mode 1, 128-bit key, the envelope key text.
std::shared_ptr<com::Dispatch> envelopeBridge() {
    auto bridge = aesBridge();
    callBridge(*bridge, SetCipherMode, com::Variant(std::int32_t(1)));
    callBridge(*bridge, SetKeySize, com::Variant(std::int32_t(128)));
    callBridge(*bridge, SetKeyText, com::Variant(kSignKeyText));
    return bridge;
}

}  // namespace

// The signature covers the UTF-16LE bytes of C, the Base64 text of the compressed data, as a
// text handed to the signing component stands for its UTF-16LE bytes.
std::u16string signEnvelope(std::u16string_view data, std::u16string_view certPath,
                            std::u16string_view certPassword) {
    try {
        auto bridge = envelopeBridge();
        const std::u16string c =
            callBridge(*bridge, EncodeBase64, callBridge(*bridge, CompressData, com::Variant(data)))
                .toText();
        const std::string s =
            platform::outside::signDetached(platform::system::fromPlatformPath(certPath),
                                            text::toUtf8(certPassword), text::toUtf16leBytes(c));
        com::Variant packed =
            callBridge(*bridge, CompressData, com::Variant(text::fromUtf8(s) + u"|" + c));
        return callBridge(*bridge, EncodeBase64,
                          callBridge(*bridge, EncryptData, std::move(packed)))
            .toText();
    } catch (...) {
        return currentDescription();
    }
}

std::u16string verifyEnvelope(std::u16string_view envelope) {
    try {
        auto bridge = envelopeBridge();
        com::Variant sealed = callBridge(*bridge, DecodeBase64, com::Variant(envelope));
        const std::u16string inner =
            callBridge(*bridge, DecompressData, callBridge(*bridge, DecryptData, std::move(sealed)))
                .toText();
        std::vector<std::u16string> pieces = text::Split(inner, u"|");
        if (pieces.size() < 2) fail(kErrSubscript, u"Subscript out of range");
        if (std::optional<std::string> wrong = platform::outside::verifyDetached(
                text::toUtf8(pieces[0]), text::toUtf16leBytes(pieces[1])))
            return text::fromUtf8(*wrong);
        return callBridge(*bridge, DecompressData,
                          callBridge(*bridge, DecodeBase64, com::Variant(pieces[1])))
            .toText();
    } catch (...) {
        return currentDescription();
    }
}

std::u16string sha1OfText(std::u16string_view plainText) {
    return clsSHA1().SHA1(b64EncodeAnsi(plainText, false));
}

std::u16string encodeChecked(std::u16string_view plainText) {
    const std::u16string digest = sha1OfText(plainText);
    return std::u16string(kSha1Marker) + insertSha1Key(desEncode(plainText), digest);
}

std::u16string decodeChecked(std::u16string_view cipherText) {
    if (!text::equalsNoCase(text::Left(cipherText, static_cast<long>(kSha1Marker.size())),
                            kSha1Marker))
        return desDecode(cipherText);
    try {
        std::u16string woven(cipherText.substr(kSha1Marker.size()));
        const std::u16string digest = extractSha1Key(woven);
        std::u16string plain = desDecode(woven);
        return text::equalsNoCase(sha1OfText(plain), digest) ? plain : std::u16string();
    } catch (...) {
        return {};
    }
}

}  // namespace ciphra
