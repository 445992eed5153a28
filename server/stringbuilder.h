// cStringBuilder: collects a long text from many pieces. The buffer grows by whole chunks
// (8192 characters unless changed), so appending costs one copy of the piece and a
// reallocation only when a chunk boundary is crossed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel::server {

class cStringBuilder {
  public:
    // Counts in characters (UTF-16 units).
    std::int32_t Length() const { return used_; }
    std::int32_t Capacity() const { return static_cast<std::int32_t>(buffer_.size()); }
    std::int32_t ChunkSize() const { return chunk_; }
    // A chunk of zero or less is refused with std::invalid_argument; one whose byte count
    // passes the 32-bit range with std::overflow_error.
    void ChunkSize(std::int32_t chunk);

    std::u16string toString() const { return buffer_.substr(0, static_cast<std::size_t>(used_)); }
    void TheString(std::u16string_view s);
    void Clear();

    void Append(std::u16string_view s);
    void AppendByVal(std::u16string s) { Append(s); }
    void AppendNL(std::u16string_view s);
    // Inserts before the character at the zero-based index; index == Length() appends.
    // An index outside 0..Length() throws std::out_of_range and changes nothing.
    void Insert(std::int32_t index, std::u16string_view s);
    void InsertByVal(std::int32_t index, std::u16string s) { Insert(index, s); }
    // Removes len characters from the zero-based index; a stretch outside the used text
    // throws std::out_of_range and changes nothing.
    void Remove(std::int32_t index, std::int32_t len);
    // One-based position of the first occurrence at or after start (start < 1 means 1);
    // compare 0: exact, 1: letters without case. 0 when absent.
    std::int32_t Find(std::u16string_view s, std::int32_t start = 1, int compare = 0) const;
    // Gives back spare capacity beyond one chunk.
    void HeapMinimize();

  private:
    void grow(std::int64_t needed);

    std::u16string buffer_;  // size() is the capacity
    std::int32_t used_ = 0;
    std::int32_t chunk_ = 8192;
};

}  // namespace tessel::server
