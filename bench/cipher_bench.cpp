// Block ciphers, RC4 and the digests against OpenSSL 3 (legacy provider for SEED, Blowfish
// and RC4), and the key schedules against OpenSSL's own low-level ones. Each pair first checks
// that both sides give the same bytes.
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <openssl/blowfish.h>
#include <openssl/seed.h>

#include <cstring>
#include <memory>
#include <stdexcept>

#include "bench/cipher_adapter.h"
#include "bench/reference.h"

namespace tessel::bench {
namespace {

constexpr std::size_t kBuffer = 64 * 1024;

void loadProviders() {
    static bool loaded = [] {
        OSSL_PROVIDER_load(nullptr, "default");
        OSSL_PROVIDER_load(nullptr, "legacy");
        return true;
    }();
    (void)loaded;
}

class EvpCipher {
  public:
    EvpCipher(const char* name, std::span<const std::uint8_t> key) {
        loadProviders();
        cipher_ = EVP_CIPHER_fetch(nullptr, name, nullptr);
        ctx_ = EVP_CIPHER_CTX_new();
        if (!cipher_ || !ctx_) throw std::runtime_error(std::string("OpenSSL lacks ") + name);
        EVP_EncryptInit_ex2(ctx_, cipher_, nullptr, nullptr, nullptr);
        EVP_CIPHER_CTX_set_key_length(ctx_, static_cast<int>(key.size()));
        setKey(key);
        EVP_CIPHER_CTX_set_padding(ctx_, 0);
    }
    ~EvpCipher() {
        EVP_CIPHER_CTX_free(ctx_);
        EVP_CIPHER_free(cipher_);
    }
    void setKey(std::span<const std::uint8_t> key) {
        EVP_EncryptInit_ex2(ctx_, nullptr, key.data(), nullptr, nullptr);
    }
    void encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) {
        int written = 0;
        EVP_EncryptUpdate(ctx_, out, &written, in, static_cast<int>(length));
    }

  private:
    EVP_CIPHER* cipher_ = nullptr;
    EVP_CIPHER_CTX* ctx_ = nullptr;
};

std::vector<std::uint8_t> evpDigest(const char* name, std::span<const std::uint8_t> data) {
    static EVP_MD* md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
    static EVP_MD* sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    EVP_MD* md = std::strcmp(name, "MD5") == 0 ? md5 : sha1;
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(data.data(), data.size(), out, &length, md, nullptr);
    return {out, out + length};
}

void blockPair(const std::string& subject, const char* evpName, int keyBytes,
               std::function<std::unique_ptr<BlockCipher>()> make) {
    const auto key = randomBytes(static_cast<std::size_t>(keyBytes), 7);
    registerPair(
        subject,
        [=](benchmark::State& state) {
            auto in = randomBytes(kBuffer);
            std::vector<std::uint8_t> out(kBuffer), expect(kBuffer);
            auto cipher = make();
            cipher->setKey(key);
            EvpCipher ref(evpName, key);
            ref.encrypt(in.data(), expect.data(), kBuffer);
            cipher->encrypt(in.data(), out.data(), kBuffer);
            if (out != expect) state.SkipWithError("output differs from OpenSSL");
            for (auto _ : state) {
                cipher->encrypt(in.data(), out.data(), kBuffer);
                benchmark::DoNotOptimize(out.data());
            }
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBuffer));
        },
        [=](benchmark::State& state) {
            auto in = randomBytes(kBuffer);
            std::vector<std::uint8_t> out(kBuffer);
            EvpCipher ref(evpName, key);
            for (auto _ : state) {
                ref.encrypt(in.data(), out.data(), kBuffer);
                benchmark::DoNotOptimize(out.data());
            }
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBuffer));
        });
}

// A bare key schedule of OpenSSL's: sets the key and enciphers one block with it, so the pair
// can check that both sides scheduled the same key.
struct LowLevelKey {
    std::function<void(std::span<const std::uint8_t>)> setKey;
    std::function<void(const std::uint8_t*, std::uint8_t*)> encryptBlock;
    std::size_t blockBytes;
};

// OpenSSL 3 marks its low-level cipher calls deprecated; they are its bare key schedules, the
// like of ours, so they are used here and only here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

LowLevelKey seedKey() {
    auto schedule = std::make_shared<SEED_KEY_SCHEDULE>();
    return {
        [schedule](std::span<const std::uint8_t> key) { SEED_set_key(key.data(), schedule.get()); },
        [schedule](const std::uint8_t* in, std::uint8_t* out) {
            SEED_encrypt(in, out, schedule.get());
        },
        16};
}

