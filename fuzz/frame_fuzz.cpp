// The receive path of one connection: bytes in arrivals of fuzzer-chosen sizes, decoded from the
// ANSI code page, cut into frames; every frame taken apart as the dispatcher does.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lib/frame/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessel;
    if (size < 2) return 0;
    // The first byte chooses the arrival size and the log level, the second the frame limit.
    const std::size_t chunk = 1 + data[0] % 64;
    FrameAssembler assembler(64 + std::size_t(data[1]) * 16);
    assembler.setLogLevel(data[0] & 0x80 ? kNoHeaderCheckLevel : 10);
    AnsiStreamDecoder decoder;
    std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        std::u16string text = decoder.decode(bytes.substr(at, chunk));
        (void)couldBeginHeader(text);
        (void)beginsWithHeader(text);
        (void)replyLength(text);
        assembler.arrive(text);
        for (;;) {
            FrameAssembler::Result r = assembler.next();
            if (r.status == FrameAssembler::Status::Frame) {
                (void)FCheckHeader(r.frame, 10);
                (void)declaredLength(r.frame);
                (void)frameCode(r.frame);
                (void)frameBody(r.frame);
                continue;
            }
            if (r.status != FrameAssembler::Status::NeedMore) assembler.clear();
            break;
        }
    }
    return 0;
}
