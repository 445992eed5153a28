#include "server/json.h"

#include <sys/mman.h>

#include <algorithm>
#include <deque>

#include "platform/text/coding.h"
#include "platform/text/common.h"
#include "server/stringbuilder.h"

namespace tessel::server {

namespace {

constexpr int kErrTypeMismatch = 13;
constexpr int kErrOverflow = 6;
constexpr int kErrDuplicateKey = 457;

[[noreturn]] void typeMismatch() {
    throw platform::text::Error(kErrTypeMismatch, u"Type mismatch");
}
[[noreturn]] void overflow() {
    throw platform::text::Error(kErrOverflow, u"Overflow");
}

using U128 = unsigned __int128;
const U128 kMax96 = (U128(1) << 96) - 1;

std::u16string decimalDigits(U128 v) {
    if (v == 0) return u"0";
    std::u16string s;
    while (v) {
        s.push_back(static_cast<char16_t>(u'0' + static_cast<int>(v % 10)));
        v /= 10;
    }
    std::reverse(s.begin(), s.end());
    return s;
}

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Rounds away the last `drop` digits of a digit string (half away from zero).
std::u16string roundDigits(const std::u16string& digits, std::size_t drop) {
    if (drop == 0) return digits;
    if (drop > digits.size()) return u"0";
    std::u16string kept = digits.substr(0, digits.size() - drop);
    bool up = digits[digits.size() - drop] >= u'5';
    if (kept.empty()) kept = u"0";
    if (up) {
        int k = static_cast<int>(kept.size()) - 1;
        while (k >= 0 && kept[static_cast<std::size_t>(k)] == u'9')
            kept[static_cast<std::size_t>(k--)] = u'0';
        if (k < 0)
            kept.insert(kept.begin(), u'1');
        else
            ++kept[static_cast<std::size_t>(k)];
    }
    return kept;
}

}  // namespace

// ---- Decimal ----

Decimal Decimal::fromInt(std::int64_t value) {
    Decimal d;
    d.negative_ = value < 0;
    d.setMantissa(d.negative_ ? U128(-(value + 1)) + 1 : U128(value));
    return d;
}

Decimal Decimal::parse(std::u16string_view s) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
    std::u16string digits;
    std::size_t intDigits = 0, fracDigits = 0;
    while (i < s.size() && isDigit(s[i])) digits.push_back(s[i++]), ++intDigits;
    if (i < s.size() && s[i] == u'.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) digits.push_back(s[i++]), ++fracDigits;
    }
    if (intDigits + fracDigits == 0) typeMismatch();
    long exponent = 0;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        ++i;
        bool expNegative = false;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) expNegative = s[i++] == u'-';
        if (i >= s.size() || !isDigit(s[i])) typeMismatch();
        while (i < s.size() && isDigit(s[i])) {
            exponent = std::min<long>(exponent * 10 + (s[i++] - u'0'), 100000);
        }
        if (expNegative) exponent = -exponent;
    }
    if (i != s.size()) typeMismatch();

    // Leading zeros carry nothing.
    std::size_t nz = digits.find_first_not_of(u'0');
    digits = nz == std::u16string::npos ? u"0" : digits.substr(nz);
    long scale = static_cast<long>(fracDigits) - exponent;
    if (digits == u"0") scale = std::clamp<long>(scale, 0, 28);
    if (scale < 0) {
        if (digits.size() + static_cast<std::size_t>(-scale) > 29) overflow();
        digits.append(static_cast<std::size_t>(-scale), u'0');
        scale = 0;
    }
    if (scale > 28) {
        digits = roundDigits(digits, static_cast<std::size_t>(scale - 28));
        scale = 28;
    }
    // Too many digits for 96 bits: give up places after the point, then overflow.
    auto fits = [](const std::u16string& d) {
        if (d.size() > 29) return false;
        U128 v = 0;
        for (char16_t c : d) v = v * 10 + static_cast<unsigned>(c - u'0');
        return v <= kMax96;
    };
    while (!fits(digits)) {
        if (scale == 0) overflow();
        digits = roundDigits(digits, 1);
        --scale;
    }
    Decimal d;
    U128 mantissa = 0;
    for (char16_t c : digits) mantissa = mantissa * 10 + static_cast<unsigned>(c - u'0');
    d.setMantissa(mantissa);
    d.scale_ = static_cast<int>(scale);
    d.negative_ = negative && mantissa != 0;
    return d;
}

