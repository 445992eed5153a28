#include "ciphers/messagekey.h"

#include <cmath>

#include "ciphers/random.h"
#include "platform/text/text.h"

namespace ciphra {

namespace text = platform::text;

namespace {

constexpr int kPrimes[5] = {17, 19, 31, 61, 89};

thread_local KeyGenerator overrideGenerator;

std::u16string randomKey() {
    std::u16string key;
    for (int p : kPrimes) {
        long n = 0;
        do {
            n = static_cast<long>(text::roundHalfEven(uniform() * 10000.0)) % 10000 + 10000;
        } while (n % p != 0);
        key += text::fromUtf8(std::to_string(n));
    }
    return key;
}

}  // namespace

std::u16string generateKey() {
    return overrideGenerator ? overrideGenerator() : randomKey();
}

void setKeyGenerator(KeyGenerator generator) {
    overrideGenerator = std::move(generator);
}

bool checkKey(std::u16string_view key) {
    try {
        for (int i = 0; i < 5; ++i) {
            std::int32_t group = text::CLng(text::Mid(key, 5 * i + 1, 5));
            if (group % kPrimes[i] != 0) return false;
        }
        return true;
    } catch (const text::Error&) {
        return false;
    }
}

std::u16string weaveKey(std::u16string_view textPart, std::u16string_view key, std::size_t n) {
    std::u16string out;
    out.reserve(textPart.size() + key.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (i < textPart.size()) out += textPart[i];
        if (i < key.size()) out += key[i];
    }
    if (textPart.size() > n) out.append(textPart.substr(n));
    return out;
}

std::u16string unweaveKey(std::u16string& woven, std::size_t n) {
    const std::size_t m = woven.size();
    // Characters of text that were woven in: n when the text was at least n long, otherwise
    // the woven text holds the short text, its partners and the surplus key characters.
    const std::size_t interleaved = m >= 2 * n ? n : (m > n ? m - n : 0);
    std::u16string cipher, key;
    for (std::size_t i = 0; i < interleaved; ++i) {
        cipher += woven[2 * i];
        key += woven[2 * i + 1];
    }
    if (m >= 2 * n)
        cipher.append(woven, 2 * n);
    else
        key.append(woven, 2 * interleaved);
    woven = std::move(cipher);
    return key;
}

}  // namespace ciphra
