// The client posting forms to a loopback server that records what arrives, the control that
// holds a client, and the object safety answers both give.
#include <gtest/gtest.h>

#include "controls/postwick/formpost.h"
#include "controls/postwick/pairs.h"
#include "controls/postwick/postwick.h"
#include "controls/postwick/tests/test_util.h"
#include "platform/com/control.h"
#include "platform/com/safety.h"
#include "platform/testing/http_server.h"
#include "platform/text/text.h"

using namespace platform::com;
using namespace postwick;
using platform::testing::HttpServer;
using postwick::test_support::statusOf;
namespace text = platform::text;

namespace {

std::string ansi(std::u16string_view s) {
    auto bytes = text::toAnsi(s);
    return {bytes.begin(), bytes.end()};
}

std::shared_ptr<Dispatch> pairsOf(Dispatch& client) {
    return get(client, u"Pairs").dispatch();
}

class FormPost : public ::testing::Test {
  protected:
    std::shared_ptr<Dispatch> client = std::make_shared<cHTTP>();
    HttpServer server;

    void target(const std::string& path = "/form") {
        put(*client, u"TargetURL", Variant(text::fromUtf8(server.url(path))));
    }
};

}  // namespace

TEST_F(FormPost, PostSendsTheFormWithTheTwoHeadersAndReturnsTheReply) {
    target("/post.asp?x=1");
    call(*pairsOf(*client), u"Add", {Variant(u"a"), Variant(u"1 2")});
    call(*pairsOf(*client), u"Add", {Variant(u"b"), Variant(u"x&y")});
    server.setReply(ansi(u"결과 ok"));
    EXPECT_EQ(call(*client, u"Post").toText(), u"결과 ok");

    ASSERT_EQ(server.requests().size(), 1u);
    const auto seen = server.requests()[0];
    EXPECT_EQ(seen.requestLine, "POST /post.asp?x=1 HTTP/1.1");
    const std::vector<std::string> headers = {"Host: 127.0.0.1:" + std::to_string(server.port()),
                                              "Accept: */*",
                                              "Content-type: application/x-www-form-urlencoded",
                                              "pragma: no-cache", "Content-Length: 15"};
    EXPECT_EQ(seen.headerLines, headers);
    EXPECT_EQ(seen.body, "a=1%202&b=x%26y");

    // The form stays: posting again sends it again.
    call(*client, u"Post");
    EXPECT_EQ(server.requests().at(1).body, "a=1%202&b=x%26y");
}