std::u16string Decimal::toText() const {
    std::u16string digits = decimalDigits(mantissa());
    std::u16string out;
    if (scale_ > 0) {
        if (digits.size() <= static_cast<std::size_t>(scale_))
            digits.insert(0, static_cast<std::size_t>(scale_) + 1 - digits.size(), u'0');
        std::u16string whole = digits.substr(0, digits.size() - static_cast<std::size_t>(scale_));
        std::u16string frac = digits.substr(whole.size());
        while (!frac.empty() && frac.back() == u'0') frac.pop_back();
        out = frac.empty() ? whole : whole + u"." + frac;
    } else {
        out = digits;
    }
    if (negative_ && out != u"0") out.insert(out.begin(), u'-');
    return out;
}

// ---- storage ----

// Mapping the large blocks pays: with every block from the heap instead, the 1.5 MB read of
// bench/json_bench.cpp ran about 30% slower (152-177 MB/s against 204-254 MB/s, 1.23-1.40x of
// nlohmann-json against 2.07-2.18x, three runs each), while the 4 KB read, whose blocks all come
// from the heap either way, stayed at 1.71-1.76x.
void* AllocateJsonBlock(std::size_t bytes) {
    if (bytes < kJsonMappedFrom) return ::operator new(bytes);
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    return block;
}

void FreeJsonBlock(void* block, std::size_t bytes) noexcept {
    if (bytes < kJsonMappedFrom)
        ::operator delete(block);
    else
        munmap(block, bytes);
}

// ---- JsonObject ----

const JsonValue* JsonObject::find(std::u16string_view key) const {
    if (items_.size() < kIndexFrom) {
        for (const auto& item : items_)
            if (item.first == key) return &item.second;
        return nullptr;
    }
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &items_[it->second].second;
}

bool JsonObject::add(std::u16string key, JsonValue value) {
    if (items_.size() < kIndexFrom) {
        if (find(key)) return false;
        if (items_.size() + 1 == kIndexFrom) {
            index_.reserve(kIndexFrom * 2);
            for (std::size_t i = 0; i < items_.size(); ++i) index_.emplace(items_[i].first, i);
            index_.emplace(key, items_.size());
        }
    } else if (!index_.emplace(key, items_.size()).second) {
        return false;
    }
    items_.emplace_back(std::move(key), std::move(value));
    return true;
}

std::size_t JsonObject::size() const {
    return items_.size();
}

JsonObject JsonObject::takeCompact() {
    JsonObject out;
    out.items_.reserve(items_.size());
    for (auto& item : items_) out.items_.push_back(std::move(item));
    items_.clear();
    out.index_ = std::move(index_);
    index_.clear();
    return out;
}

// ---- reader ----

namespace {

class Reader {
  public:
    explicit Reader(std::u16string_view s) : s_(s) {}

    JsonParse parseRoot() {
        JsonParse result;
        skipBlanks();
        if (i_ < s_.size() && s_[i_] == u'{')
            result.root = JsonValue(parseObject(1));
        else if (i_ < s_.size() && s_[i_] == u'[')
            result.root = JsonValue(parseArray(1));
        else
            errors_ = u"Invalid JSON";
        result.errors = std::move(errors_);
        return result;
    }

  private:
    bool atEnd() const { return i_ >= s_.size(); }
    std::u16string position() const { return decimalDigits(i_ + 1); }

    std::u16string excerpt(std::size_t from, std::size_t count) const {
        if (from >= s_.size()) return {};
        return std::u16string(s_.substr(from, std::min(count, kJsonMaxExcerpt)));
    }
    std::u16string rest() const { return excerpt(i_, s_.size()); }
    std::u16string next20() const { return excerpt(i_, 20); }
    std::u16string last20() const {
        return std::u16string(s_.substr(s_.size() > 20 ? s_.size() - 20 : 0));
    }