LowLevelKey blowfishKey() {
    auto schedule = std::make_shared<BF_KEY>();
    return {[schedule](std::span<const std::uint8_t> key) {
                BF_set_key(schedule.get(), static_cast<int>(key.size()), key.data());
            },
            [schedule](const std::uint8_t* in, std::uint8_t* out) {
                BF_ecb_encrypt(in, out, schedule.get(), BF_ENCRYPT);
            },
            8};
}

#pragma GCC diagnostic pop

// The key schedule alone: ours against OpenSSL's own low-level one (not its EVP context set-up,
// which does much more than schedule a key). ARIA has no public key schedule in OpenSSL, so it
// has no such pair.
void keySetupPair(const std::string& subject, int keyBytes,
                  std::function<std::unique_ptr<BlockCipher>()> make,
                  std::function<LowLevelKey()> makeRef) {
    registerPair(
        subject,
        [=](benchmark::State& state) {
            auto key = randomBytes(static_cast<std::size_t>(keyBytes), 9);
            auto cipher = make();
            LowLevelKey ref = makeRef();
            const auto block = randomBytes(ref.blockBytes, 5);
            std::vector<std::uint8_t> mine(ref.blockBytes), theirs(ref.blockBytes);
            cipher->setKey(key);
            cipher->encrypt(block.data(), mine.data(), block.size());
            ref.setKey(key);
            ref.encryptBlock(block.data(), theirs.data());
            if (mine != theirs) state.SkipWithError("key schedule differs from OpenSSL's");
            for (auto _ : state) {
                cipher->setKey(key);
                key[0]++;
                benchmark::ClobberMemory();
            }
            state.SetItemsProcessed(state.iterations());
        },
        [=](benchmark::State& state) {
            auto key = randomBytes(static_cast<std::size_t>(keyBytes), 9);
            LowLevelKey ref = makeRef();
            for (auto _ : state) {
                ref.setKey(key);
                key[0]++;
                benchmark::ClobberMemory();
            }
            state.SetItemsProcessed(state.iterations());
        });
}

void rc4Pair() {
    const auto key = randomBytes(16, 3);
    registerPair(
        "RC4",
        [=](benchmark::State& state) {
            auto data = randomBytes(kBuffer);
            auto check = data;
            ourRc4(check, key);
            std::vector<std::uint8_t> expect(kBuffer);
            EvpCipher ref("RC4", key);
            ref.encrypt(data.data(), expect.data(), kBuffer);
            if (check != expect) state.SkipWithError("output differs from OpenSSL");
            for (auto _ : state) {
                ourRc4(data, key);
                benchmark::DoNotOptimize(data.data());
            }
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBuffer));
        },
        [=](benchmark::State& state) {
            auto data = randomBytes(kBuffer);
            EvpCipher ref("RC4", key);
            for (auto _ : state) {
                // A fresh key schedule per buffer, as the library does.
                ref.setKey(key);
                ref.encrypt(data.data(), data.data(), kBuffer);
                benchmark::DoNotOptimize(data.data());
            }
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBuffer));
        });
}

template <class Ours>
void digestPair(const std::string& subject, const char* evpName, Ours ours) {
    registerPair(
        subject,
        [=](benchmark::State& state) {
            auto data = randomBytes(kBuffer);
            for (std::size_t n :
                 {std::size_t(0), std::size_t(55), std::size_t(64), std::size_t(119), kBuffer}) {
                std::span<const std::uint8_t> part(data.data(), n);
                auto mine = ours(part);
                if (std::vector<std::uint8_t>(mine.begin(), mine.end()) != evpDigest(evpName, part))
                    state.SkipWithError("digest differs from OpenSSL");
            }
            for (auto _ : state) benchmark::DoNotOptimize(ours(data));
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBuffer));
        },
        [=](benchmark::State& state) {
            auto data = randomBytes(kBuffer);
            for (auto _ : state) benchmark::DoNotOptimize(evpDigest(evpName, data));
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBuffer));
        });
}

const bool registered = [] {
    blockPair("ARIA-128", "ARIA-128-ECB", 16, [] { return ourAria(128); });
    blockPair("ARIA-256", "ARIA-256-ECB", 32, [] { return ourAria(256); });
    blockPair("SEED", "SEED-ECB", 16, [] { return ourSeed(); });
    blockPair("Blowfish", "BF-ECB", 16, [] { return ourBlowfish(); });
    keySetupPair(
        "SEED-key", 16, [] { return ourSeed(); }, seedKey);
    keySetupPair(
        "Blowfish-key", 16, [] { return ourBlowfish(); }, blowfishKey);
    rc4Pair();
    digestPair("MD5", "MD5", ourMd5);
    digestPair("SHA-1", "SHA1", ourSha1);
    // Run by scripts/bench.sh with OpenSSL's CPU features masked, so both sides run portable
    // code.
    digestPair("SHA-1-portable", "SHA1", ourSha1Portable);
    return true;
}();

}  // namespace
}  // namespace tessel::bench