TEST_F(FormPost, BodyTable) {
    target();
    struct Field {
        bool multi;
        std::u16string name, value;
    };
    const struct {
        std::vector<Field> fields;
        std::string body;
    } cases[] = {
        {{}, ""},
        {{{false, u"", u"v"}}, "Unknown=v"},
        {{{true, u"t", u"a&b&c"}}, "t=a&t=b&t=c"},
        {{{true, u"t", u"a&b"}, {false, u"p", u"-"}}, "p=%2D&t=a&t=b"},
        // Names go as they are, in ANSI bytes; values are coded.
        {{{false, u"이름", u"홍길동"}}, ansi(u"이름") + "=%C8%AB%B1%E6%B5%BF"},
        {{{false, u"a+b", u"c d"}}, "a+b=c%20d"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        client = std::make_shared<cHTTP>();
        target();
        for (const auto& f : c.fields)
            call(*get(*client, f.multi ? u"MultiParis" : u"Pairs").dispatch(), u"Add",
                 {Variant(f.name), Variant(f.value)});
        call(*client, u"Post");
        const auto seen = server.requests().back();
        EXPECT_EQ(seen.body, c.body);
        EXPECT_EQ(seen.headerLines.at(4), "Content-Length: " + std::to_string(c.body.size()));
    }
}

// A large form goes in one request, without waiting for "100 Continue".
TEST_F(FormPost, LargeValuesGoWholeWithoutContinue) {
    target();
    call(*pairsOf(*client), u"Add", {Variant(u"big"), Variant(std::u16string(20000, u'가'))});
    call(*client, u"Post");
    const auto seen = server.requests().back();
    EXPECT_EQ(seen.body.size(), 4u + 20000u * 6u);
    for (const auto& line : seen.headerLines) EXPECT_EQ(line.find("Expect"), std::string::npos);
}

TEST_F(FormPost, TheStatusIsNotLookedAt) {
    target();
    server.setReply(ansi(u"<h1>서버 오류</h1>"), "500 Internal Server Error");
    EXPECT_EQ(call(*client, u"Post").toText(), u"<h1>서버 오류</h1>");
    server.setReply("", "404 Not Found");
    EXPECT_EQ(call(*client, u"Post").toText(), u"");
}

TEST_F(FormPost, ScriptPostReadsLfAndCrLfRepliesAlike) {
    target();
    const std::string lines[] = {"<script>", "var s = \"\";",    "s += \"abc\";",
                                 "x();",     "   S += \"def\";", "</script>"};
    for (const std::string end : {"\n", "\r\n", "\r"}) {
        SCOPED_TRACE(end.size());
        std::string reply;
        for (const auto& line : lines) reply += line + end;
        server.setReply(reply);
        EXPECT_EQ(call(*client, u"DazodivedPost").toText(), u"abcdef");
    }
    server.setReply(ansi(u"s += \"한글\";\r\n"));
    EXPECT_EQ(call(*client, u"DazodivedPost").toText(), u"한글");
    EXPECT_EQ(server.requests().size(), 4u);
    EXPECT_EQ(server.requests().back().requestLine, "POST /form HTTP/1.1");
}

TEST_F(FormPost, TargetUrlKeepsASchemeAndPostsToIt) {
    EXPECT_EQ(get(*client, u"TargetURL").toText(), u"");
    const struct {
        std::u16string value, stored;
    } cases[] = {
        {u"server/a", u"http://server/a"},
        {u"HTTP://server/a", u"HTTP://server/a"},
        {u"https://server/a", u"https://server/a"},
    };
    for (const auto& c : cases) {
        put(*client, u"TargetURL", Variant(c.value));
        EXPECT_EQ(get(*client, u"TargetURL").toText(), c.stored);
    }
    // An address without a scheme posts over http.
    put(*client, u"TargetURL", Variant(text::fromUtf8(server.url("/x").substr(7))));
    call(*client, u"Post");
    EXPECT_EQ(server.requests().back().requestLine, "POST /x HTTP/1.1");
}

TEST_F(FormPost, FailedExchangesRaiseToTheCaller) {
    std::string closed;
    {
        HttpServer gone;
        closed = gone.url("/");
    }
    const struct {
        std::string url;
        HRESULT status;
    } cases[] = {
        {closed, hr(0x800C0005)},
        {"ftp://127.0.0.1/", E_INVALIDARG},
        {"", E_INVALIDARG},  // stored as "http://"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        put(*client, u"TargetURL", Variant(text::fromUtf8(c.url)));
        EXPECT_EQ(statusOf([&] { call(*client, u"Post"); }), c.status);
        EXPECT_EQ(statusOf([&] { call(*client, u"DazodivedPost"); }), c.status);
    }
    // Without a target at all.
    auto fresh = std::make_shared<cHTTP>();
    EXPECT_EQ(statusOf([&] { call(*fresh, u"Post"); }), E_INVALIDARG);
}

// A reply above the client's limit, or one that never ends, fails the call with its own status
// instead of filling memory or holding the caller for ever.
TEST_F(FormPost, RepliesTooLargeOrTooSlowRaise) {
    platform::testing::LoweredHttpLimits lowered({100, std::chrono::milliseconds(200)});
    target();
    server.setReply(std::string(101, 'r'));
    EXPECT_EQ(statusOf([&] { call(*client, u"Post"); }), E_OUTOFMEMORY);
    server.setReply(std::string(100, 'r'));
    EXPECT_EQ(call(*client, u"Post").toText(), std::u16string(100, u'r'));
    server.setRawReply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nfirst");
    server.setTrickle(20);
    EXPECT_EQ(statusOf([&] { call(*client, u"Post"); }), hr(0x800C000B));
    EXPECT_EQ(statusOf([&] { call(*client, u"DazodivedPost"); }), hr(0x800C000B));
}

TEST_F(FormPost, TheControlHoldsAClientThatCanBeReplaced) {
    auto action = std::make_shared<Action>();
    Variant first = get(*action, u"HTTP");
    ASSERT_TRUE(first.dispatch());
    put(*first.dispatch(), u"TargetURL", Variant(text::fromUtf8(server.url("/a"))));
    call(*get(*first.dispatch(), u"Pairs").dispatch(), u"Add", {Variant(u"k"), Variant(u"v")});
    EXPECT_TRUE(get(*action, u"HTTP").sameAs(first));
    call(*get(*action, u"HTTP").dispatch(), u"Post");
    EXPECT_EQ(server.requests().back().body, "k=v");

    // Set by reference: the control holds the very object it was given.
    invoke(*action, 0x40030000, DISPATCH_PROPERTYPUTREF, {Variant(client)});
    EXPECT_TRUE(get(*action, u"HTTP").sameAs(Variant(client)));
    EXPECT_EQ(statusOf([&] {
                  invoke(*action, 0x40030000, DISPATCH_PROPERTYPUTREF,
                         {Variant(std::shared_ptr<Dispatch>(std::make_shared<cNVPair>()))});
              }),
              hr(0x800A000D));
    invoke(*action, 0x40030000, DISPATCH_PROPERTYPUTREF, {Variant(std::shared_ptr<Dispatch>())});
    EXPECT_FALSE(get(*action, u"HTTP").dispatch());

    // Init gives a fresh client: no pairs, no target.
    call(*action, u"Init");
    auto fresh = get(*action, u"HTTP").dispatch();
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(Variant(fresh).sameAs(first));
    EXPECT_EQ(get(*get(*fresh, u"Pairs").dispatch(), u"Count").toI4(), 0);
    EXPECT_EQ(get(*fresh, u"TargetURL").toText(), u"");
    call(*action, u"RunApp", {Variant(u"anything")});
    EXPECT_EQ(invoke(*action, 0x60030001, DISPATCH_METHOD).type(), VT_EMPTY);
}

TEST(ObjectSafetyAnswers, BothClassesAnswerAlike) {
    constexpr Guid IID_Other = Guid::of("{00000000-0000-0000-0000-0000000000AB}");
    const std::shared_ptr<Unknown> objects[] = {std::make_shared<cHTTP>(),
                                                std::make_shared<Action>()};
    for (const auto& object : objects) {
        auto safety = query<ObjectSafety>(object);
        ASSERT_TRUE(safety);
        const struct {
            const Guid* iid;
            HRESULT status;
            std::uint32_t enabled;
        } gets[] = {
            {&IID_IDispatch, S_OK, 1},
            {&IID_IPersistStorage, S_OK, 2},
            {&IID_IPersistStream, S_OK, 2},
            {&IID_IPersistPropertyBag, S_OK, 2},
            {&IID_IUnknown, E_NOINTERFACE, 77},
            {&IID_Other, E_NOINTERFACE, 77},
            {nullptr, S_OK, 77},  // enabled left as it was
        };
        for (const auto& g : gets) {
            std::uint32_t supported = 0, enabled = 77;
            EXPECT_EQ(safety->GetInterfaceSafetyOptions(g.iid, &supported, &enabled), g.status);
            EXPECT_EQ(supported, 3u);
            EXPECT_EQ(enabled, g.enabled);
        }
        std::uint32_t value = 0;
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IDispatch, nullptr, &value), E_POINTER);
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IDispatch, &value, nullptr), E_POINTER);

        const struct {
            const Guid* iid;
            std::uint32_t mask, enabled;
            HRESULT status;
        } sets[] = {
            {&IID_IDispatch, 1, 1, S_OK},         {&IID_IDispatch, 3, 1, S_OK},
            {&IID_IDispatch, 3, 3, E_FAIL},       {&IID_IDispatch, 1, 0, E_FAIL},
            {&IID_IDispatch, 2, 2, E_FAIL},       {&IID_IPersistPropertyBag, 2, 2, S_OK},
            {&IID_IPersistStream, 3, 2, S_OK},    {&IID_IPersistStorage, 1, 1, E_FAIL},
            {&IID_IUnknown, 1, 1, E_NOINTERFACE}, {nullptr, 3, 3, S_OK},
        };
        for (const auto& s : sets)
            EXPECT_EQ(safety->SetInterfaceSafetyOptions(s.iid, s.mask, s.enabled), s.status);
    }
}

