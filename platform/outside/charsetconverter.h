// CharsetConverter: the outside component that turns bytes in a named charset into text.
// Created by class identifier through the COM layer after platform::outside::ensureRegistered();
// a new object for every use.
//
// Members (DISPID: name(params) -> result):
//   1 SetCharset(name): the charset of the bytes, by the text module's charset names
//     (compared without case): "euc-kr", "ks_c_5601-1987", "cp949" -> code page 949 (a
//     superset of EUC-KR: the Korean syllables outside EUC-KR decode as well); "utf-8" ->
//     UTF-8; "utf-16", "unicode", "us-ascii", "iso-8859-1", "windows-1252" and the others the
//     text module knows. An unknown name raises E_INVALIDARG. Default: "utf-8".
//   2 ConvertToText(value) -> text: a byte array (or a text, taken as its UTF-16LE bytes)
//     decoded in the charset; bytes that start no valid sequence become U+FFFD.
#pragma once

#include "platform/com/guid.h"

namespace platform::outside {

inline constexpr com::Guid CLSID_CharsetConverter =
    com::Guid::of("{BEF04F41-1FDC-46BD-9E94-10AD4F10AC1B}");
inline constexpr com::Guid IID_ICharsetConverter =
    com::Guid::of("{53693E0C-8CD9-4D64-B28A-A1CB44B3D441}");

namespace charsetconverter {
enum Member : std::int32_t {
    SetCharset = 1,
    ConvertToText = 2,
};
}  // namespace charsetconverter

}  // namespace platform::outside
