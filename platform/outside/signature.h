// Detached signatures with a certificate file, in place of the platform's certificate and
// signed-data components: a PKCS #12 file (certificate and private key) signs a content as a
// detached CMS (PKCS #7) signature that carries the signer's certificate (and no chain) and
// the signing time as an authenticated attribute; the signature travels as Base64 of its DER
// form, without line breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform::outside {

// Signing failed: the file cannot be read, the password does not open it, it holds no key or
// no certificate. what() describes it.
class SignatureError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The most a certificate file (PKCS #12) may hold; a larger file is refused unread.
inline constexpr std::size_t kCertificateFileLimit = 1 << 20;

// The Base64 text of the detached signature of `content`, made with the key and certificate
// of a regular PKCS #12 file. Throws SignatureError.
std::string signDetached(const std::filesystem::path& certificateFile, std::string_view password,
                         std::span<const std::uint8_t> content);

// Checks a detached signature (Base64 as signDetached gives it) over `content` against the
// signer certificate the signature carries; no trust chain is asked for. Empty when the
// signature holds; otherwise what is wrong.
std::optional<std::string> verifyDetached(std::string_view signatureBase64,
                                          std::span<const std::uint8_t> content);

}  // namespace platform::outside
