// HashCodec: the outside component for digests in text form and for encryption to and from
// text under a secret of its own. Created by class identifier through the COM layer after
// platform::outside::ensureRegistered(); a new object for every use.
//
// Members (DISPID: name(params) -> result):
//   1 SetHashAlgorithm(name): "md5" (default), "sha1", "sha256", "sha384", "sha512"
//   2 SetEncoding(name): text form of digests, "hex" (default, lower case) or "base64"
//   3 HashText(text) -> the digest of the text's bytes in the system ANSI code page, in the
//     chosen form ("md5"/"hex": 32 characters)
//   4 EncryptText(value, encoding) -> text: a text is taken as its bytes in the system ANSI
//     code page, a byte array as it is
//   5 DecryptText(text, encoding) -> byte array: the bytes given to EncryptText
// Names are compared without regard to case; an unknown one raises E_INVALIDARG.
//
// Encryption (our format): sealed = 0x01 (format version) | 12-byte random nonce |
// AES-256-GCM cipher text | 16-byte tag, under the SHA-256 of the component's built-in secret.
// Encodings of the sealed bytes: "base64" (RFC 4648 with "=" padding, no line breaks; always
// more than 32 characters and never a "|"), "URL" (the Base64 text with "+", "/" and "="
// written as "%2B", "%2F", "%3D") and "hex" (lower case). A text that is not in the encoding,
// was changed or was sealed under another secret raises E_INVALIDARG.
#pragma once

#include "platform/com/guid.h"

namespace platform::outside {

inline constexpr com::Guid CLSID_HashCodec =
    com::Guid::of("{3352B5B9-82E8-4FFD-9EB1-1A3E60056904}");
inline constexpr com::Guid IID_IHashCodec = com::Guid::of("{CA46B1CF-64C1-4D8C-B359-26BAA6C04151}");

// Member identifiers of IHashCodec.
namespace hashcodec {
enum Member : std::int32_t {
    SetHashAlgorithm = 1,
    SetEncoding = 2,
    HashText = 3,
    EncryptText = 4,
    DecryptText = 5,
};
}  // namespace hashcodec

}  // namespace platform::outside
