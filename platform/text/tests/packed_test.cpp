#include <gtest/gtest.h>

#include <random>

#include "platform/text/coding.h"
#include "platform/text/packed.h"

namespace platform::text {
namespace {

using Kind = PackedText::Run::Kind;

// The Base64 of `n` bytes that do not repeat in any short way.
std::u16string base64Of(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    ByteString bytes(n);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return toBase64(bytes);
}

std::shared_ptr<const PackedText> packed(std::u16string_view text) {
    PackedTextBuilder builder;
    builder.append(text);
    return builder.snapshot();
}

std::size_t runsOf(const PackedText& text, Kind kind) {
    std::size_t n = 0;
    for (const auto& run : text.runs()) n += run->kind == kind;
    return n;
}

// Every text comes back as given, whole and in slices, and a comma is found where it is;
// long Base64 is kept as its bytes only where they give the same characters back.
TEST(PackedText, GivesEveryTextBackAndPacksOnlyExactBase64) {
    const std::u16string page = base64Of(3000, 1);     // no padding
    const std::u16string padded1 = base64Of(3001, 2);  // "=="
    const std::u16string padded2 = base64Of(3002, 3);  // "="
    std::u16string leftOver = padded1;                 // bits left over after the last byte
    leftOver[leftOver.size() - 3] = u'B';
    const std::u16string hexDigits(400, u'A');  // Base64 too, but read as hexadecimal
    const struct {
        std::u16string text;
        std::size_t base64Runs;
    } cases[] = {
        {u"", 0},
        {u",", 0},
        {u"AAAA,", 0},  // too short to pack
        {page + u",", 1},
        {page + u"," + padded1 + u"," + padded2 + u",tail", 3},
        {padded1.substr(0, padded1.size() - 1) + u",", 0},  // one "=" missing
        {leftOver + u",", 0},
        {page.substr(0, 1001) + u",", 0},  // a dangling character
        {page + u"=" + page + u",", 1},    // "=" inside: only what follows it is exact
        {padded1 + page + u",", 2},        // data after the padding: two runs
        {u"\uAC00" + page + u"\uAC00,x", 1},
        {hexDigits + u",", 1},
        {page + u"\r\n" + page + u",", 2},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const auto text = packed(c.text);
        SCOPED_TRACE("case " + std::to_string(i));
        EXPECT_EQ(text->size(), c.text.size());
        EXPECT_EQ(text->text(), c.text);
        EXPECT_TRUE(text->equals(c.text));
        EXPECT_EQ(runsOf(*text, Kind::Base64), c.base64Runs);
        for (std::size_t start :
             {std::size_t{0}, std::size_t{1}, std::size_t{999}, c.text.size() / 2})
            for (std::size_t count : {std::size_t{0}, std::size_t{3}, std::size_t{2500}})
                if (start <= c.text.size()) {
                    EXPECT_EQ(text->text(start, count), c.text.substr(start, count));
                }
        for (std::size_t from = 0, at = 0;; from = at + 1) {
            at = text->find(u',', from);
            EXPECT_EQ(at, c.text.find(u',', from));
            if (at == std::u16string::npos) break;
        }
        for (const auto& run : text->runs()) {
            if (run->kind != Kind::Base64) continue;
            const std::u16string chars = c.text.substr(run->start, run->size);
            EXPECT_EQ(text->runOf(run->start, run->size), run.get());
            EXPECT_EQ(fromBase64(chars), ByteString(run->narrow.begin(), run->narrow.end()));
            EXPECT_EQ(run->hexDigits, fromHex(chars).has_value());
        }
        if (!c.text.empty()) {
            std::u16string other = c.text;
            other.back() = other.back() == u'x' ? u'y' : u'x';
            EXPECT_FALSE(text->equals(other));
        }
    }
}

// A long packed Base64 run is told apart from a text that differs in one character anywhere:
// either character of a pair written together, a group's last one, where one piece of the
// comparison ends and the next begins, the last data character and the padding.
TEST(PackedText, EqualsSeesOneCharacterChangedAnywhereInALongRun) {
    const std::u16string list = base64Of(30001, 7) + u",";  // 40004 characters, "==" at the end
    const auto text = packed(list);
    ASSERT_EQ(runsOf(*text, Kind::Base64), 1u);
    EXPECT_TRUE(text->equals(list));
    EXPECT_EQ(text->text(), list);
    const std::size_t last = list.size() - 2;  // the last character of the run
    for (std::size_t at : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3},
                           std::size_t{4095}, std::size_t{4096}, std::size_t{4097},
                           std::size_t{8191}, std::size_t{20002}, last - 2, last - 1, last}) {
        SCOPED_TRACE("character " + std::to_string(at));
        std::u16string other = list;
        other[at] = other[at] == u'A' ? u'B' : u'A';
        EXPECT_FALSE(text->equals(other));
        EXPECT_EQ(text->text(at, 5), list.substr(at, 5));
    }
}

// Base64 costs three bytes for four characters; a text built in pieces reads as the whole, and
// what was shared does not change when the builder writes on or is emptied.
TEST(PackedText, HoldsBase64AtThreeQuartersAndSnapshotsStayAsTheyWere) {
    const std::size_t before = PackedText::heldBytes();
    const std::u16string page = base64Of(300000, 4);
    PackedTextBuilder builder;
    builder.append(page);
    builder.append(u",");
    const auto first = builder.snapshot();
    EXPECT_EQ(builder.snapshot(), first);  // unchanged: the same text
    const std::size_t held = PackedText::heldBytes() - before;
    EXPECT_GE(held, 300000u);
    EXPECT_LT(held, 300000u + 8192u);

    builder.append(u"AB,");
    builder.append(page);
    builder.append(u",");
    EXPECT_EQ(first->text(), page + u",");
    EXPECT_EQ(builder.text(), page + u",AB," + page + u",");
    builder.clear();
    EXPECT_TRUE(builder.empty());
    EXPECT_EQ(first->text(), page + u",");
    EXPECT_EQ(builder.snapshot()->text(), u"");
}

// A text equal to one alive is answered with that one, so its holders share one copy; once
// every holder has let it go, the same text is made anew and the memory is given back.
TEST(PackedText, EqualTextsAliveAreOneCopy) {
    const std::u16string list = base64Of(200000, 5) + u"," + base64Of(1000, 6) + u",";
    const std::size_t before = PackedText::heldBytes();
    PackedTextBuilder host;
    host.append(list);
    auto kept = host.snapshot();
    const std::size_t one = PackedText::heldBytes() - before;

    auto shared = PackedText::share(list);
    EXPECT_EQ(shared, kept);
    EXPECT_EQ(PackedText::heldBytes() - before, one);
    EXPECT_NE(PackedText::share(list + u"x"), kept);  // another text: its own
    std::u16string changed = list;
    changed[10] = changed[10] == u'A' ? u'B' : u'A';
    EXPECT_NE(PackedText::share(changed), kept);

    host.clear();
    kept.reset();
    EXPECT_EQ(PackedText::share(list), shared);  // the other holder keeps it alive
    shared.reset();
    EXPECT_EQ(PackedText::heldBytes(), before);
    auto anew = PackedText::share(list);
    EXPECT_EQ(anew->text(), list);
    EXPECT_EQ(PackedText::heldBytes() - before, one);
}

}  // namespace
}  // namespace platform::text