    void error(const std::u16string& line) {
        ++errorCount_;
        if (lines_ >= kJsonMaxErrorLines) return;
        ++lines_;
        errors_ += line;
        errors_ += u"\r\n";
    }

    void skipBlanks() {
        bool inComment = false, inBlock = false, pending = false;
        while (i_ < s_.size()) {
            char16_t c = s_[i_];
            if (c == u'\r' || c == u'\n') {
                if (!inBlock) pending = inComment = false;
            } else if (c == u'\t' || c == u' ' || c == u'(' || c == u')') {
            } else if (c == u'/' && inBlock) {
                if (pending) inBlock = inComment = pending = false;
            } else if (c == u'/') {
                if (pending) {
                    inComment = true;
                    pending = false;
                } else {
                    pending = true;
                    inComment = inBlock = false;
                }
            } else if (c == u'*') {
                if (pending) {
                    inComment = inBlock = true;
                    pending = false;
                } else {
                    pending = true;
                }
            } else if (inComment) {
                // Any other character inside a comment also ends a pending "*" or "/", so a
                // star in the middle of a comment does not swallow the comment's end.
                pending = false;
            } else {
                return;
            }
            ++i_;
        }
    }

    bool tooDeep(int depth) {
        if (depth <= kJsonMaxDepth) return false;
        if (!aborted_)
            error(u"Nesting deeper than " + decimalDigits(kJsonMaxDepth) + u" at position " +
                  position());
        aborted_ = true;
        return true;
    }

    // Objects and arrays are read into storage kept per depth and reused, then moved into
    // containers of their exact size: a large document's tree holds no spare capacity and its
    // reading frees no outgrown buffers.
    JsonObject parseObject(int depth) {
        while (objects_.size() <= static_cast<std::size_t>(depth)) objects_.emplace_back();
        JsonObject& dict = objects_[static_cast<std::size_t>(depth)];
        readObject(dict, depth);
        return dict.takeCompact();
    }

    // The items of an object or an array: `open`, then items separated by commas up to
    // `close`. `readItem` reads one item and answers false when it ended the container with an
    // error. `name` and `context` make the error of a container that does not start with
    // `open`.
    template <class Context, class ReadItem>
    void readItems(char16_t open, char16_t close, std::u16string_view name, Context context,
                   int depth, ReadItem readItem) {
        skipBlanks();
        if (atEnd() || s_[i_] != open) {
            error(u"Invalid " + std::u16string(name) + u" at position " + position() + u" : " +
                  context());
            return;
        }
        if (tooDeep(depth)) return;
        ++i_;
        for (;;) {
            if (aborted_) return;
            skipBlanks();
            if (!atEnd() && s_[i_] == close) {
                ++i_;
                return;
            }
            if (!atEnd() && s_[i_] == u',') {
                ++i_;
                skipBlanks();
            } else if (atEnd()) {
                error(u"Missing '" + std::u16string(1, close) + u"': " + last20());
                return;
            }
            if (!readItem()) return;
        }
    }

    void readObject(JsonObject& dict, int depth) {
        readItems(
            u'{', u'}', u"Object", [this] { return rest(); }, depth,
            [&] {
                std::u16string key = parseKey();
                try {
                    JsonValue value = parseValue(depth);
                    if (aborted_) return false;
                    if (!dict.add(key, std::move(value)))
                        throw platform::text::Error(
                            kErrDuplicateKey,
                            u"This key is already associated with an element "
                            u"of this collection");
                } catch (const platform::text::Error& e) {
                    error(e.description() + u": " + key);
                    return false;
                }
                return true;
            });
    }

    JsonArray parseArray(int depth) {
        while (arrays_.size() <= static_cast<std::size_t>(depth)) arrays_.emplace_back();
        JsonArray& list = arrays_[static_cast<std::size_t>(depth)];
        readArray(list, depth);
        JsonArray exact;
        exact.reserve(list.size());
        for (auto& item : list) exact.push_back(std::move(item));
        list.clear();
        return exact;
    }

