#include "platform/text/packed.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <iterator>
#include <mutex>

namespace platform::text {

namespace {

std::atomic<std::size_t> gHeld{0};

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Plain runs share a run until it holds this many characters.
constexpr std::size_t kPlainRun = 64 * 1024;
// Shorter runs of Base64 stay plain text.
constexpr std::size_t kLeastBase64 = 256;

// Values of the Base64 alphabet's characters; -1 for every other character below 0x100.
constexpr auto kValues = [] {
    std::array<std::int8_t, 256> v{};
    v.fill(-1);
    for (int i = 0; i < 64; ++i)
        v[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    return v;
}();

int base64Value(char16_t c) {
    return c < 0x100 ? kValues[c] : -1;
}

bool isHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// The bytes of a Base64 text that give the text back exactly: whole groups of four, "=" only
// as the last one or two, no bits left over. False when the text is not such.
bool decodeExact(std::u16string_view text, std::string& out) {
    if (text.size() < 4 || text.size() % 4) return false;
    std::size_t pad = 0;
    if (text.back() == u'=') pad = text[text.size() - 2] == u'=' ? 2 : 1;
    out.assign(text.size() / 4 * 3 - pad, '\0');
    char* to = out.data();
    // The groups of four data characters; a padded last group is read after them.
    const std::size_t groups = pad ? text.size() - 4 : text.size();
    int bad = 0;
    for (std::size_t i = 0; i < groups; i += 4) {
        const int a = base64Value(text[i]), b = base64Value(text[i + 1]),
                  c = base64Value(text[i + 2]), d = base64Value(text[i + 3]);
        bad |= a | b | c | d;
        const std::uint32_t n = (std::uint32_t(a & 63) << 18) | (std::uint32_t(b & 63) << 12) |
                                (std::uint32_t(c & 63) << 6) | std::uint32_t(d & 63);
        *to++ = static_cast<char>(n >> 16);
        *to++ = static_cast<char>(n >> 8);
        *to++ = static_cast<char>(n);
    }
    if (bad < 0) return false;
    if (pad) {
        const std::size_t i = groups;
        const int a = base64Value(text[i]), b = base64Value(text[i + 1]);
        const int c = pad == 1 ? base64Value(text[i + 2]) : 0;
        if ((a | b | c) < 0) return false;
        // No bits left over: the characters give these bytes back exactly.
        if (pad == 2 ? (b & 15) : (c & 3)) return false;
        const std::uint32_t n =
            (std::uint32_t(a) << 18) | (std::uint32_t(b) << 12) | (std::uint32_t(c) << 6);
        *to++ = static_cast<char>(n >> 16);
        if (pad == 1) *to++ = static_cast<char>(n >> 8);
    }
    return true;
}

// The two Base64 characters of each 12-bit value, so a group of three bytes is written as two
// pairs.
constexpr auto kPairs = [] {
    std::array<std::array<char16_t, 2>, 4096> pairs{};
    for (std::size_t v = 0; v < pairs.size(); ++v)
        pairs[v] = {char16_t(kAlphabet[v >> 6]), char16_t(kAlphabet[v & 63])};
    return pairs;
}();

// Writes the Base64 of `bytes` through `put`, in pieces.
template <typename Out>
void encodeTo(std::string_view bytes, Out&& put) {
    char16_t chunk[4096];
    std::size_t used = 0;
    const auto flush = [&] {
        put(std::u16string_view(chunk, used));
        used = 0;
    };
    std::size_t i = 0;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    while (i + 2 < bytes.size()) {
        // Whole groups of three bytes, as many as the chunk takes.
        const std::size_t groups = std::min((bytes.size() - i) / 3, (std::size(chunk) - used) / 4);
        char16_t* out = chunk + used;
        for (std::size_t g = 0; g < groups; ++g, i += 3, out += 4) {
            const std::uint32_t n = (std::uint32_t(in[i]) << 16) | (std::uint32_t(in[i + 1]) << 8) |
                                    std::uint32_t(in[i + 2]);
            std::memcpy(out, kPairs[n >> 12].data(), sizeof(char16_t) * 2);
            std::memcpy(out + 2, kPairs[n & 0xFFF].data(), sizeof(char16_t) * 2);
        }
        used += groups * 4;
        if (used + 4 > std::size(chunk)) flush();
    }
    if (const std::size_t rest = bytes.size() - i) {
        if (used + 4 > std::size(chunk)) flush();
        std::uint32_t n = std::uint32_t(in[i]) << 16;
        if (rest == 2) n |= std::uint32_t(in[i + 1]) << 8;
        chunk[used++] = char16_t(kAlphabet[(n >> 18) & 63]);
        chunk[used++] = char16_t(kAlphabet[(n >> 12) & 63]);
        chunk[used++] = rest == 2 ? char16_t(kAlphabet[(n >> 6) & 63]) : u'=';
        chunk[used++] = u'=';
    }
    if (used) flush();
}

// Calls put with the characters of the run, in pieces.
template <typename Out>
void runText(const PackedText::Run& run, Out&& put) {
    switch (run.kind) {
        case PackedText::Run::Kind::Wide:
            put(std::u16string_view(run.wide));
            return;
        case PackedText::Run::Kind::Base64:
            encodeTo(run.narrow, put);
            return;
        case PackedText::Run::Kind::Narrow: {
            char16_t chunk[4096];
            for (std::size_t at = 0; at < run.narrow.size(); at += std::size(chunk)) {
                const std::size_t n = std::min(std::size(chunk), run.narrow.size() - at);
                for (std::size_t i = 0; i < n; ++i)
                    chunk[i] = static_cast<unsigned char>(run.narrow[at + i]);
                put(std::u16string_view(chunk, n));
            }
            return;
        }
    }
}

struct Registry {
    std::mutex mutex;
    std::vector<std::weak_ptr<const PackedText>> texts;

    // Forgets the texts gone; the caller holds the lock.
    void prune() {
        std::erase_if(texts, [](const auto& t) { return t.expired(); });
    }
    void add(const std::shared_ptr<const PackedText>& text) {
        std::lock_guard<std::mutex> lock(mutex);
        prune();
        texts.push_back(text);
    }
};

Registry& registry() {
    static Registry* r = new Registry;  // lives as long as the process
    return *r;
}

}  // namespace

// ---- PackedText ----

PackedText::Run::~Run() {
    gHeld -= counted_;
}

void PackedText::Run::count() {
    const std::size_t now = narrow.capacity() + wide.capacity() * sizeof(char16_t);
    gHeld += now;
    gHeld -= counted_;
    counted_ = now;
}

PackedText::PackedText(std::vector<RunPtr> runs) : runs_(std::move(runs)) {
    for (const RunPtr& run : runs_) size_ += run->size;
}

std::size_t PackedText::heldBytes() {
    return gHeld.load();
}

std::u16string PackedText::text(std::size_t start, std::size_t count) const {
    std::u16string out;
    if (start >= size_) return out;
    const std::size_t end = count >= size_ - start ? size_ : start + count;
    out.reserve(end - start);
    // The runs from the one that holds `start`.
    auto it = std::upper_bound(runs_.begin(), runs_.end(), start,
                               [](std::size_t at, const RunPtr& r) { return at < r->start; });
    if (it != runs_.begin()) --it;
    for (; it != runs_.end() && (*it)->start < end; ++it) {
        const Run& run = **it;
        std::size_t at = run.start;
        runText(run, [&](std::u16string_view piece) {
            const std::size_t pieceEnd = at + piece.size();
            const std::size_t from = std::max(at, start), to = std::min(pieceEnd, end);
            if (from < to) out.append(piece.substr(from - at, to - from));
            at = pieceEnd;
        });
    }
    return out;
}

std::size_t PackedText::find(char16_t c, std::size_t from) const {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), from,
                               [](std::size_t at, const RunPtr& r) { return at < r->start; });
    if (it != runs_.begin()) --it;
    for (; it != runs_.end(); ++it) {
        const Run& run = **it;
        if (run.kind == Run::Kind::Base64) continue;
        const std::size_t skip = from > run.start ? from - run.start : 0;
        std::size_t found = std::string::npos;
        if (run.kind == Run::Kind::Narrow)
            found = run.narrow.find(static_cast<char>(c), skip);
        else
            found = run.wide.find(c, skip);
        if (found != std::string::npos) return run.start + found;
    }
    return std::string::npos;
}

