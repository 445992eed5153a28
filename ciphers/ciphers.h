// The message cipher classes: Des (the message cipher), Blowfish, RSA and the placeholder
// IniCrypt. Each class's work is also a plain function, which the facade and other parts of
// the library call.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "ciphers/objectcontrol.h"

namespace ciphra {

namespace com = platform::com;

inline constexpr com::Guid CLSID_Des = com::Guid::of("{540ADCBB-4D26-4767-BE6F-3708C213457D}");
inline constexpr com::Guid IID_Des = com::Guid::of("{360058A0-40D5-473A-A034-26148FB2CA0C}");
inline constexpr com::Guid CLSID_Blowfish = com::Guid::of("{427DA218-3FBD-47BC-A448-10B411903B89}");
inline constexpr com::Guid IID_Blowfish = com::Guid::of("{7C81C040-F81D-4D09-885B-DE5C33DA549A}");
inline constexpr com::Guid CLSID_RSA = com::Guid::of("{F6E2D6B5-4E15-4B73-807B-03695E0C5CAD}");
inline constexpr com::Guid IID_RSA = com::Guid::of("{AEF27620-8D9C-47FC-97DA-6029DDAA44FA}");
inline constexpr com::Guid CLSID_IniCrypt = com::Guid::of("{193E54B8-2DC3-4058-B8A4-D25987969450}");
inline constexpr com::Guid IID_IniCrypt = com::Guid::of("{81DE568A-AE16-4D2F-B90B-EBA06932DF89}");

// The message cipher: text in the thread's charset, RC4 under a new message key, Base64, the
// key woven in. Failures come back as "Encryption Error: ..." / "Decryption Error: ...".
std::u16string desEncode(std::u16string_view plainText);
std::u16string desDecode(std::u16string_view cipherText);

// Blowfish ECB under the last deciphered message key (when it is a valid one) or a new one.
std::u16string blowfishEncode(std::u16string_view plainText);
std::u16string blowfishDecode(std::u16string_view cipherText);

// The small RSA over the characters of the Base64 text.
std::u16string rsaEncode(std::u16string_view plainText, std::u16string_view publicKey);
std::u16string rsaDecode(std::u16string_view cipherText, std::u16string_view privateKey);
// A new key pair (public, private). Failures of the outside component raise.
std::pair<std::u16string, std::u16string> rsaKeyGenerate();

class Des : public CiphraClass<Des> {
  public:
    static const com::Members<Des>& members();
};

class Blowfish : public CiphraClass<Blowfish> {
  public:
    static const com::Members<Blowfish>& members();
};

class RSA : public CiphraClass<RSA> {
  public:
    static const com::Members<RSA>& members();

  private:
    std::u16string publicKey_;
    std::u16string privateKey_;
};

class IniCrypt : public CiphraClass<IniCrypt> {
  public:
    static const com::Members<IniCrypt>& members();
};

}  // namespace ciphra
