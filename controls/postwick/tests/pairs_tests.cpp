// The pair and the two lists through their dispatch interfaces, as a host calls them.
#include <gtest/gtest.h>

#include "controls/postwick/pairs.h"
#include "controls/postwick/tests/test_util.h"
#include "platform/com/collection.h"
#include "platform/text/text.h"

using namespace platform::com;
using namespace postwick;
using postwick::test_support::statusOf;

namespace {

constexpr HRESULT kInvalidArgument = hr(0x800A0005);
constexpr HRESULT kSubscript = hr(0x800A0009);
constexpr HRESULT kTypeMismatch = hr(0x800A000D);
constexpr HRESULT kDuplicateKey = hr(0x800A01C9);

std::shared_ptr<Dispatch> newPairs() {
    return std::make_shared<cNVPairs>();
}

std::u16string nameOf(const Variant& pair) {
    return get(*pair.dispatch(), u"Name").toText();
}

}  // namespace

TEST(Pair, NameIsCutAtTheFirstSpaceAndReadsUnknownWhenEmpty) {
    const struct {
        std::u16string put;
        std::u16string read;
    } cases[] = {
        {u"user id", u"user"}, {u"", u"Unknown"},    {u" user", u"Unknown"},
        {u"a  b c", u"a"},     {u"이름 x", u"이름"}, {u"tab\tname", u"tab\tname"},
    };
    auto pair = std::make_shared<cNVPair>();
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::text::toUtf8(c.put));
        put(*pair, u"Name", Variant(c.put));
        EXPECT_EQ(get(*pair, u"Name").toText(), c.read);
    }
}

TEST(Pair, ValueIsKeptAndCodedOnRead) {
    auto pair = std::make_shared<cNVPair>();
    EXPECT_EQ(get(*pair, u"Value").toText(), u"");
    EXPECT_EQ(get(*pair, u"EncodedValue").toText(), u"");
    put(*pair, u"Value", Variant(u" 가 b"));
    EXPECT_EQ(get(*pair, u"Value").toText(), u" 가 b");
    EXPECT_EQ(get(*pair, u"EncodedValue").toText(), u"%20%B0%A1%20b");
    // The members answer at their dispatch identifiers.
    EXPECT_EQ(invoke(*pair, 0x68030000, DISPATCH_PROPERTYGET).toText(), u"%20%B0%A1%20b");
    EXPECT_EQ(invoke(*pair, 0x68030001, DISPATCH_PROPERTYGET).toText(), u" 가 b");
    EXPECT_EQ(invoke(*pair, 0x68030002, DISPATCH_PROPERTYGET).toText(), u"Unknown");
}

TEST(Pairs, DuplicateKeysFailWithoutChangingTheList) {
    const struct {
        std::u16string first, second;
        HRESULT status;
    } cases[] = {
        {u"Key", u"KEY", kDuplicateKey},  {u"", u" x", kDuplicateKey},  // both read back "Unknown"
        {u"", u"unknown", kDuplicateKey}, {u"a b", u"a c", kDuplicateKey},
        {u"Ä", u"ä", kDuplicateKey},      {u"a", u"b", S_OK},
        {u"키", u"키값", S_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::text::toUtf8(c.first + u"|" + c.second));
        auto pairs = newPairs();
        call(*pairs, u"Add", {Variant(c.first), Variant(u"1")});
        EXPECT_EQ(statusOf([&] {
                      call(*pairs, u"Add", {Variant(c.second), Variant(u"2")});
                  }),
                  c.status);
        EXPECT_EQ(get(*pairs, u"Count").toI4(), c.status == S_OK ? 2 : 1);
    }
}

TEST(Pairs, ItemAndRemoveTakeAPositionOrAKey) {
    auto pairs = newPairs();
    Variant added = call(*pairs, u"Add", {Variant(u"first one"), Variant(u"1")});
    EXPECT_EQ(nameOf(added), u"first");
    call(*pairs, u"Add", {Variant(u"Second"), Variant(u"2")});
    call(*pairs, u"Add", {Variant(u"third"), Variant(u"3")});

    const struct {
        Variant index;
        std::u16string name;  // empty: the call fails
        HRESULT status;
    } cases[] = {
        {Variant(1), u"first", S_OK},
        {Variant(std::int16_t(3)), u"third", S_OK},
        {Variant(2.4), u"Second", S_OK},
        {Variant(2.5), u"Second", S_OK},  // half to even
        {Variant(u"SECOND"), u"Second", S_OK},
        {Variant(u"first"), u"first", S_OK},
        {Variant(u"first one"), u"", kInvalidArgument},  // the key is the name as cut
        {Variant(u"2"), u"", kInvalidArgument},          // a text is always a key
        {Variant(0), u"", kInvalidArgument},
        {Variant(4), u"", kInvalidArgument},
        {Variant(-1), u"", kInvalidArgument},
        {Variant(1e12), u"", kInvalidArgument},
        {Variant(), u"", kTypeMismatch},
        {Variant(Null{}), u"", kTypeMismatch},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(i);
        Variant item;
        EXPECT_EQ(statusOf([&] { item = get(*pairs, u"Item", {c.index}); }), c.status);
        if (c.status == S_OK) {
            EXPECT_EQ(nameOf(item), c.name);
        }
    }
    // Item is the default member.
    EXPECT_EQ(nameOf(invoke(*pairs, DISPID_VALUE, DISPATCH_PROPERTYGET, {Variant(3)})), u"third");
    // The added pair is the one in the list: a change through one shows through the other,
    // and the key stays the name it had when added.
    put(*added.dispatch(), u"Name", Variant(u"renamed"));
    EXPECT_EQ(nameOf(get(*pairs, u"Item", {Variant(u"FIRST")})), u"renamed");

    EXPECT_EQ(statusOf([&] { call(*pairs, u"Remove", {Variant(u"nothing")}); }), kInvalidArgument);
    EXPECT_EQ(statusOf([&] { call(*pairs, u"Remove", {Variant(4)}); }), kInvalidArgument);
    call(*pairs, u"Remove", {Variant(u"second")});
    EXPECT_EQ(get(*pairs, u"Count").toI4(), 2);
    call(*pairs, u"Remove", {Variant(1)});
    EXPECT_EQ(nameOf(get(*pairs, u"Item", {Variant(1)})), u"third");
    // A removed key can be added again.
    call(*pairs, u"Add", {Variant(u"first"), Variant(u"again")});
    EXPECT_EQ(get(*pairs, u"Count").toI4(), 2);
}

