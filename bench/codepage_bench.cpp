// CP949 <-> UTF-16 conversion of a 10 MB text through the platform's code pages against one
// plain iconv loop over the same text.
#include <iconv.h>

#include <cerrno>

#include "bench/reference.h"
#include "platform/text/text.h"

namespace tessel::bench {
namespace {

constexpr std::size_t kTextBytes = 10 * 1024 * 1024;

// Korean prose with ASCII words and digits between, about 10 MB in CP949.
const std::u16string& text() {
    static const std::u16string t = [] {
        const std::u16string line =
            u"발급 요청 0042: 주민등록표 등본 1부, 수수료 400원 (Office Laser, A4) 처리 완료.\r\n";
        std::u16string s;
        std::size_t bytes = platform::text::toCodePage(line, 949).size();
        for (std::size_t n = 0; n < kTextBytes; n += bytes) s += line;
        return s;
    }();
    return t;
}

const std::vector<std::uint8_t>& cp949() {
    static const std::vector<std::uint8_t> b = platform::text::toCodePage(text(), 949);
    return b;
}

// One conversion through iconv: the whole input, growing the output when it is full.
std::string iconvAll(const char* to, const char* from, const char* in, std::size_t length) {
    iconv_t cd = iconv_open(to, from);
    std::string out(length * 2 + 16, '\0');
    char* src = const_cast<char*>(in);
    std::size_t srcLeft = length;
    std::size_t written = 0;
    while (srcLeft > 0) {
        char* dst = out.data() + written;
        std::size_t dstLeft = out.size() - written;
        std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        written = out.size() - dstLeft;
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG)
            out.resize(out.size() * 2);
        else
            break;
    }
    iconv_close(cd);
    out.resize(written);
    return out;
}

const bool registered = [] {
    registerPair(
        "CP949-encode",
        [](benchmark::State& state) {
            if (platform::text::toCodePage(text(), 949) != cp949())
                state.SkipWithError("round trip failed");
            for (auto _ : state) benchmark::DoNotOptimize(platform::text::toCodePage(text(), 949));
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * cp949().size()));
        },
        [](benchmark::State& state) {
            const auto& t = text();
            auto check = iconvAll("CP949", "UTF-16LE", reinterpret_cast<const char*>(t.data()),
                                  t.size() * 2);
            if (std::vector<std::uint8_t>(check.begin(), check.end()) != cp949())
                state.SkipWithError("iconv gave other bytes");
            for (auto _ : state)
                benchmark::DoNotOptimize(iconvAll(
                    "CP949", "UTF-16LE", reinterpret_cast<const char*>(t.data()), t.size() * 2));
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * cp949().size()));
        });
    registerPair(
        "CP949-decode",
        [](benchmark::State& state) {
            if (platform::text::fromCodePage(cp949(), 949) != text())
                state.SkipWithError("round trip failed");
            for (auto _ : state)
                benchmark::DoNotOptimize(platform::text::fromCodePage(cp949(), 949));
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * cp949().size()));
        },
        [](benchmark::State& state) {
            const auto& b = cp949();
            for (auto _ : state)
                benchmark::DoNotOptimize(iconvAll(
                    "UTF-16LE", "CP949", reinterpret_cast<const char*>(b.data()), b.size()));
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b.size()));
        });
    return true;
}();

}  // namespace
}  // namespace tessel::bench