    void readArray(JsonArray& list, int depth) {
        readItems(
            u'[', u']', u"Array", [this] { return next20(); }, depth,
            [&] {
                std::size_t before = i_;
                std::size_t errorsBefore = errorCount_;
                try {
                    list.push_back(parseValue(depth));
                } catch (const platform::text::Error& e) {
                    error(e.description() + u": " + next20());
                    return false;
                }
                // An item that recorded an error, or read nothing while text is left, would be
                // read again and again: it ends the array.
                return errorCount_ == errorsBefore && (i_ != before || atEnd());
            });
    }

    JsonValue parseValue(int depth) {
        skipBlanks();
        if (atEnd()) return parseNumber();
        switch (s_[i_]) {
            case u'{':
                return JsonValue(parseObject(depth + 1));
            case u'[':
                return JsonValue(parseArray(depth + 1));
            case u'"':
            case u'\'':
                return JsonValue(parseString());
            case u't':
            case u'f':
                return JsonValue(parseBoolean());
            case u'n':
                return parseNull();
            default:
                return parseNumber();
        }
    }

    std::u16string parseString() {
        std::u16string out;
        skipBlanks();
        if (atEnd()) return {};
        char16_t quote = s_[i_++];
        while (i_ < s_.size()) {
            // Plain characters up to the closing quote or the next escape go in as one run.
            std::size_t run = i_;
            while (run < s_.size() && s_[run] != quote && s_[run] != u'\\') ++run;
            out.append(s_.data() + i_, run - i_);
            i_ = run;
            if (atEnd()) break;
            if (s_[i_] == quote) {
                ++i_;
                return out;
            }
            ++i_;
            if (atEnd()) break;
            char16_t d = s_[i_];
            char16_t unit = 0;
            switch (d) {
                case u'"':
                case u'\\':
                case u'/':
                case u'\'':
                    unit = d;
                    break;
                case u'b':
                    unit = u'\b';
                    break;
                case u'f':
                    unit = u'\f';
                    break;
                case u'n':
                    unit = u'\n';
                    break;
                case u'r':
                    unit = u'\r';
                    break;
                case u't':
                    unit = u'\t';
                    break;
                case u'u': {
                    ++i_;
                    unsigned value = 0;
                    for (std::size_t k = 0; k < 4 && i_ + k < s_.size(); ++k) {
                        char16_t h = s_[i_ + k];
                        int digit = platform::text::hexDigitValue(h);
                        if (digit < 0) break;
                        value = value * 16 + static_cast<unsigned>(digit);
                    }
                    out.push_back(static_cast<char16_t>(value));
                    i_ = std::min(i_ + 4, s_.size());
                    continue;
                }
                default:
                    // The backslash is dropped; the character after it is read as usual.
                    continue;
            }
            out.push_back(unit);
            ++i_;
        }
        return out;
    }

    JsonValue parseNumber() {
        skipBlanks();
        std::size_t start = i_;
        static constexpr std::u16string_view kNumberChars = u"+-0123456789.eE";
        while (i_ < s_.size() && kNumberChars.find(s_[i_]) != std::u16string_view::npos) ++i_;
        if (atEnd()) return JsonValue();
        return JsonValue(Decimal::parse(s_.substr(start, i_ - start)));
    }

    bool parseBoolean() {
        skipBlanks();
        if (s_.substr(i_, 4) == u"true") {
            i_ += 4;
            return true;
        }
        if (s_.substr(i_, 5) == u"false") {
            i_ += 5;
            return false;
        }
        error(u"Invalid Boolean at position " + position() + u" : " + rest());
        return false;
    }

    JsonValue parseNull() {
        skipBlanks();
        if (s_.substr(i_, 4) == u"null") {
            i_ += 4;
            return JsonValue(JsonNull{});
        }
        error(u"Invalid null value at position " + position() + u" : " + rest());
        return JsonValue();
    }

