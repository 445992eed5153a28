// AesBridge: the outside cipher component (Base64, compression, AES under a key text,
// digests). Created by class identifier through the COM layer after
// platform::outside::ensureRegistered().
//
// Formats (ours to choose; only the round trips are promised to callers):
// - A text variant stands for its UTF-16LE bytes; byte arrays are taken as they are.
// - Base64: RFC 4648 with "=" padding and no line breaks; the decoder skips CR, LF, tab and
//   blanks and refuses anything else outside the alphabet.
// - Compression: a zlib stream (deflate, default level).
// - Cipher: AES-128-CBC (cipher mode 1) with PKCS#7 padding; the key is the first 16 bytes of
//   SHA-256 over the key text's UTF-16LE bytes; a random 16-byte IV leads the output.
//   Only key size 128 and mode 1 exist; other settings make EncryptData/DecryptData fail.
// - Digests: the raw digest bytes; ValueToText turns bytes into lowercase hexadecimal.
#pragma once

#include "platform/com/guid.h"

namespace platform::outside {

inline constexpr com::Guid CLSID_AesBridge =
    com::Guid::of("{8C6136D4-0307-4C91-8110-A7321A4114FB}");
inline constexpr com::Guid IID_IAesBridge = com::Guid::of("{6702751E-1BE0-4A9F-9381-DE58187161B6}");

// Member identifiers of IAesBridge, in the order the members stand in the interface.
namespace aesbridge {
enum Member : std::int32_t {
    SetKeySize = 1,
    EncryptData = 2,
    DecryptData = 3,
    SetCipherMode = 4,
    HashSha256 = 5,
    HashSha384 = 6,
    HashSha512 = 7,
    HashSha1 = 8,
    HashMd5 = 9,
    SetKeyText = 10,
    EncodeBase64 = 11,
    ValueToText = 12,
    DecodeBase64 = 13,
    CompressData = 14,
    DecompressData = 15,
};
}  // namespace aesbridge

}  // namespace platform::outside
