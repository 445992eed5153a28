// The viewer's page images on any input: a page text (hexadecimal, else Base64) decoded into
// a picture. The first byte chooses whether the rest is the page text as it comes in the page
// list, or an image file that is handed over as hexadecimal or as Base64 text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/text/text.h"
#include "viewer/control/viewer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace text = platform::text;
    if (size < 1) return 0;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    std::optional<platform::imaging::Picture> picture;
    switch (data[0] % 3) {
        case 0:
            picture = vistrel::decodePageText(std::u16string(rest.begin(), rest.end()));
            break;
        case 1:
            picture = vistrel::decodePageText(text::toHex(rest));
            break;
        default:
            picture = vistrel::decodePageText(text::toBase64(rest));
            break;
    }
    if (picture && picture->pixels.size() != static_cast<std::size_t>(picture->width) *
                                                 static_cast<std::size_t>(picture->height))
        std::abort();
    return 0;
}