const PackedText::Run* PackedText::runOf(std::size_t start, std::size_t count) const {
    auto it = std::lower_bound(runs_.begin(), runs_.end(), start,
                               [](const RunPtr& r, std::size_t at) { return r->start < at; });
    if (it == runs_.end() || (*it)->start != start || (*it)->size != count) return nullptr;
    return it->get();
}

bool PackedText::equals(std::u16string_view other) const {
    if (other.size() != size_) return false;
    std::size_t at = 0;
    bool same = true;
    for (const RunPtr& run : runs_) {
        runText(*run, [&](std::u16string_view piece) {
            // Equal or not, without ordering: compared as memory.
            if (same &&
                std::memcmp(other.data() + at, piece.data(), piece.size() * sizeof(char16_t)) != 0)
                same = false;
            at += piece.size();
        });
        if (!same) return false;
    }
    return true;
}

std::shared_ptr<const PackedText> PackedText::share(std::u16string_view text) {
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.prune();
        for (const auto& weak : r.texts)
            if (auto alive = weak.lock(); alive && alive->equals(text)) return alive;
    }
    PackedTextBuilder builder;
    builder.append(text);
    return builder.snapshot();
}

// ---- PackedTextBuilder ----

void PackedTextBuilder::append(std::u16string_view text) {
    if (text.empty()) return;
    snapshot_.reset();
    std::size_t at = 0;
    while (at < text.size()) {
        // A stretch of Base64 characters and the padding after them.
        std::size_t end = at;
        while (end < text.size() && base64Value(text[end]) >= 0) ++end;
        if (end > at) {
            std::size_t padded = end;
            while (padded < text.size() && padded - end < 2 && text[padded] == u'=') ++padded;
            if (padded - at >= kLeastBase64) {
                addBase64(text.substr(at, padded - at));
                at = padded;
                continue;
            }
            end = padded;
        }
        // Plain text up to the next stretch long enough to pack.
        std::size_t plainEnd = end > at ? end : at + 1;
        while (plainEnd < text.size()) {
            std::size_t run = plainEnd;
            while (run < text.size() && base64Value(text[run]) >= 0) ++run;
            if (run - plainEnd >= kLeastBase64) break;
            plainEnd = run > plainEnd ? run : plainEnd + 1;
        }
        addPlain(text.substr(at, plainEnd - at));
        at = plainEnd;
    }
}

