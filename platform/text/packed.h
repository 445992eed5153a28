// A large text kept compactly and shared read-only: its runs of Base64 are held as the bytes
// they stand for (three bytes for four characters) wherever the bytes give the same characters
// back, the rest one byte a character while the characters fit in one. Every part is immutable
// once made, so copies of a text share their memory.
//
// Texts are shared across the process: `share` answers a text equal to one still alive with
// that one, so two holders of the same long text (a host and the control it hands the text to)
// keep one copy between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::text {

class PackedText {
  public:
    struct Run {
        enum class Kind : std::uint8_t { Narrow, Wide, Base64 };
        Kind kind = Kind::Narrow;
        std::size_t start = 0;   // its first character's place in the text
        std::size_t size = 0;    // in characters
        std::string narrow;      // Narrow: the characters, one byte each; Base64: the bytes
        std::u16string wide;     // Wide: the characters
        bool hexDigits = false;  // Base64: every character is a hexadecimal digit

        Run() = default;
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;
        ~Run();
        // Accounts what it holds; called once it is filled.
        void count();

      private:
        std::size_t counted_ = 0;
    };
    using RunPtr = std::shared_ptr<const Run>;

    PackedText() = default;
    explicit PackedText(std::vector<RunPtr> runs);

    // In characters.
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const std::vector<RunPtr>& runs() const { return runs_; }

    // Characters [start, start + count) as text.
    std::u16string text(std::size_t start = 0, std::size_t count = std::u16string::npos) const;
    // The place of the first `c` at or after `from` (npos when none); `c` below 0x80 and not
    // a Base64 character.
    std::size_t find(char16_t c, std::size_t from = 0) const;
    // The run that is exactly characters [start, start + count), or null.
    const Run* runOf(std::size_t start, std::size_t count) const;
    bool equals(std::u16string_view other) const;

    // A text equal to `text`: one alive already when there is one, else a new one.
    static std::shared_ptr<const PackedText> share(std::u16string_view text);
    // Bytes held by the parts of every packed text alive, each part once however many texts
    // share it.
    static std::size_t heldBytes();

  private:
    friend class PackedTextBuilder;
    std::vector<RunPtr> runs_;
    std::size_t size_ = 0;
};

// Builds a packed text by appending. A snapshot shares what is written so far; writing on
// never changes a snapshot.
class PackedTextBuilder {
  public:
    void append(std::u16string_view text);
    void clear();
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // The text so far, shared across the process (see PackedText::share).
    std::shared_ptr<const PackedText> snapshot() const;
    std::u16string text() const;

  private:
    void addPlain(std::u16string_view text);
    void addBase64(std::u16string_view text);
    std::vector<std::shared_ptr<PackedText::Run>> runs_;
    std::size_t size_ = 0;
    // Runs before this one are in a snapshot and change no more.
    mutable std::size_t sealed_ = 0;
    mutable std::shared_ptr<const PackedText> snapshot_;
};

}  // namespace platform::text
