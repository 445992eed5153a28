#include <gtest/gtest.h>

#include "platform/text/text.h"
#include "server/json.h"

using namespace tessel;
using namespace tessel::server;
namespace text = platform::text;

namespace {
std::string u8(const std::u16string& s) {
    return text::toUtf8(s);
}
}  // namespace

TEST(Json, TextsThatAreNotObjectsOrArrays) {
    for (const char16_t* t : {u"", u"  5", u"\"a\"", u"true"}) {
        auto parse = ParseJson(t);
        EXPECT_FALSE(parse.root.has_value()) << u8(t);
        EXPECT_EQ(parse.errors, u"Invalid JSON");
    }
}

TEST(Json, LenientObjects) {
    auto parse = ParseJson(u"{'a':'x', b:true \"c\":null}");
    auto& root = parse.root;
    ASSERT_TRUE(root && root->kind() == JsonValue::Kind::Object);
    const JsonObject& o = root->object();
    ASSERT_EQ(o.size(), 3u);
    EXPECT_EQ(o.find(u"a")->text(), u"x");
    EXPECT_TRUE(o.find(u"b")->boolean());
    EXPECT_TRUE(o.find(u"c")->isNull());
    EXPECT_EQ(parse.errors, u"");

    root = ParseJson(u"{\"a b\":1}").root;
    EXPECT_EQ(root->object().items()[0].first, u"ab");
    EXPECT_EQ(ToJson(*root), u"{\"ab\":1}");
}

TEST(Json, ErrorLinesAreExact) {
    struct Case {
        const char16_t* json;
        const char16_t* errors;
        const char16_t* rewritten;
    } cases[] = {
        {u"{\"a\":1,\"a\":2}",
         u"This key is already associated with an element of this collection: a\r\n", u"{\"a\":1}"},
        {u"{\"a\":1,}", u"Missing '}': {\"a\":1,}\r\n", u"{\"a\":1,\"}\":}"},
        {u"{\"a\":tru}", u"Invalid Boolean at position 6 : tru}\r\nMissing '}': {\"a\":tru}\r\n",
         u"{\"a\":false,\"tru}\":}"},
        {u"{\"a\":nul}", u"Invalid null value at position 6 : nul}\r\nMissing '}': {\"a\":nul}\r\n",
         u"{\"a\":,\"nul}\":}"},
        {u"[1,2", u"Missing ']': [1,2\r\n", u"[1,]"},
        {u"{\"k\"x:1}", u"Invalid Key at position 5 : k\r\nType mismatch: k\r\n", u"{}"},
        {u"[1,x]", u"Type mismatch: x]\r\n", u"[1]"},
        {u"{\"n\":1e99999}", u"Overflow: n\r\n", u"{}"},
    };
    for (const auto& c : cases) {
        auto [root, errors] = ParseJson(c.json);
        ASSERT_TRUE(root) << u8(c.json);
        EXPECT_EQ(u8(errors), u8(c.errors)) << u8(c.json);
        EXPECT_EQ(u8(ToJson(*root)), u8(c.rewritten)) << u8(c.json);
    }
}

TEST(Json, StringsEscapesBlanksAndComments) {
    struct Case {
        const char16_t* json;
        const char16_t* rewritten;
    } cases[] = {
        {u"[\"x\\u0041\\q\"]", u"[\"xAq\"]"},
        {u"[1 /* note */ , 2]", u"[1,2]"},
        {u"[1, // note\n2]", u"[1,2]"},
        {u"[(1)]", u"[1]"},
        {u"[1 /* a*b */ , 2]", u"[1,2]"},  // a star inside a comment does not swallow its end
        {u"['it''s', \"a'b\"]", u"[\"it\",\"s\",\"a'b\"]"},
        {u"[\"\\ud55c\\uD55C\"]", u"[\"\\uD55C\\uD55C\"]"},
        {u"[\"tab\\there\\/\"]", u"[\"tab\\there\\/\"]"},
        {u"[\"cut", u"[\"cut\"]"},
        {u"[1.50, -0, 1e3, .5, 79228162514264337593543950335]",
         u"[1.5,0,1000,0.5,79228162514264337593543950335]"},
    };
    for (const auto& c : cases) {
        auto [root, errors] = ParseJson(c.json);
        ASSERT_TRUE(root) << u8(c.json);
        EXPECT_EQ(u8(ToJson(*root)), u8(c.rewritten)) << u8(c.json) << " / " << u8(errors);
    }
}

TEST(Json, ObjectsAroundTheIndexSizeKeepEveryKeyOnceInOrder) {
    // Small objects are searched in order, larger ones through an index built on the way:
    // duplicates are refused and every key found on both sides of the change.
    for (int size : {1, 15, 16, 17, 40}) {
        JsonObject o;
        for (int i = 0; i < size; ++i) {
            std::u16string key = u"key" + text::formatNumber(i);
            ASSERT_TRUE(o.add(key, JsonValue(Decimal::fromInt(i)))) << size << " " << i;
            for (int j = 0; j <= i; ++j)
                EXPECT_FALSE(o.add(u"key" + text::formatNumber(j), JsonValue(true)))
                    << size << " " << i << " " << j;
        }
        ASSERT_EQ(o.size(), static_cast<std::size_t>(size));
        for (int i = 0; i < size; ++i) {
            const JsonValue* v = o.find(u"key" + text::formatNumber(i));
            ASSERT_NE(v, nullptr) << size << " " << i;
            EXPECT_EQ(v->number().toText(), text::formatNumber(i));
            EXPECT_EQ(o.items()[static_cast<std::size_t>(i)].first, u"key" + text::formatNumber(i));
        }
        EXPECT_FALSE(o.exists(u"key"));
        EXPECT_FALSE(o.exists(u"KEY0")) << "keys compare exactly";
    }
}

