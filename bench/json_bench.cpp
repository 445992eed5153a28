// The server's JSON reader against nlohmann-json on the same document; throughput counts the
// document's UTF-8 bytes on both sides.
#include <nlohmann/json.hpp>

#include "bench/reference.h"
#include "platform/text/text.h"
#include "server/json.h"

namespace tessel::bench {
namespace {

// An issuing request's kind of JSON: records of short texts (Korean and ASCII, some escapes),
// numbers, flags, nulls and a nested object; 250 bytes a record.
std::string document(int records) {
    std::string s = "[";
    for (int i = 0; i < records; ++i) {
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
}

// A request-sized document (16 records, 4 KB) and a large one (6000 records, 1.5 MB). The large
// one also shows what freeing a tree of some megabytes costs the next read (see JsonAllocator).
void jsonPair(const std::string& subject, int records) {
    registerPair(
        subject,
        [records](benchmark::State& state) {
            const std::string doc = document(records);
            const std::u16string text = platform::text::fromUtf8(doc);
            auto check = tessel::server::ParseJson(text);
            if (!check.root || !check.errors.empty() ||
                check.root->array().size() != static_cast<std::size_t>(records))
                state.SkipWithError("the reader did not read the document");
            for (auto _ : state) benchmark::DoNotOptimize(tessel::server::ParseJson(text));
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * doc.size()));
        },
        [records](benchmark::State& state) {
            const std::string doc = document(records);
            for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(doc));
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * doc.size()));
        });
}

const bool registered = [] {
    jsonPair("JSON-read-4KB", 16);
    jsonPair("JSON-read-1.5MB", 6000);
    return true;
}();

}  // namespace
}  // namespace tessel::bench
