// CP949 <-> UTF-16 conversion of a 10 MB text through the platform's code pages against one
// iconv loop over the same text.
#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

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

// Conversions through iconv as a careful caller makes them: the descriptor opened once, and
// one output buffer sized once for the largest result and never zero-filled, reused by every
// call.
class IconvLoop {
  public:
    IconvLoop(const char* to, const char* from, std::size_t maxOutput)
        : cd_(iconv_open(to, from)), buffer_(new char[maxOutput]), size_(maxOutput) {}
    ~IconvLoop() {
        if (ok()) iconv_close(cd_);
    }
    IconvLoop(const IconvLoop&) = delete;
    IconvLoop& operator=(const IconvLoop&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // Converts the whole input; the result is valid until the next call, empty on failure.
    std::string_view convert(const void* in, std::size_t length) {
        if (!ok()) return {};
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        char* src = const_cast<char*>(static_cast<const char*>(in));
        char* dst = buffer_.get();
        std::size_t srcLeft = length, dstLeft = size_;
        if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) return {};
        return {buffer_.get(), size_ - dstLeft};
    }

  private:
    iconv_t cd_;
    std::unique_ptr<char[]> buffer_;
    std::size_t size_;
};

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
            // A CP949 character takes at most as many bytes as its UTF-16 code units.
            IconvLoop loop("CP949", "UTF-16LE", t.size() * 2);
            const auto check = loop.convert(t.data(), t.size() * 2);
            if (!std::equal(
                    check.begin(), check.end(), cp949().begin(), cp949().end(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
                state.SkipWithError("iconv gave other bytes");
            for (auto _ : state)
                benchmark::DoNotOptimize(loop.convert(t.data(), t.size() * 2).data());
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
            // Each CP949 byte gives at most one UTF-16 code unit.
            IconvLoop loop("UTF-16LE", "CP949", b.size() * 2);
            const auto check = loop.convert(b.data(), b.size());
            if (check.size() != text().size() * 2 ||
                std::memcmp(check.data(), text().data(), check.size()) != 0)
                state.SkipWithError("iconv gave other text");
            for (auto _ : state) benchmark::DoNotOptimize(loop.convert(b.data(), b.size()).data());
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b.size()));
        });
    return true;
}();

}  // namespace
}  // namespace tessel::bench