TEST(Json, ListsLargeEnoughForMappedStorageReadWhole) {
    // Arrays and member lists past the mapped-storage size grow through several mapped blocks
    // while read, are moved into an exact one and are freed with the tree; read twice, so the
    // second read runs on storage given back by the first.
    std::u16string text = u"{\"list\":[";
    for (int i = 0; i < 5000; ++i) text += (i ? u"," : u"") + text::formatNumber(i);
    text += u"],\"members\":{";
    for (int i = 0; i < 3000; ++i)
        text += (i ? u",\"k" : u"\"k") + text::formatNumber(i) + u"\":\"v" + text::formatNumber(i) +
                u"\"";
    text += u"}}";
    ASSERT_GE(5000 * sizeof(JsonValue), kJsonMappedFrom);
    ASSERT_GE(3000 * sizeof(JsonObject::Items::value_type), kJsonMappedFrom);
    for (int round = 0; round < 2; ++round) {
        JsonParse p = ParseJson(text);
        ASSERT_TRUE(p.root) << round;
        EXPECT_EQ(p.errors, u"");
        const JsonArray& list = p.root->object().find(u"list")->array();
        ASSERT_EQ(list.size(), 5000u);
        for (int i = 0; i < 5000; i += 499)
            EXPECT_EQ(list[static_cast<std::size_t>(i)].number().toText(), text::formatNumber(i));
        const JsonObject& members = p.root->object().find(u"members")->object();
        ASSERT_EQ(members.size(), 3000u);
        EXPECT_EQ(members.find(u"k2999")->text(), u"v2999");
        EXPECT_EQ(ToJson(*p.root), text);
    }
}

TEST(Json, WriterEscapesTextsKeysAndNumbers) {
    JsonObject o;
    o.add(u"a", JsonValue(u"\u00E9\""));
    o.add(u"b", JsonValue(true));
    o.add(u"c", JsonValue(JsonNull{}));
    o.add(u"d", JsonValue(Decimal::parse(u"1.5")));
    o.add(u"k\"ey", JsonValue(u"한"));
    EXPECT_EQ(ToJson(JsonValue(o)),
              u"{\"a\":\"\\u00E9\\\"\",\"b\":true,\"c\":null,\"d\":1.5,\"k\\\"ey\":\"\\uD55C\"}");
    EXPECT_EQ(ToJson(*ParseJson(u"[]").root), u"[]");
    EXPECT_EQ(ToJson(*ParseJson(u"{}").root), u"{}");
    EXPECT_EQ(ToJson(JsonValue()), u"");
}

TEST(Json, DecimalRange) {
    EXPECT_EQ(Decimal::parse(u"-79228162514264337593543950335").toText(),
              u"-79228162514264337593543950335");
    EXPECT_EQ(Decimal::parse(u"0.0000000000000000000000000001").toText(),
              u"0.0000000000000000000000000001");
    EXPECT_EQ(Decimal::parse(u"1.000000000000000000000000000049").toText(), u"1");
    EXPECT_EQ(Decimal::parse(u"1e-40").toText(), u"0");
    for (const char16_t* bad : {u"", u"-", u".", u"1.2.3", u"1e", u"--1", u"1-2", u"e5"})
        EXPECT_THROW(Decimal::parse(bad), text::Error) << u8(bad);
    try {
        Decimal::parse(u"79228162514264337593543950336");
        FAIL();
    } catch (const text::Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
}

// Texts a client can send that once looped forever, overflowed the stack or grew the error
// text without end.
TEST(Json, HostileTextsEndQuickly) {
    for (const char16_t* t : {u"[tru]", u"[n]", u"[tru,tru,tru]", u"[[n]]", u"{\"a\":[f]}"}) {
        auto [root, errors] = ParseJson(t);
        ASSERT_TRUE(root) << u8(t);
        EXPECT_NE(errors, u"") << u8(t);
    }

    std::u16string deep(200000, u'[');
    auto deepParse = ParseJson(deep);
    ASSERT_TRUE(deepParse.root);
    EXPECT_NE(deepParse.errors.find(u"Nesting deeper than 256"), std::u16string::npos);

    std::u16string fine;
    for (int i = 0; i < 256; ++i) fine += u"[";
    for (int i = 0; i < 256; ++i) fine += u"]";
    EXPECT_EQ(ParseJson(fine).errors, u"");

    // Many failing members, each quoting the rest of a long text.
    std::u16string many = u"{";
    for (int i = 0; i < 20000; ++i) many += u"\"k" + text::formatNumber(i) + u"\":tru ";
    many += std::u16string(100000, u' ') + u"}";
    EXPECT_LT(ParseJson(many).errors.size(), 100u * (kJsonMaxExcerpt + 100));

    // An object with a million keys: each key is looked up once, not against every other.
    std::u16string wide = u"{";
    for (int i = 0; i < 1000000; ++i) wide += u"\"k" + text::formatNumber(i) + u"\":1,";
    wide += u"\"k0\":2}";
    auto object = ParseJson(wide).root;
    ASSERT_TRUE(object);
    EXPECT_EQ(object->object().size(), 1000000u);
    EXPECT_EQ(object->object().find(u"k0")->number().toText(), u"1") << "the first value stays";
    EXPECT_TRUE(object->object().exists(u"k999999"));
}
