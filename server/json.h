// The JSON reader and writer of the server: a lenient reader that turns a JSON text into a tree
// (objects keep their keys' order and letter case, arrays keep their order, numbers are exact
// 96-bit decimals) and a compact writer.
//
// The reader never fails its caller: problems are collected as lines of one error text
// (JsonParse::errors), each ended by CR LF, except the single message "Invalid JSON", which
// replaces the text and has no line end. It accepts apostrophe quotes, unquoted keys, missing
// commas, parentheses as blanks, and // and /* */ comments.
//
// Limits that keep a hostile text harmless: nesting deeper than kMaxDepth ends the parse with
// an error; text quoted in an error line is cut to kMaxExcerpt characters; at most
// kMaxErrorLines lines are kept; an array item that records an error or consumes nothing
// ends the array.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace tessel::server {

// An exact decimal: a 96-bit mantissa with a scale of 0 to 28 decimal places.
class Decimal {
  public:
    Decimal() = default;
    // Parses [sign] digits [. digits] [E|e [sign] digits], the digits absent on at most one
    // side of the point. Throws platform::text::Error: 13 for a malformed text, 6 when the value
    // lies outside the 96-bit range (places beyond 28 are rounded away).
    static Decimal parse(std::u16string_view text);
    static Decimal fromInt(std::int64_t value);

    // Plain decimal text with "." as separator and no trailing zeros after the point.
    std::u16string toText() const;
    bool negative() const { return negative_; }
    int scale() const { return scale_; }
    friend bool operator==(const Decimal&, const Decimal&) = default;

  private:
    // The mantissa in two halves, so a value (and every JSON value holding one) needs no
    // 16-byte alignment.
    unsigned __int128 mantissa() const {
        return static_cast<unsigned __int128>(high_) << 64 | low_;
    }
    void setMantissa(unsigned __int128 m) {
        low_ = static_cast<std::uint64_t>(m);
        high_ = static_cast<std::uint64_t>(m >> 64);
    }
    std::uint64_t low_ = 0, high_ = 0;
    int scale_ = 0;
    bool negative_ = false;
};

class JsonValue;

// Storage of the tree's arrays and member lists. A block of kJsonMappedFrom bytes or more is
// mapped from the kernel on its own and unmapped when freed; smaller ones come from the heap.
// A large block freed to the heap after a large tree's small chunks makes the heap merge them
// all and hand the lot back to the kernel, so the next read of a large text would fault the
// whole tree in again, which costs several times the read itself.
inline constexpr std::size_t kJsonMappedFrom = 64 * 1024;
void* AllocateJsonBlock(std::size_t bytes);
void FreeJsonBlock(void* block, std::size_t bytes) noexcept;

template <class T>
struct JsonAllocator {
    using value_type = T;
    JsonAllocator() = default;
    template <class U>
    JsonAllocator(const JsonAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(AllocateJsonBlock(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { FreeJsonBlock(p, n * sizeof(T)); }
    template <class U>
    friend bool operator==(const JsonAllocator&, const JsonAllocator<U>&) {
        return true;
    }
};

// An object: members in insertion order, keys compared exactly.
class JsonObject {
  public:
    const JsonValue* find(std::u16string_view key) const;
    bool exists(std::u16string_view key) const { return find(key) != nullptr; }
    // False (and nothing added) when the key is already there.
    bool add(std::u16string key, JsonValue value);
    using Items = std::vector<std::pair<std::u16string, JsonValue>,
                              JsonAllocator<std::pair<std::u16string, JsonValue>>>;
    const Items& items() const { return items_; }
    // Out of line: the member type is complete only below.
    std::size_t size() const;
    // Moves the members into a new object whose storage fits them exactly; this one is left
    // empty with its storage kept for reuse.
    JsonObject takeCompact();

  private:
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::u16string_view k) const {
            return std::hash<std::u16string_view>{}(k);
        }
    };
    // Objects up to this many keys are searched in order; a larger one builds the index.
    static constexpr std::size_t kIndexFrom = 16;
    Items items_;
    // Key -> position in items_ once the object has kIndexFrom keys, so objects with many
    // keys parse in linear time while small ones cost no extra allocations.
    std::unordered_map<std::u16string, std::size_t, KeyHash, std::equal_to<>,
                       JsonAllocator<std::pair<const std::u16string, std::size_t>>>
        index_;
};

using JsonArray = std::vector<JsonValue, JsonAllocator<JsonValue>>;

struct JsonNull {
    friend bool operator==(const JsonNull&, const JsonNull&) = default;
};

class JsonValue {
  public:
    enum class Kind { Empty, Null, Boolean, Number, Text, Object, Array };

    JsonValue() = default;
    JsonValue(JsonNull) : v_(JsonNull{}) {}
    JsonValue(bool b) : v_(b) {}
    JsonValue(Decimal d) : v_(d) {}
    JsonValue(std::u16string s) : v_(std::move(s)) {}
    JsonValue(const char16_t* s) : v_(std::u16string(s)) {}
    JsonValue(JsonObject o) : v_(std::make_shared<JsonObject>(std::move(o))) {}
    JsonValue(JsonArray a) : v_(std::make_shared<JsonArray>(std::move(a))) {}

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNull() const { return kind() == Kind::Null; }
    bool boolean() const { return std::get<bool>(v_); }
    const Decimal& number() const { return std::get<Decimal>(v_); }
    const std::u16string& text() const { return std::get<std::u16string>(v_); }
    const JsonObject& object() const { return *std::get<std::shared_ptr<JsonObject>>(v_); }
    JsonObject& object() { return *std::get<std::shared_ptr<JsonObject>>(v_); }
    const JsonArray& array() const { return *std::get<std::shared_ptr<JsonArray>>(v_); }
    JsonArray& array() { return *std::get<std::shared_ptr<JsonArray>>(v_); }

  private:
    std::variant<std::monostate, JsonNull, bool, Decimal, std::u16string,
                 std::shared_ptr<JsonObject>, std::shared_ptr<JsonArray>>
        v_;
};

inline constexpr int kJsonMaxDepth = 256;
inline constexpr std::size_t kJsonMaxExcerpt = 200;
inline constexpr std::size_t kJsonMaxErrorLines = 100;

// What the reader made of a text: the root object or array (nullopt when the text does not
// begin, after blanks, with "{" or "["), and the error lines described above.
struct JsonParse {
    std::optional<JsonValue> root;
    std::u16string errors;
};
JsonParse ParseJson(std::u16string_view json);

// Compact JSON text of a value: no blanks; texts and keys escaped, every character outside
// 32..126 as \uXXXX (upper-case hexadecimal); Empty writes nothing.
std::u16string ToJson(const JsonValue& value);
std::u16string EscapeJsonText(std::u16string_view text);

}  // namespace tessel::server
