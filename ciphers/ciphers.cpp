#include "ciphers/ciphers.h"

#include "ciphers/blowfish_bytes.h"
#include "ciphers/convert.h"
#include "ciphers/dbcodec.h"
#include "ciphers/failure.h"
#include "ciphers/messagekey.h"
#include "ciphers/rsa_math.h"
#include "ciphers/state.h"
#include "platform/text/text.h"

namespace ciphra {

namespace text = platform::text;

namespace {

constexpr std::u16string_view kInvalidKey = u"Decryption Error: Invalid Secure Key!!!";

std::u16string withoutCrLf(std::u16string_view s) {
    return text::Replace(s, u"\r\n", u"");
}

// The last deciphered key, when it can serve as the key of an answer: it must pass the key
// check and be a whole key, or the answer could not be deciphered.
bool reusable(const std::u16string& key) {
    return key.size() == kMessageKeyLength && checkKey(key);
}

// A cipher text holds a whole message key and at least one character of body; a shorter one
// would be nothing but a key, which must not pass as an empty message nor become the last key.
bool tooShort(std::u16string_view cipherText) {
    return cipherText.size() <= kMessageKeyLength;
}

}  // namespace

// ---- Des ----

std::u16string desEncode(std::u16string_view plainText) {
    try {
        std::u16string key = generateKey();
        Bytes data = stringToBytes(plainText, state().charset);
        return messageEncode(std::move(data), key, b64EncodeBytes);
    } catch (...) {
        return u"Encryption Error: " + currentDescription();
    }
}

std::u16string desDecode(std::u16string_view cipherText) {
    if (tooShort(cipherText)) return std::u16string(kInvalidKey);
    try {
        MessageParts parts = splitMessage(cipherText);
        state().lastMessageKey = parts.key;
        if (!checkKey(parts.key)) return std::u16string(kInvalidKey);
        return bytesToString(
            messageDecodeBody(parts, [](std::u16string_view b) { return b64DecodeBytes(b); }));
    } catch (...) {
        return u"Decryption Error: " + currentDescription();
    }
}

const com::Members<Des>& Des::members() {
    using namespace com;
    static const Members<Des> m =
        Members<Des>(u"_Des", IID_Des)
            .method(slot(0), u"encode", VT_BSTR, {{u"PlainText", VT_BSTR}},
                    [](Des&, Call& c) { c.result = desEncode(c.arg(0).text()); })
            .method(slot(1), u"decode", VT_BSTR, {{u"CipherText", VT_BSTR}},
                    [](Des&, Call& c) { c.result = desDecode(c.text(0)); })
            .method(slot(2), u"CheckKey", VT_BOOL, {{u"mKey", VT_BSTR}},
                    [](Des&, Call& c) { c.result = checkKey(c.text(0)); });
    return m;
}

// ---- Blowfish ----

std::u16string blowfishEncode(std::u16string_view plainText) {
    try {
        std::u16string fresh = generateKey();
        const std::u16string& last = state().lastMessageKey;
        std::u16string key = reusable(last) ? last : fresh;
        blowfish::BlowfishCore cipher;
        if (!cipher.setKey(stringToBytes(key, state().charset)))
            return u"Encryption Error: Invalid Key Length!!!";
        Bytes sealed = encryptBytes(cipher, text::toAnsi(plainText));
        return withoutCrLf(insertKey(b64EncodeBytes(sealed), key));
    } catch (...) {
        return u"Encryption Error: " + currentDescription();
    }
}

std::u16string blowfishDecode(std::u16string_view cipherText) {
    if (tooShort(cipherText)) return std::u16string(kInvalidKey);
    try {
        MessageParts parts = splitMessage(cipherText);
        state().lastMessageKey = parts.key;
        if (!checkKey(parts.key)) return std::u16string(kInvalidKey);
        blowfish::BlowfishCore cipher;
        if (!cipher.setKey(text::toAnsi(parts.key)))
            return u"Decryption Error: Invalid Key Length!!!";
        Bytes sealed = b64DecodeBytes(parts.body);
        if (sealed.size() < 8) return {};
        return text::fromAnsi(decryptBytes(cipher, sealed));
    } catch (...) {
        return u"Decryption Error: " + currentDescription();
    }
}

const com::Members<Blowfish>& Blowfish::members() {
    using namespace com;
    static const Members<Blowfish> m =
        Members<Blowfish>(u"_Blowfish", IID_Blowfish)
            .method(slot(0), u"encode", VT_BSTR, {{u"PlainText", VT_BSTR}},
                    [](Blowfish&, Call& c) { c.result = blowfishEncode(c.text(0)); })
            .method(slot(1), u"decode", VT_BSTR, {{u"CipherText", VT_BSTR}},
                    [](Blowfish&, Call& c) { c.result = blowfishDecode(c.text(0)); })
            .method(slot(2), u"CheckKey", VT_BOOL, {{u"mKey", VT_BSTR}},
                    [](Blowfish&, Call& c) { c.result = checkKey(c.text(0)); });
    return m;
}

// ---- RSA ----

namespace {

// The longest number list that decoding walks (positions are 16-bit in its format).
constexpr std::size_t kMaxNumberList = 32767;

struct RsaKey {
    double exponent = 0;
    double modulus = 0;
};

// Key text: Base64 of exponent "-" filler "-" modulus. A part that cannot be read stays 0.
RsaKey readKey(std::u16string_view keyText) {
    RsaKey key;
    std::vector<std::u16string> parts;
    try {
        parts = text::Split(b64DecodeText(keyText), u"-");
    } catch (...) {
        return key;
    }
    try {
        if (parts.size() > 0) key.exponent = text::CLng(parts[0]);
    } catch (...) {
    }
    try {
        if (parts.size() > 2) key.modulus = text::CLng(parts[2]);
    } catch (...) {
    }
    return key;
}

// The character's code in the system ANSI code page (lead * 256 + trail for two bytes).
double ansiCode(char16_t c) {
    Bytes b = text::toAnsi(std::u16string_view(&c, 1));
    if (b.size() == 1) return b[0];
    if (b.size() == 2) return b[0] * 256.0 + b[1];
    return '?';
}

}  // namespace

std::u16string rsaEncode(std::u16string_view plainText, std::u16string_view publicKey) {
    if (plainText.empty()) return {};
    std::u16string messageKey = generateKey();
    RsaKey key = readKey(publicKey);
    std::u16string base64;
    try {
        base64 = b64EncodeText(plainText);
    } catch (...) {
    }
    std::u16string woven = insertKey(base64, messageKey);
    std::u16string numbers;
    for (char16_t c : woven) {
        numbers += text::formatNumber(rsa::modPow(ansiCode(c), key.exponent, key.modulus));
        numbers += u'+';
    }
    try {
        return b64EncodeText(numbers);
    } catch (...) {
        return {};
    }
}

std::u16string rsaDecode(std::u16string_view cipherText, std::u16string_view privateKey) {
    RsaKey key = readKey(privateKey);
    std::u16string list;
    try {
        list = b64DecodeText(cipherText);
    } catch (...) {
        return {};
    }
    // A list must end with "+" and stay within the length its format can address.
    if (list.empty() || list.back() != u'+' || list.size() > kMaxNumberList) return {};
    std::u16string woven;
    for (std::size_t i = 0; i < list.size();) {
        const std::size_t plus = list.find(u'+', i);
        try {
            double v = text::Val(std::u16string_view(list).substr(i, plus - i));
            double code = rsa::modPow(v, key.exponent, key.modulus);
            if (code >= -32768 && code <= 65535) woven += text::Chr(static_cast<long>(code));
        } catch (...) {
        }
        i = plus + 1;
    }
    extractKey(woven);
    try {
        return b64DecodeText(woven);
    } catch (...) {
        return {};
    }
}

std::pair<std::u16string, std::u16string> rsaKeyGenerate() {
    rsa::KeyNumbers k = rsa::generateKeyNumbers();
    std::u16string k1 = generateKey(), k2 = generateKey(), k3 = generateKey(), k4 = generateKey();
    const std::u16string n = text::formatNumber(k.n);
    return {b64EncodeText(text::formatNumber(k.e) + u"-" + k1 + k2 + u"-" + n),
            b64EncodeText(text::formatNumber(k.d) + u"-" + k3 + k4 + u"-" + n)};
}

const com::Members<RSA>& RSA::members() {
    using namespace com;
    static const Members<RSA> m =
        Members<RSA>(u"_RSA", IID_RSA)
            .method(slot(0), u"encode", VT_BSTR, {{u"plantext", VT_BSTR}, {u"mPublicKey", VT_BSTR}},
                    [](RSA&, Call& c) { c.result = rsaEncode(c.text(0), c.text(1)); })
            .method(slot(1), u"decode", VT_BSTR, {{u"cipher", VT_BSTR}, {u"mPrivateKey", VT_BSTR}},
                    [](RSA&, Call& c) { c.result = rsaDecode(c.text(0), c.text(1)); })
            .method(slot(2), u"RSAKeyGenerate", VT_EMPTY, {},
                    [](RSA& self, Call&) {
                        std::tie(self.publicKey_, self.privateKey_) = rsaKeyGenerate();
                    })
            .method(slot(3), u"CheckKey", VT_BOOL, {{u"mKey", VT_BSTR}},
                    [](RSA&, Call& c) { c.result = checkKey(c.text(0)); })
            .get(slot(4), u"PublicKey", VT_BSTR,
                 [](RSA& self, Call& c) { c.result = self.publicKey_; })
            .get(slot(5), u"PrivateKey", VT_BSTR,
                 [](RSA& self, Call& c) { c.result = self.privateKey_; });
    return m;
}

// ---- IniCrypt ----

const com::Members<IniCrypt>& IniCrypt::members() {
    using namespace com;
    static const Members<IniCrypt> m =
        Members<IniCrypt>(u"_IniCrypt", IID_IniCrypt)
            .method(slot(0), u"encode", VT_BSTR, {{u"PlainText", VT_BSTR}},
                    [](IniCrypt&, Call& c) { c.result = std::u16string(); })
            .method(slot(1), u"decode", VT_BSTR, {{u"CipherText", VT_BSTR}},
                    [](IniCrypt&, Call& c) { c.result = std::u16string(); })
            .method(slot(2), u"CheckKey", VT_BOOL, {{u"mKey", VT_BSTR}},
                    [](IniCrypt&, Call& c) { c.result = checkKey(c.text(0)); });
    return m;
}

}  // namespace ciphra
