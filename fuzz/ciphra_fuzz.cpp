// The decoders of the message cipher library on any text: the message cipher (Des), Blowfish,
// the small RSA under a fixed key pair, and the headed format (without a native library, so the
// session key, the header and its Base64 are read and the body call fails).
// The first byte chooses the decoder; the rest is the cipher text as UTF-8.
#include <cstddef>
#include <cstdint>

#include "ciphers/ciphers.h"
#include "ciphers/convert.h"
#include "ciphers/headed.h"
#include "ciphers/state.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ciphra;
    static platform::testing::TempMachine machine;
    static const std::u16string privateKey =
        b64EncodeText(u"20635979-10200114001240012200133501020011400124001220013350-31724113");
    if (size < 1) return 0;
    std::u16string text = platform::text::fromUtf8(
        std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    resetState();
    switch (data[0] % 4) {
        case 0:
            (void)desDecode(text);
            break;
        case 1:
            (void)blowfishDecode(text);
            break;
        case 2:
            (void)rsaDecode(text, privateKey);
            break;
        default:
            state().headed.algorithmSetting = 2;
            state().headed.keyLength = 256;
            (void)decodeSealwyn(text, data[0] & 0x10);
            break;
    }
    return 0;
}