// The enumerator (dispatch identifier -4) walks the pairs in order, as a for-each does.
TEST(Pairs, EnumeratorWalksThePairsInOrder) {
    auto pairs = newPairs();
    for (const char16_t* name : {u"a", u"b", u"c"})
        call(*pairs, u"Add", {Variant(name), Variant(u"v")});
    Variant got = invoke(*pairs, DISPID_NEWENUM, DISPATCH_PROPERTYGET);
    auto walker = query<EnumVariant>(got.object());
    ASSERT_TRUE(walker);
    std::vector<Variant> items;
    EXPECT_EQ(walker->Next(2, items), S_OK);
    std::shared_ptr<EnumVariant> copy;
    ASSERT_EQ(walker->Clone(copy), S_OK);
    EXPECT_EQ(walker->Next(5, items), S_FALSE);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(nameOf(items[0]) + nameOf(items[1]) + nameOf(items[2]), u"abc");
    std::vector<Variant> rest;
    EXPECT_EQ(copy->Next(1, rest), S_OK);
    EXPECT_EQ(nameOf(rest[0]), u"c");
    EXPECT_EQ(walker->Reset(), S_OK);
    EXPECT_EQ(walker->Skip(2), S_OK);
    EXPECT_EQ(walker->Skip(2), S_FALSE);
}

TEST(MultiPairs, EachValueBecomesAFieldPerPiece) {
    const struct {
        std::u16string delimiter;  // empty: left as it was made ("&")
        std::u16string name, value, field, key;
    } cases[] = {
        {u"", u"t", u"a&b&c", u"t=a&t=b&t=c", u"t"},
        {u",", u"t", u"a,b", u"t=a&t=b", u"t"},
        {u"", u"t", u"a", u"t=a", u"t"},
        {u"", u"t", u"a b&c d", u"t=a%20b&t=c%20d", u"t"},
        {u"", u"t", u"a&&b&", u"t=a&t=&t=b&t=", u"t"},
        {u"", u"my field", u"가&x", u"my field=%B0%A1&my field=x", u"my"},
        {u"", u"", u"1&2", u"=1&=2", u"Unknown"},
        {u"--", u"n", u"1--2-3", u"n=1&n=2%2D3", u"n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::text::toUtf8(c.name + u"|" + c.value));
        auto multi = std::make_shared<CMPairs>();
        if (!c.delimiter.empty()) put(*multi, u"Delimiter", Variant(c.delimiter));
        Variant pair = call(*multi, u"Add", {Variant(c.name), Variant(c.value)});
        EXPECT_EQ(get(*pair.dispatch(), u"Value").toText(), c.field);
        EXPECT_EQ(nameOf(get(*multi, u"Item", {Variant(c.key)})), c.key);
        EXPECT_EQ(get(*multi, u"Count").toI4(), 1);
    }
}

TEST(MultiPairs, FailuresAndTheMembersItLacks) {
    auto multi = std::make_shared<CMPairs>();
    EXPECT_EQ(statusOf([&] { call(*multi, u"Add", {Variant(u"t"), Variant(u"")}); }), kSubscript);
    EXPECT_EQ(get(*multi, u"Count").toI4(), 0);
    call(*multi, u"Add", {Variant(u"t"), Variant(u"1")});
    EXPECT_EQ(statusOf([&] {
                  call(*multi, u"Add", {Variant(u"T"), Variant(u"2")});
              }),
              kDuplicateKey);
    EXPECT_EQ(statusOf([&] { get(*multi, u"Item", {Variant(2)}); }), kInvalidArgument);
    EXPECT_EQ(nameOf(invoke(*multi, 0x68030002, DISPATCH_PROPERTYGET, {Variant(1)})), u"t");
    // The delimiter can be set but not read; there is no default member and no for-each
    // enumerator, though NewEnum hands out an enumerator by its own identifier.
    EXPECT_EQ(statusOf([&] { get(*multi, u"Delimiter"); }), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(statusOf([&] { invoke(*multi, DISPID_VALUE, DISPATCH_PROPERTYGET, {Variant(1)}); }),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(statusOf([&] { invoke(*multi, DISPID_NEWENUM, DISPATCH_PROPERTYGET); }),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_TRUE(query<EnumVariant>(get(*multi, u"NewEnum").object()));
    call(*multi, u"Remove", {Variant(u"t")});
    EXPECT_EQ(get(*multi, u"Count").toI4(), 0);
}
