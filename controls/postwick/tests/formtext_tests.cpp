// The value coding of the form body, the target address rule and the reply's script pieces.
#include <gtest/gtest.h>

#include "controls/postwick/formtext.h"
#include "platform/text/text.h"

using namespace postwick;

TEST(FormText, ValuesAreCodedFromTheirAnsiBytes) {
    const struct {
        std::u16string value;
        std::u16string coded;
    } cases[] = {
        {u"A b-1", u"A%20b%2D1"},
        {u"\n", u"%0A"},
        {u"", u""},
        {u"가", u"%B0%A1"},  // two bytes in the Korean code page
        {u"한글", u"%C7%D1%B1%DB"},
        {u"09AZaz", u"09AZaz"},
        {u"-._~+*'()!", u"%2D%2E%5F%7E%2B%2A%27%28%29%21"},
        {u"x&y=z", u"x%26y%3Dz"},
        {u"\x7f", u"%7F"},
        {u"\U0001F600", u"%3F"},  // no such character in the code page: one "?"
        {std::u16string(1, u'\0'), u"%00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::text::toUtf8(c.value));
        EXPECT_EQ(encodeFormValue(c.value), c.coded);
    }
}

// Past 32,766 bytes the coding goes on: no length limit.
TEST(FormText, LongValuesHaveNoLimit) {
    const std::u16string value(20000, u'가');  // 40,000 bytes
    std::u16string expected;
    for (int i = 0; i < 20000; ++i) expected += u"%B0%A1";
    EXPECT_EQ(encodeFormValue(value), expected);
}

TEST(FormText, TargetAddressKeepsAnyScheme) {
    const struct {
        std::u16string value;
        std::u16string stored;
    } cases[] = {
        {u"server/a", u"http://server/a"},           {u"HTTP://server/a", u"HTTP://server/a"},
        {u"http://server/a", u"http://server/a"},    {u"https://server/a", u"https://server/a"},
        {u"HttpS://server", u"HttpS://server"},      {u"svn+ssh://host", u"svn+ssh://host"},
        {u"server:8080/a", u"http://server:8080/a"}, {u"", u"http://"},
        {u"://server", u"http://://server"},         {u"1x://server", u"http://1x://server"},
        {u"a b://server", u"http://a b://server"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::text::toUtf8(c.value));
        EXPECT_EQ(targetAddress(c.value), c.stored);
    }
}

TEST(FormText, ScriptPiecesComeFromEveryKindOfLineEnd) {
    const struct {
        std::u16string reply;
        std::u16string pieces;
    } cases[] = {
        {u"s += \"abc\";", u"abc"},
        {u"<script>\ns += \"abc\";\nvar t;\ns += \"def\";\n</script>\n", u"abcdef"},
        {u"<script>\r\ns += \"abc\";\r\nvar t;\r\ns += \"def\";\r\n", u"abcdef"},
        {u"s += \"abc\";\rs += \"def\";\r", u"abcdef"},
        {u"s += \"a\";\r\n\r\ns += \"b\";\n\rs += \"c\";", u"abc"},
        {u"   S += \"x\";   ", u"x"},
        {u"\tS += \"x\";", u""},  // only spaces are trimmed
        {u"s+= \"x\";", u""},
        {u"s += \"\";", u""},
        {u"s += \"", u""},  // too short to hold a quoted text: an empty piece
        {u"s += ", u""},    // (the same)
        {u"s += \"x\";\ns +=", u"x"},
        {u"", u""},
        {u"nothing here", u""},
        {u"s += \"한글\";", u"한글"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::text::toUtf8(c.reply));
        EXPECT_EQ(extractScriptPieces(c.reply), c.pieces);
    }
}

// More lines than a 16-bit count holds are read like any others.
TEST(FormText, ScriptPiecesHaveNoLineLimit) {
    std::u16string reply;
    for (int i = 0; i < 40000; ++i) reply += u"var x;\r\n";
    reply += u"s += \"end\";\r\n";
    EXPECT_EQ(extractScriptPieces(reply), u"end");
}
