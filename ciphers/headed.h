// The headed cipher-text format: an encrypted header naming the body cipher and carrying the
// plain text's digest, "|", the body enciphered by the native cipher library under a random
// 32-character session key, with the session key woven into the even positions 2 to 64.
//
// Settings and error state live in the thread's module data (state().headed). The caller sets
// the native-library object, the algorithm setting (1 SEED, 2 ARIA) and the key length, then
// calls encodeSealwyn or decodeSealwyn; every failure gives an empty result with the error
// flag at -1 and the error text set.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/com/dispatch.h"

namespace ciphra {

inline constexpr platform::com::Guid CLSID_SealwynCrypt =
    platform::com::Guid::of("{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779}");

inline constexpr std::u16string_view kTampered = u"데이터가 변조되었습니다.";

// Members of the native library's Crypt.
enum NativeMember : platform::com::DispId {
    AriaEncrypt = 1,
    AriaDecrypt = 2,
    SeedEncrypt = 3,
    SeedDecrypt = 4,
};

// A new native-library Crypt object, created by class identifier. Raises ComError.
std::shared_ptr<platform::com::Dispatch> createNativeCrypt();

std::u16string encodeSealwyn(std::u16string_view text);
std::u16string decodeSealwyn(std::u16string_view text, bool isParam);
// The MD5 digest of a text in hexadecimal through HashCodec ("" when it fails).
std::u16string hashMD5(std::u16string_view text);
// The error text of the last failure.
std::u16string headedError();

// count characters drawn uniformly (CSPRNG) from "1".."9", "0", "a".."z", "A".."Z".
std::u16string randomText(int count);
// The session-key weave (32 characters) and its inverse.
std::u16string embedSessionKey(std::u16string_view data, std::u16string_view key);
std::u16string extractSessionKey(std::u16string& text);

}  // namespace ciphra
