// The message key: 25 decimal digits in five groups of five, each group divisible by its own
// prime (17, 19, 31, 61, 89), carried inside every message cipher text. Also the weave that
// puts a key (or a SHA-1 digest) into the even positions at the front of a cipher text and
// takes it out again.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ciphra {

inline constexpr std::size_t kMessageKeyLength = 25;
inline constexpr std::size_t kSha1KeyLength = 40;

// A new message key: every group from 10000 to 19999 and divisible by its prime.
std::u16string generateKey();

// Tests install a fixed key generator for the current thread; nullptr restores the random one.
using KeyGenerator = std::function<std::u16string()>;
void setKeyGenerator(KeyGenerator generator);

// True when each of the five 5-character groups converts to a 32-bit integer divisible by its
// prime. Only divisibility is checked (not the length of 25 or the group range); a key of 21
// to 24 characters is checked with a shorter fifth group, one of fewer than 21 fails.
bool checkKey(std::u16string_view key);

// Weave: characters 1..n of the text alternate with characters 1..n of the key (text first),
// then the text from its character n+1. For a text shorter than n, the surplus key
// characters follow one after another.
std::u16string weaveKey(std::u16string_view text, std::u16string_view key, std::size_t n);

// The exact inverse of weaveKey for a key of n characters, whatever the text's length:
// returns the key and replaces `woven` by the text. A woven text of fewer than n characters
// cannot hold a whole key: all of it is returned as the key and the text becomes empty.
std::u16string unweaveKey(std::u16string& woven, std::size_t n);

inline std::u16string insertKey(std::u16string_view text, std::u16string_view key) {
    return weaveKey(text, key, kMessageKeyLength);
}
inline std::u16string extractKey(std::u16string& woven) {
    return unweaveKey(woven, kMessageKeyLength);
}
inline std::u16string insertSha1Key(std::u16string_view text, std::u16string_view digest) {
    return weaveKey(text, digest, kSha1KeyLength);
}
inline std::u16string extractSha1Key(std::u16string& woven) {
    return unweaveKey(woven, kSha1KeyLength);
}

}  // namespace ciphra
