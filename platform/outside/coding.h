// Codings shared by the outside components: digests, and the text module's hexadecimal and
// Base64 with the components' failure reports.
// Failures raise COM errors (E_INVALIDARG for bad input), as the components report them.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::outside::coding {

using Bytes = std::vector<std::uint8_t>;

Bytes digest(const EVP_MD* md, const Bytes& data);

std::u16string hexLower(const Bytes& data);
// Either case; an odd length or a character outside 0-9, a-f raises.
Bytes unhex(std::u16string_view text);

// RFC 4648 with "=" padding and no line breaks.
std::u16string base64Encode(const Bytes& data);
// Skips CR, LF, tab and blanks; anything else outside the alphabet, data after padding or a
// dangling character raises.
Bytes base64Decode(std::u16string_view text);

}  // namespace platform::outside::coding
