#include "server/stringbuilder.h"

#include <limits>
#include <stdexcept>

#include "platform/text/text.h"

namespace tessel::server {

namespace {
constexpr std::int64_t kMaxChars = std::numeric_limits<std::int32_t>::max() / 2;
}

void cStringBuilder::ChunkSize(std::int32_t chunk) {
    if (chunk <= 0) throw std::invalid_argument("chunk size must be positive");
    if (chunk > kMaxChars) throw std::overflow_error("chunk size overflow");
    chunk_ = chunk;
}

void cStringBuilder::grow(std::int64_t needed) {
    if (needed > kMaxChars) throw std::overflow_error("string builder overflow");
    std::int64_t capacity = Capacity();
    if (capacity >= needed) return;
    while (capacity < needed) capacity += chunk_;
    if (capacity > kMaxChars) throw std::overflow_error("string builder overflow");
    buffer_.resize(static_cast<std::size_t>(capacity), u' ');
}

void cStringBuilder::TheString(std::u16string_view s) {
    if (s.empty()) {
        Clear();
        return;
    }
    grow(static_cast<std::int64_t>(s.size()));
    buffer_.replace(0, s.size(), s);
    used_ = static_cast<std::int32_t>(s.size());
}

void cStringBuilder::Clear() {
    buffer_.clear();
    buffer_.shrink_to_fit();
    used_ = 0;
}

void cStringBuilder::Append(std::u16string_view s) {
    if (s.empty()) return;
    grow(static_cast<std::int64_t>(used_) + static_cast<std::int64_t>(s.size()));
    buffer_.replace(static_cast<std::size_t>(used_), s.size(), s);
    used_ += static_cast<std::int32_t>(s.size());
}

void cStringBuilder::AppendNL(std::u16string_view s) {
    Append(s);
    Append(u"\r\n");
}

void cStringBuilder::Insert(std::int32_t index, std::u16string_view s) {
    if (index < 0 || index > used_) throw std::out_of_range("Subscript out of range");
    if (s.empty()) return;
    grow(static_cast<std::int64_t>(used_) + static_cast<std::int64_t>(s.size()));
    auto at = static_cast<std::size_t>(index);
    auto tail = static_cast<std::size_t>(used_) - at;
    std::char_traits<char16_t>::move(buffer_.data() + at + s.size(), buffer_.data() + at, tail);
    std::char_traits<char16_t>::copy(buffer_.data() + at, s.data(), s.size());
    used_ += static_cast<std::int32_t>(s.size());
}

void cStringBuilder::Remove(std::int32_t index, std::int32_t len) {
    if (index < 0 || len < 0 || index > used_ || static_cast<std::int64_t>(index) + len > used_)
        throw std::out_of_range("Subscript out of range");
    auto at = static_cast<std::size_t>(index);
    auto n = static_cast<std::size_t>(len);
    auto tail = static_cast<std::size_t>(used_) - at - n;
    std::char_traits<char16_t>::move(buffer_.data() + at, buffer_.data() + at + n, tail);
    used_ -= len;
}

std::int32_t cStringBuilder::Find(std::u16string_view s, std::int32_t start, int compare) const {
    if (start < 1) start = 1;
    std::u16string_view used(buffer_.data(), static_cast<std::size_t>(used_));
    if (start > used_ + 1) return 0;
    if (used.empty()) return 0;
    long at = platform::text::InStr(start, used, s, compare == 1);
    return static_cast<std::int32_t>(at);
}

void cStringBuilder::HeapMinimize() {
    std::int32_t capacity = Capacity();
    while (capacity - used_ > chunk_) capacity -= chunk_;
    buffer_.resize(static_cast<std::size_t>(capacity));
    buffer_.shrink_to_fit();
}

}  // namespace tessel::server
