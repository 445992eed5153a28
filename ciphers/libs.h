// Libs: file and clock functions for server pages (the current time as Base64, a file as
// Base64 text, plain, in parameter form, tagged or enciphered by a provider, and a file read
// as text); and Layout: a list of report-layout files packed into one text and enciphered.
#pragma once

#include <string>
#include <string_view>

#include "ciphers/objectcontrol.h"

namespace ciphra {

inline constexpr platform::com::Guid CLSID_Libs =
    platform::com::Guid::of("{9113A989-C8A6-4FA1-802F-373B9FF69BA0}");
inline constexpr platform::com::Guid IID_Libs =
    platform::com::Guid::of("{2A5E3C71-058B-4669-A76B-8CA2D80B34CA}");
inline constexpr platform::com::Guid CLSID_Layout =
    platform::com::Guid::of("{32494AC5-F691-435D-8311-A88C7EA32A37}");
inline constexpr platform::com::Guid IID_Layout =
    platform::com::Guid::of("{F11F7D83-929B-4022-B042-DE0CB9A77F6B}");

// The provider message of Libs and Layout (written without a blank before "않습니다").
inline constexpr std::u16string_view kNoProviderTight = u"Provider가 정의되어 있지않습니다.";

// "암호화 알고리즘 " + provider + "이(가) 정의되어 있지 않습니다."
std::u16string algorithmNotDefined(std::u16string_view provider);

// Base64 of the local "yyyy-mm-dd hh:nn:ss" in the thread's charset. Raises on failure.
std::u16string libsDateTime();
// Base64 of the local time's second count since 1970 (local time taken as if it were UTC).
std::u16string libsLocalTime();
// The file's Base64 text enciphered by the provider (Des, Blowfish, IniCrypt), or a message.
std::u16string libsWatermark(std::u16string_view fileName, std::u16string_view provider);
// objTag, "&" and the parameter form of the file's Base64 text, or a message.
std::u16string libsCertImage(std::u16string_view objTag, std::u16string_view fileName);
// The parameter form of the file's Base64 text, or a message.
std::u16string libsCertWatermark(std::u16string_view fileName);
// The file's Base64 text, in parameter form when eType is exactly "param", or a message.
std::u16string libsB64EncodeFile(std::u16string_view fileName, std::u16string_view eType);
// The file's content as text: UTF-8 when eType is exactly "utf-8", else the ANSI code page.
std::u16string libsReadFile(std::u16string_view fileName, std::u16string_view eType);

// The bundle of the listed files in `folder`, enciphered by the provider, or a message.
std::u16string layoutBundle(std::u16string_view provider, std::u16string_view folder,
                            std::u16string_view rpxFiles);

class Libs : public CiphraClass<Libs> {
  public:
    static const platform::com::Members<Libs>& members();
};

class Layout : public CiphraClass<Layout> {
  public:
    static const platform::com::Members<Layout>& members();
    // Stored trimmed.
    void setProvider(std::u16string_view provider);
    // Stored ending in "\".
    void setPath(std::u16string_view path);
    std::u16string getLayout(std::u16string_view rpxFiles) const;

  private:
    std::u16string provider_;
    std::u16string folder_;
};

}  // namespace ciphra
