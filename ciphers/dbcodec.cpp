#include "ciphers/dbcodec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <numeric>
#include <utility>

#include "ciphers/messagekey.h"
#include "platform/bytes/byteorder.h"
#include "platform/text/text.h"

namespace ciphra {

namespace bytes = platform::bytes;
namespace text = platform::text;

#if defined(__x86_64__) && defined(__GNUC__)
// One keystream step in the sixteen-step block: x (in register `x`) is S[i]; j += x; y = S[j];
// S[j] = x; the next step's S[i + 1] is read into register `n`; S[i] = y; the output byte
// S[x + y] goes into the low byte of register `out` after it is turned a byte to the right.
// clang-format off
#define TESSEL_RC4_STEP(x, n, out, here, next) \
    "addb %b[" x "], %b[j]\n\t"                \
    "movl (%[s],%[j],4), %k[y]\n\t"            \
    "movl %k[" x "], (%[s],%[j],4)\n\t"        \
    "movl " next ", %k[" n "]\n\t"             \
    "movl %k[y], " here "\n\t"                 \
    "addb %b[" x "], %b[y]\n\t"                \
    "rorq $8, %[" out "]\n\t"                  \
    "movb (%[s],%[y],4), %b[" out "]\n\t"
// clang-format on
#endif

void rc4(std::span<std::uint8_t> data, std::span<const std::uint8_t> key) {
    if (key.empty()) throw text::Error(5, u"Invalid procedure call or argument");
    // The state is kept in words rather than bytes: a swap then needs no byte merging.
    std::uint32_t s[256];
    for (std::uint32_t i = 0; i < 256; ++i) s[i] = i;
    const std::size_t keyLength = std::min<std::size_t>(key.size(), 256);
    std::uint32_t j = 0;
    for (std::size_t i = 0, k = 0; i < 256; ++i) {
        j = (j + s[i] + key[k]) & 0xFF;
        std::swap(s[i], s[j]);
        if (++k == keyLength) k = 0;
    }
    std::uint8_t* p = data.data();
    std::size_t left = data.size();
    std::uint32_t i = 1;
    j = 0;
    auto step = [&]() -> std::uint8_t {
        const std::uint32_t x = s[i];
        j = (j + x) & 0xFF;
        const std::uint32_t y = s[j];
        s[j] = x;
        s[i] = y;
        i = (i + 1) & 0xFF;
        return static_cast<std::uint8_t>(s[(x + y) & 0xFF]);
    };
#if defined(__x86_64__) && defined(__GNUC__)
    // Single steps until i is a multiple of 16, so the next sixteen state words lie side by side.
    for (; left > 0 && (i & 15) != 0; --left, ++p) *p ^= step();
    // Sixteen steps at a time, the keystream gathered in two registers for two eight-byte XORs.
    // The index sums are byte additions (they wrap at 256 by themselves), and each step reads
    // the word the next one starts from after storing S[j] and before storing S[i]: the
    // processor then overlaps the steps, and a next word that S[j] just replaced is read back
    // as stored.
    if (left >= 16) {
        std::uint64_t jr = j, x = s[i], n = 0, y = 0;
        for (; left >= 16; left -= 16, p += 16) {
            std::uint64_t low = 0, high = 0;
            const std::uint64_t at = i, wrap = (i + 16) & 0xFF;
            asm(TESSEL_RC4_STEP("x", "n", "o", "0(%[s],%[i],4)", "4(%[s],%[i],4)")
                TESSEL_RC4_STEP("n", "x", "o", "4(%[s],%[i],4)", "8(%[s],%[i],4)")
                TESSEL_RC4_STEP("x", "n", "o", "8(%[s],%[i],4)", "12(%[s],%[i],4)")
                TESSEL_RC4_STEP("n", "x", "o", "12(%[s],%[i],4)", "16(%[s],%[i],4)")
                TESSEL_RC4_STEP("x", "n", "o", "16(%[s],%[i],4)", "20(%[s],%[i],4)")
                TESSEL_RC4_STEP("n", "x", "o", "20(%[s],%[i],4)", "24(%[s],%[i],4)")
                TESSEL_RC4_STEP("x", "n", "o", "24(%[s],%[i],4)", "28(%[s],%[i],4)")
                TESSEL_RC4_STEP("n", "x", "o", "28(%[s],%[i],4)", "32(%[s],%[i],4)")
                TESSEL_RC4_STEP("x", "n", "p", "32(%[s],%[i],4)", "36(%[s],%[i],4)")
                TESSEL_RC4_STEP("n", "x", "p", "36(%[s],%[i],4)", "40(%[s],%[i],4)")
                TESSEL_RC4_STEP("x", "n", "p", "40(%[s],%[i],4)", "44(%[s],%[i],4)")
                TESSEL_RC4_STEP("n", "x", "p", "44(%[s],%[i],4)", "48(%[s],%[i],4)")
                TESSEL_RC4_STEP("x", "n", "p", "48(%[s],%[i],4)", "52(%[s],%[i],4)")
                TESSEL_RC4_STEP("n", "x", "p", "52(%[s],%[i],4)", "56(%[s],%[i],4)")
                TESSEL_RC4_STEP("x", "n", "p", "56(%[s],%[i],4)", "60(%[s],%[i],4)")
                TESSEL_RC4_STEP("n", "x", "p", "60(%[s],%[i],4)", "(%[s],%[w],4)")
                "rorq $8, %[o]\n\t"
                "rorq $8, %[p]\n\t"
                : [j] "+&r"(jr), [x] "+&r"(x), [n] "+&r"(n), [y] "+&r"(y), [o] "+&r"(low),
                  [p] "+&r"(high)
                : [s] "r"(s), [i] "r"(at), [w] "r"(wrap)
                : "memory", "cc");
            i = static_cast<std::uint32_t>(wrap);
            // The keystream's first byte is the low byte of `low`. The sixteen bytes are XORed
            // as two words read in one copy: two separate loads let the compiler merge them into
            // a vector XOR, which is slower here.
            std::uint64_t word[2];
            std::memcpy(word, p, 16);
            word[0] ^= bytes::ordered<std::endian::little>(low);
            word[1] ^= bytes::ordered<std::endian::little>(high);
            std::memcpy(p, word, 16);
        }
        j = static_cast<std::uint32_t>(jr);
    }
#endif
    for (; left > 0; --left, ++p) *p ^= step();
}

#undef TESSEL_RC4_STEP

std::vector<std::uint8_t>& dbDecode(std::vector<std::uint8_t>& data, std::u16string_view key) {
    std::vector<std::uint8_t> keyBytes;
    keyBytes.reserve(std::min<std::size_t>(key.size(), 256));
    for (std::size_t i = 0; i < key.size() && i < 256; ++i) {
        std::vector<std::uint8_t> code = text::toAnsi(key.substr(i, 1));
        if (code.size() != 1) throw text::Error(6, u"Overflow");
        keyBytes.push_back(code[0]);
    }
    if (data.empty()) return data;
    rc4(data, keyBytes);
    return data;
}

std::u16string messageEncode(std::vector<std::uint8_t> data, std::u16string_view key,
                             const Base64Encoder& base64) {
    dbDecode(data, key);
    // Base64 a piece at a time into a text that has room for the key from the start: pieces of
    // a multiple of three bytes encode to the Base64 of the whole, and the enciphered bytes go
    // as soon as they are written.
    constexpr std::size_t kPiece = 3 * 256 * 1024;
    std::u16string out;
    out.reserve((data.size() + 2) / 3 * 4 + key.size());
    for (std::size_t at = 0; at < data.size() || at == 0; at += kPiece) {
        const std::size_t n = std::min(kPiece, data.size() - at);
        if (n == data.size()) {
            out.append(base64(data));
        } else {
            const std::vector<std::uint8_t> piece(
                data.begin() + static_cast<std::ptrdiff_t>(at),
                data.begin() + static_cast<std::ptrdiff_t>(at + n));
            out.append(base64(piece));
        }
        if (at + n >= data.size()) break;
    }
    std::vector<std::uint8_t>().swap(data);
    // The key goes into the front; what follows it stays where it is.
    const std::size_t front = std::min(out.size(), kMessageKeyLength);
    out.replace(0, front, insertKey(std::u16string_view(out).substr(0, front), key));
    // Every CR LF pair out, in place.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == u'\r' && i + 1 < out.size() && out[i + 1] == u'\n') {
            ++i;
            continue;
        }
        out[kept++] = out[i];
    }
    out.resize(kept);
    return out;
}

MessageParts splitMessage(std::u16string_view cipherText) {
    MessageParts parts;
    parts.body = std::u16string(cipherText);
    parts.key = extractKey(parts.body);
    return parts;
}

std::vector<std::uint8_t> messageDecodeBody(const MessageParts& parts,
                                            const Base64Decoder& base64) {
    std::vector<std::uint8_t> bytes = base64(parts.body);
    dbDecode(bytes, parts.key);
    return bytes;
}

}  // namespace ciphra
