// The facade's small utilities for server pages: text replacement, Base64 with and without
// compression, a query-string store, value and date formatting, an HTTP download and the
// native library's SEED and ARIA ciphers.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"

namespace ciphra {

// Every occurrence of `from` (found without regard to case) replaced by `to`.
std::u16string replaceAll(std::u16string_view s, std::u16string_view from, std::u16string_view to);

// Base64 through AesBridge, the Zip forms over its compression. Failures raise.
std::u16string b64Encode(std::u16string_view data);
std::u16string b64Decode(std::u16string_view data);
std::u16string b64EncodeZip(std::u16string_view data);
std::u16string b64DecodeZip(std::u16string_view data);

// The query store of one facade object.
class QueryStore {
  public:
    // Cuts at the first BEL, splits at "&" into name=value pairs (trimmed, not URL-decoded;
    // the value ends at a second "="). An empty query or a pair without "=" raises error 9
    // after the pairs before it are stored.
    void set(std::u16string_view query);
    // The value of the first name equal to `name` without regard to case; "" when none.
    std::u16string get(std::u16string_view name) const;

  private:
    std::vector<std::u16string> names_, values_;
};

// The value formatted by the pattern: dates (date variants and "yyyy-mm-dd[ hh:mm[:ss]]"
// texts) with the date pattern letters, numbers with "0", "#", ",", "." and "%".
std::u16string aspFormat(const platform::com::Variant& data, std::u16string_view pattern);

// "YYYY-MM-DD hh:mm:ss" of one reading of the clock.
std::u16string dateTime2(const std::tm& local);
std::u16string dateTime2();
// The time moved by n units of the interval ("yyyy", "q", "m", "y", "d", "w", "ww", "h",
// "n", "s"); a month move keeps the day, clamped to the month's last day. An unknown interval
// raises error 5.
std::tm dateAdd(std::u16string_view interval, std::int32_t n, const std::tm& time);
std::u16string dateAdd2(std::u16string_view interval, std::int32_t n, std::u16string_view pattern);

// The body of an HTTP GET, taken as ANSI text whatever its status; the description of a
// failure instead when no reply comes.
std::u16string getXml(std::u16string_view url);

// The native library's SEED and ARIA members on a new native object, which becomes the
// thread's native-library object. Native failures raise.
std::u16string seedEncrypt(std::u16string_view pwd, std::u16string_view plainText);
std::u16string seedDecrypt(std::u16string_view pwd, std::u16string_view cipherText);
std::u16string ariaEncrypt(std::u16string_view pwd, std::int32_t keyLength,
                           std::u16string_view plainText);
std::u16string ariaDecrypt(std::u16string_view pwd, std::int32_t keyLength,
                           std::u16string_view cipherText);

}  // namespace ciphra