    std::u16string parseKey() {
        skipBlanks();
        std::u16string key;
        bool inDouble = false, inSingle = false;
        while (i_ < s_.size()) {
            char16_t c = s_[i_];
            if (c == u'"' || c == u'\'') {
                bool& flag = c == u'"' ? inDouble : inSingle;
                bool other = c == u'"' ? inSingle : inDouble;
                if (other) {
                    key.push_back(c);
                    ++i_;
                    continue;
                }
                flag = !flag;
                ++i_;
                if (!flag) {
                    skipBlanks();
                    if (atEnd() || s_[i_] != u':') {
                        error(u"Invalid Key at position " + position() + u" : " +
                              key.substr(0, kJsonMaxExcerpt));
                        return key;
                    }
                }
            } else if (c == u':') {
                ++i_;
                if (!inDouble && !inSingle) return key;
                key.push_back(c);
            } else if (c == u'\r' || c == u'\n' || c == u'\t' || c == u' ') {
                ++i_;
            } else {
                key.push_back(c);
                ++i_;
            }
        }
        return key;
    }

    std::u16string_view s_;
    std::size_t i_ = 0;
    std::deque<JsonObject> objects_;  // by depth
    std::deque<JsonArray> arrays_;    // by depth
    std::size_t errorCount_ = 0;
    std::u16string errors_;
    std::size_t lines_ = 0;
    bool aborted_ = false;
};

void writeJson(const JsonValue& value, cStringBuilder& sb) {
    switch (value.kind()) {
        case JsonValue::Kind::Empty:
            return;
        case JsonValue::Kind::Null:
            sb.Append(u"null");
            return;
        case JsonValue::Kind::Boolean:
            sb.Append(value.boolean() ? u"true" : u"false");
            return;
        case JsonValue::Kind::Number: {
            std::u16string t = value.number().toText();
            std::replace(t.begin(), t.end(), u',', u'.');
            sb.Append(t);
            return;
        }
        case JsonValue::Kind::Text:
            sb.Append(u"\"");
            sb.Append(EscapeJsonText(value.text()));
            sb.Append(u"\"");
            return;
        case JsonValue::Kind::Object: {
            sb.Append(u"{");
            bool first = true;
            for (const auto& [k, v] : value.object().items()) {
                if (!first) sb.Append(u",");
                first = false;
                sb.Append(u"\"");
                sb.Append(EscapeJsonText(k));
                sb.Append(u"\":");
                writeJson(v, sb);
            }
            sb.Append(u"}");
            return;
        }
        case JsonValue::Kind::Array: {
            sb.Append(u"[");
            bool first = true;
            for (const auto& v : value.array()) {
                if (!first) sb.Append(u",");
                first = false;
                writeJson(v, sb);
            }
            sb.Append(u"]");
            return;
        }
    }
}

}  // namespace

JsonParse ParseJson(std::u16string_view json) {
    return Reader(json).parseRoot();
}

std::u16string ToJson(const JsonValue& value) {
    cStringBuilder sb;
    writeJson(value, sb);
    return sb.toString();
}

std::u16string EscapeJsonText(std::u16string_view text) {
    constexpr auto kUpper = platform::text::HexCase::Upper;
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        const char16_t* esc = nullptr;
        switch (c) {
            case u'"':
                esc = u"\\\"";
                break;
            case u'\\':
                esc = u"\\\\";
                break;
            case u'/':
                esc = u"\\/";
                break;
            case u'\b':
                esc = u"\\b";
                break;
            case u'\f':
                esc = u"\\f";
                break;
            case u'\n':
                esc = u"\\n";
                break;
            case u'\r':
                esc = u"\\r";
                break;
            case u'\t':
                esc = u"\\t";
                break;
            default:
                break;
        }
        if (esc) {
            out += esc;
        } else if (c >= 32 && c <= 126) {
            out.push_back(c);
        } else {
            out += u"\\u";
            out += platform::text::hexWord(c, 4, kUpper);
        }
    }
    return out;
}

}  // namespace tessel::server
