#include "platform/outside/signature.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/system/givenfile.h"
#include "platform/text/coding.h"

namespace platform::outside {

namespace {

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Pkcs12 = std::unique_ptr<PKCS12, Deleter<PKCS12, PKCS12_free>>;
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Cms = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo, CMS_ContentInfo_free>>;
using Store = std::unique_ptr<X509_STORE, Deleter<X509_STORE, X509_STORE_free>>;

void freeCerts(STACK_OF(X509) * certs) {
    sk_X509_pop_free(certs, X509_free);
}

// The text of the oldest queued OpenSSL error after `what`; the queue is emptied.
std::string withReason(const std::string& what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return what;
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    return what + " (" + reason + ")";
}

Bio memoryOf(std::span<const std::uint8_t> bytes) {
    return Bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

}  // namespace

std::string signDetached(const std::filesystem::path& certificateFile, std::string_view password,
                         std::span<const std::uint8_t> content) {
    ERR_clear_error();
    std::string file;
    system::GivenFileError failure;
    if (!system::readGivenFile(certificateFile, kCertificateFileLimit, file, failure)) {
        // A pipe, a device, a folder or an oversized file is named; a file that cannot be
        // opened is not, as ever.
        if (failure.error == EINVAL || failure.error == EFBIG)
            throw SignatureError("The certificate file cannot be opened: " + failure.why);
        throw SignatureError("The certificate file cannot be opened");
    }
    Bio fileBio =
        memoryOf(std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
    Pkcs12 p12(d2i_PKCS12_bio(fileBio.get(), nullptr));
    if (!p12) throw SignatureError(withReason("The certificate file is not a PKCS #12 file"));
    EVP_PKEY* rawKey = nullptr;
    X509* rawCert = nullptr;
    STACK_OF(X509)* rawChain = nullptr;
    const std::string pass(password);
    if (PKCS12_parse(p12.get(), pass.c_str(), &rawKey, &rawCert, &rawChain) != 1)
        throw SignatureError(withReason("The certificate password is not correct"));
    Key key(rawKey);
    Cert cert(rawCert);
    std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> chain(rawChain, freeCerts);
    if (!key || !cert) throw SignatureError("The certificate file holds no private key");

    Bio data = memoryOf(content);
    // Signed attributes go in by default, the signing time among them; only the signer's
    // certificate is embedded.
    Cms cms(CMS_sign(cert.get(), key.get(), nullptr, data.get(), CMS_DETACHED | CMS_BINARY));
    if (!cms) throw SignatureError(withReason("The content cannot be signed"));
    Bio out(BIO_new(BIO_s_mem()));
    if (i2d_CMS_bio(out.get(), cms.get()) != 1)
        throw SignatureError(withReason("The signature cannot be written"));
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(out.get(), &bytes);
    const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes);
    const std::u16string base64 =
        text::toBase64(std::span(begin, static_cast<std::size_t>(length)));
    return std::string(base64.begin(), base64.end());
}

std::optional<std::string> verifyDetached(std::string_view signatureBase64,
                                          std::span<const std::uint8_t> content) {
    ERR_clear_error();
    const std::u16string wide(signatureBase64.begin(), signatureBase64.end());
    std::optional<text::ByteString> der = text::fromBase64(wide);
    if (!der || der->empty()) return "The signature is not Base64 text";
    Bio derBio = memoryOf(*der);
    Cms cms(d2i_CMS_bio(derBio.get(), nullptr));
    if (!cms) return withReason("The signature is not a signed message");
    Store store(X509_STORE_new());
    Bio data = memoryOf(content);
    if (CMS_verify(cms.get(), nullptr, store.get(), data.get(), nullptr,
                   CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY) != 1)
        return withReason("The signature does not match the content");
    return std::nullopt;
}

}  // namespace platform::outside