// Each class's interface in vtable order: member names (letter case exactly), dispatch
// identifiers and kinds, as a host reaches them.
TEST(PostwickSurface, EveryClassHasItsMembersInOrder) {
    constexpr unsigned M = DISPATCH_METHOD, G = DISPATCH_PROPERTYGET, P = DISPATCH_PROPERTYPUT,
                       R = DISPATCH_PROPERTYPUTREF;
    struct Member {
        const char16_t* name;
        DispId id;
        unsigned kind;
    };
    const struct {
        std::shared_ptr<Dispatch> object;
        const char16_t* interfaceName;
        std::vector<Member> members;
    } classes[] = {
        {std::make_shared<Action>(),
         u"_Action",
         {{u"HTTP", 0x40030000, G},
          {u"HTTP", 0x40030000, R},
          {u"RunApp", 0x60030000, M},
          {u"Init", 0x60030001, M}}},
        {std::make_shared<cHTTP>(),
         u"_cHTTP",
         {{u"Pairs", 0x68030002, G},
          {u"MultiParis", 0x68030001, G},
          {u"TargetURL", 0x68030000, P},
          {u"TargetURL", 0x68030000, G},
          {u"Post", 0x60030003, M},
          {u"DazodivedPost", 0x60030004, M}}},
        {std::make_shared<cNVPair>(),
         u"_cNVPair",
         {{u"Name", 0x68030002, G},
          {u"Name", 0x68030002, P},
          {u"Value", 0x68030001, G},
          {u"Value", 0x68030001, P},
          {u"EncodedValue", 0x68030000, G}}},
        {std::make_shared<cNVPairs>(),
         u"_cNVPairs",
         {{u"Add", 0x60030001, M},
          {u"Item", 0, G},
          {u"Count", 0x68030000, G},
          {u"Remove", 0x60030002, M},
          {u"NewEnum", -4, G}}},
        {std::make_shared<CMPairs>(),
         u"_CMPairs",
         {{u"Delimiter", 0x68030003, P},
          {u"Add", 0x60030004, M},
          {u"Item", 0x68030002, G},
          {u"Count", 0x68030001, G},
          {u"Remove", 0x60030005, M},
          {u"NewEnum", 0x68030000, G}}},
    };
    for (const auto& c : classes) {
        const TypeInfo* info = c.object->GetTypeInfo();
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->name, c.interfaceName);
        ASSERT_EQ(info->members.size(), c.members.size()) << text::toUtf8(c.interfaceName);
        for (std::size_t i = 0; i < c.members.size(); ++i) {
            const std::string which =
                text::toUtf8(c.interfaceName) + "." + text::toUtf8(c.members[i].name);
            EXPECT_EQ(info->members[i].name, c.members[i].name) << which;
            EXPECT_EQ(info->members[i].id, c.members[i].id) << which;
            EXPECT_EQ(info->members[i].kind, c.members[i].kind) << which;
        }
    }
}