void PackedTextBuilder::addBase64(std::u16string_view text) {
    auto run = std::make_shared<PackedText::Run>();
    if (!decodeExact(text, run->narrow)) {
        addPlain(text);
        return;
    }
    run->kind = PackedText::Run::Kind::Base64;
    run->start = size_;
    run->size = text.size();
    run->hexDigits = std::all_of(text.begin(), text.end(), isHexDigit);
    run->count();
    runs_.push_back(std::move(run));
    size_ += text.size();
}

void PackedTextBuilder::addPlain(std::u16string_view text) {
    const bool wide = std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
    const auto kind = wide ? PackedText::Run::Kind::Wide : PackedText::Run::Kind::Narrow;
    PackedText::Run* run = nullptr;
    if (runs_.size() > sealed_ && runs_.back()->kind == kind &&
        runs_.back()->size + text.size() <= kPlainRun)
        run = runs_.back().get();
    if (!run) {
        auto fresh = std::make_shared<PackedText::Run>();
        fresh->kind = kind;
        fresh->start = size_;
        // Grown as it fills: most plain runs are the one comma after a page.
        run = fresh.get();
        runs_.push_back(std::move(fresh));
    }
    if (wide) {
        run->wide.append(text);
    } else {
        const std::size_t at = run->narrow.size();
        run->narrow.resize(at + text.size());
        for (std::size_t i = 0; i < text.size(); ++i)
            run->narrow[at + i] = static_cast<char>(text[i]);
    }
    run->size += text.size();
    run->count();
    size_ += text.size();
}

void PackedTextBuilder::clear() {
    std::vector<std::shared_ptr<PackedText::Run>>().swap(runs_);
    size_ = 0;
    sealed_ = 0;
    snapshot_.reset();
}

std::shared_ptr<const PackedText> PackedTextBuilder::snapshot() const {
    if (snapshot_) return snapshot_;
    std::vector<PackedText::RunPtr> runs(runs_.begin(), runs_.end());
    sealed_ = runs_.size();
    auto text = std::make_shared<const PackedText>(std::move(runs));
    registry().add(text);
    snapshot_ = text;
    return text;
}

std::u16string PackedTextBuilder::text() const {
    return snapshot()->text();
}

}  // namespace platform::text
