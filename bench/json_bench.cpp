// The server's JSON reader against nlohmann-json on the same document; throughput counts the
// document's UTF-8 bytes on both sides.
#include <nlohmann/json.hpp>

#include "bench/reference.h"
#include "platform/text/text.h"
#include "server/json.h"

namespace tessel::bench {
namespace {

// An issuing request's kind of JSON: records of short texts (Korean and ASCII, some escapes),
// numbers, flags, nulls and a nested object, about 1.5 MB.
const std::string& document() {
    static const std::string doc = [] {
        std::string s = "[";
        for (int i = 0; i < 6000; ++i) {
            if (i) s += ",";
            s += "{\"id\":" + std::to_string(i) + ",\"name\":\"홍길동 " + std::to_string(i) +
                 "\",\"address\":\"서울특별시 중구 세종대로 " + std::to_string(i % 300) +
                 "\",\"amount\":" + std::to_string(i * 37) + "." + std::to_string(i % 100) +
                 ",\"active\":" + (i % 2 ? "true" : "false") +
                 ",\"note\":\"line one\\nline \\\"two\\\" \\u00e9\",\"empty\":null," +
                 "\"tags\":[\"page\",\"print\",\"A" + std::to_string(i % 7) + "\"]," +
                 "\"form\":{\"printer\":\"Office Laser\",\"copies\":1,\"duplex\":false}}";
        }
        return s + "]";
    }();
    return doc;
}

const bool registered = [] {
    registerPair(
        "JSON-read",
        [](benchmark::State& state) {
            const std::u16string text = platform::text::fromUtf8(document());
            auto check = tessel::server::ParseJson(text);
            if (!check.root || !check.errors.empty() || check.root->array().size() != 6000)
                state.SkipWithError("the reader did not read the document");
            for (auto _ : state) benchmark::DoNotOptimize(tessel::server::ParseJson(text));
            state.SetBytesProcessed(
                static_cast<std::int64_t>(state.iterations() * document().size()));
        },
        [](benchmark::State& state) {
            const std::string& text = document();
            for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(text));
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
        });
    return true;
}();

}  // namespace
}  // namespace tessel::bench
