// The viewer's parameter text: the prefix, the decoding roads and the parser of the plain
// "key==value|" string, on any text. The first byte chooses the road; the rest is the text as
// UTF-8:
//   0  the whole parameter text as a host puts it (prefix and cipher text),
//   1  a plain parameter string, handed over in the Base64 form of mode 0,
//   2  a plain parameter string, enciphered as the issuing server does (message cipher,
//      code page 949), deciphered under the charset the next byte chooses,
//   3  the message-cipher road and the line clean-up on a text that claims to be a cipher text.
#include <cstddef>
#include <cstdint>

#include "ciphers/dbcodec.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"
#include "viewer/control/param.h"
#include "viewer/state/module_state.h"

namespace {

namespace text = platform::text;

constexpr std::u16string_view kKey = u"1001310013100131000410057";
constexpr std::u16string_view kCharsets[] = {u"", u"Euc-kr", u"utf-8", u"ks_c_5601-1987"};

std::u16string cipherOf(std::u16string_view plain) {
    return ciphra::messageEncode(
        text::toCodePage(plain, text::kCodePageKorean), kKey,
        [](const std::vector<std::uint8_t>& b) { return text::toBase64(b); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vistrel;
    static platform::testing::TempMachine machine;
    if (size < 2) return 0;
    const std::u16string input =
        text::fromUtf8(std::string_view(reinterpret_cast<const char*>(data + 2), size - 2));
    resetModuleState();
    viewerState().charset = std::u16string(kCharsets[data[1] % std::size(kCharsets)]);
    switch (data[0] % 4) {
        case 0:
            putParam(input);
            break;
        case 1:
            putParam(u"0Velmora/plain|" + text::toBase64(text::toUtf16leBytes(input)));
            break;
        case 2:
            putParam(u"1Velmora/DES|" + cipherOf(input));
            break;
        default:
            (void)DecodeDes(input, data[1] & 0x80);
            (void)joinLongLines(input);
            break;
    }
    return 0;
}
