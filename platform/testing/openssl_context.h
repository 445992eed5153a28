// A library context of OpenSSL's own for a test that needs its legacy provider (SEED): the
// legacy and default providers are loaded into this context only and go with it, so the
// process's default context, which other tests of the same program fetch from, is left as it
// was. Loading a provider into the default context switches off its automatic default
// provider, and unloading it again leaves that context with no ciphers at all.
#pragma once

#include <openssl/crypto.h>
#include <openssl/provider.h>

namespace platform::testing {

class OpenSslLegacyContext {
  public:
    OpenSslLegacyContext()
        : context_(OSSL_LIB_CTX_new()),
          legacy_(context_ ? OSSL_PROVIDER_load(context_, "legacy") : nullptr),
          base_(context_ ? OSSL_PROVIDER_load(context_, "default") : nullptr) {}
    ~OpenSslLegacyContext() {
        if (base_) OSSL_PROVIDER_unload(base_);
        if (legacy_) OSSL_PROVIDER_unload(legacy_);
        OSSL_LIB_CTX_free(context_);
    }
    OpenSslLegacyContext(const OpenSslLegacyContext&) = delete;
    OpenSslLegacyContext& operator=(const OpenSslLegacyContext&) = delete;

    // True when both providers loaded.
    bool ready() const { return legacy_ && base_; }
    OSSL_LIB_CTX* get() const { return context_; }

  private:
    OSSL_LIB_CTX* context_;
    OSSL_PROVIDER* legacy_;
    OSSL_PROVIDER* base_;
};

}  // namespace platform::testing
