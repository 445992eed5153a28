// The signature envelope (data packed with a detached signature made with a certificate file,
// then compressed, encrypted under a fixed key text and put in Base64) and the checked message
// (a Des message with the SHA-1 digest of its plain text woven into its front, behind a fixed
// marker).
#pragma once

#include <string>
#include <string_view>

namespace ciphra {

// The envelope of the data, or the description of a failure.
std::u16string signEnvelope(std::u16string_view data, std::u16string_view certPath,
                            std::u16string_view certPassword);
// The data of an envelope whose signature holds, or the description of what is wrong.
std::u16string verifyEnvelope(std::u16string_view envelope);

// The digest a checked message carries: SHA-1 (upper-case hexadecimal) of the Base64 text of
// the plain text's ANSI bytes.
std::u16string sha1OfText(std::u16string_view plainText);
std::u16string encodeChecked(std::u16string_view plainText);
// The plain text, or "" when the digest does not match; a text without the marker is decoded
// as a plain Des message.
std::u16string decodeChecked(std::u16string_view cipherText);

}  // namespace ciphra
