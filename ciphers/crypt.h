// The facade Crypt: picks the cipher by a provider text ("Velmora/Des", ...) and forwards to
// the cipher classes; keeps the thread's charset, debug switch and last message key.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ciphers/objectcontrol.h"
#include "ciphers/periphery.h"

namespace ciphra {

inline constexpr platform::com::Guid CLSID_Crypt =
    platform::com::Guid::of("{95705177-44AC-41CB-82DD-1CC344E09693}");
inline constexpr platform::com::Guid IID_Crypt =
    platform::com::Guid::of("{C13A53A1-B5AA-48A9-9228-DD2C60F53D1A}");

inline constexpr std::u16string_view kNoProvider = u"Provider가 정의되어 있지 않습니다.";

// The library's version text: major.minor.revision, a blank and the comment.
std::u16string versionText();

class Crypt : public CiphraClass<Crypt> {
  public:
    // Creating a Crypt resets the thread's charset to "euc-kr" and its debug switch to "0".
    Crypt();
    static const platform::com::Members<Crypt>& members();

    std::u16string encode(std::u16string_view plainText);
    std::u16string decode(std::u16string_view cipherText);

    // A new key pair of the small RSA for the "pki" provider.
    void generateKeyPair();
    // The key-file text: Base64 of the private key text, "|" and the public key text.
    std::u16string keyFileText() const;
    // Loads a key file; answers its decoded text, or the description of a failure, in which
    // case both keys stay as they were.
    std::u16string loadKey(std::u16string_view keyPath);

    std::u16string getLayout(std::u16string_view rpxFiles) const;
    std::u16string getWatermark(std::u16string_view fileName) const;

    std::u16string provider;
    std::u16string path;
    std::u16string publicKey;
    std::u16string privateKey;
    QueryStore query;

  private:
    std::u16string run(std::u16string_view input, bool encoding);
    void startPage(const platform::com::Variant& context);
    void endPage();

    std::shared_ptr<platform::com::Dispatch> session_, application_, request_, response_, server_;
};

}  // namespace ciphra
