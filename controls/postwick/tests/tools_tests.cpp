// The library as a host meets it: registered with regsvr, its objects created by ProgID and
// driven by comcall, a form posted to a loopback server.
#include <gtest/gtest.h>

#include "platform/com/runtime.h"
#include "platform/registry/registry.h"
#include "platform/testing/http_server.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"

using platform::registry::Root;
using platform::testing::HttpServer;
using platform::testing::runProgram;
namespace registry = platform::registry;

namespace {
class PostwickTools : public ::testing::Test {
  protected:
    void SetUp() override {
        auto reg = runProgram(REGSVR, {POSTWICK_LIBRARY});
        ASSERT_EQ(reg.exitCode, 0) << reg.err;
    }
    platform::testing::TempMachine machine;
    HttpServer server;
};
}  // namespace

TEST_F(PostwickTools, ClassesAreRegisteredUnderTheirProgIds) {
    const struct {
        const char16_t* progId;
        const char16_t* clsid;
    } classes[] = {
        {u"Postwick.Action", u"{0F5F7A5F-77FE-429C-8328-D792007BE914}"},
        {u"Postwick.cHTTP", u"{BE94E4F1-1F18-4738-96A8-0CFEA2B7F0EF}"},
        {u"Postwick.cNVPair", u"{F216CAA4-93D0-46E2-9D97-35038BEE3D5E}"},
        {u"Postwick.cNVPairs", u"{707745A6-7A78-4F1D-9046-A7397011C54F}"},
        {u"Postwick.CMPairs", u"{3164B3BD-396B-4418-B470-945E0842F46C}"},
    };
    for (const auto& c : classes) {
        EXPECT_EQ(
            registry::getString(Root::ClassesRoot, std::u16string(c.progId) + u"\\CLSID", u""),
            std::optional<std::u16string>(c.clsid));
    }
    EXPECT_TRUE(registry::keyExists(Root::ClassesRoot,
                                    u"CLSID\\{0F5F7A5F-77FE-429C-8328-D792007BE914}\\Control"));
    EXPECT_TRUE(
        registry::keyExists(Root::ClassesRoot, u"TypeLib\\{F115E172-9F68-488C-B508-ADE098B675B6}"));

    auto coded = runProgram(COMCALL, {"Postwick.cNVPair", "Value=가 -", "EncodedValue"});
    EXPECT_EQ(coded.out, "%B0%A1%20%2D\n") << coded.err;

    auto unreg = runProgram(REGSVR, {"-u", POSTWICK_LIBRARY});
    ASSERT_EQ(unreg.exitCode, 0) << unreg.err;
    EXPECT_EQ(runProgram(COMCALL, {"Postwick.Action", "Init"}).exitCode, 1);
}

TEST_F(PostwickTools, TheControlPostsAFormFromComcall) {
    server.setReply("<script>\r\ns += \"done\";\r\n</script>\r\n");
    const std::string url = server.url("/submit");
    auto posted =
        runProgram(COMCALL, {"Postwick.Action", "HTTP.TargetURL=" + url.substr(7), "HTTP.Pairs.Add",
                             "name", "홍길동", "--", "HTTP.Pairs.Add", "memo", "a b&c", "--",
                             "HTTP.MultiParis.Add", "t", "1&2", "--", "HTTP.Post"});
    ASSERT_EQ(posted.exitCode, 0) << posted.err;
    // One line per call: the three pairs added, then the reply as it came.
    EXPECT_EQ(posted.out,
              "[object]\n[object]\n[object]\n<script>\r\ns += \"done\";\r\n</script>\r\n\n");
    ASSERT_EQ(server.requests().size(), 1u);
    const auto seen = server.requests()[0];
    EXPECT_EQ(seen.requestLine, "POST /submit HTTP/1.1");
    EXPECT_EQ(seen.body, "name=%C8%AB%B1%E6%B5%BF&memo=a%20b%26c&t=1&t=2");
    EXPECT_EQ(seen.headerLines.at(2), "Content-type: application/x-www-form-urlencoded");
    EXPECT_EQ(seen.headerLines.at(3), "pragma: no-cache");

    auto script = runProgram(COMCALL, {"Postwick.cHTTP", "TargetURL=" + url, "DazodivedPost"});
    EXPECT_EQ(script.out, "done\n") << script.err;

    auto counted = runProgram(COMCALL, {"Postwick.cHTTP", "Pairs.Add", "a", "1", "--", "Pairs.Add",
                                        "b", "2", "--", "Pairs.Count"});
    EXPECT_EQ(counted.out, "[object]\n[object]\n2\n") << counted.err;
}

TEST_F(PostwickTools, ErrorsReachTheHostWithTheirNumbers) {
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"Postwick.cHTTP", "Pairs.Add", "Key", "1", "--", "Pairs.Add", "KEY", "2"},
         "error 0x800A01C9: This key is already associated with an element of this "
         "collection\n"},
        {{"Postwick.cHTTP", "Pairs.Item", "missing"},
         "error 0x800A0005: Invalid procedure call or argument\n"},
        {{"Postwick.CMPairs", "Add", "t", ""}, "error 0x800A0009: Subscript out of range\n"},
        {{"Postwick.cHTTP", "TargetURL.Length"}, "error 0x800A01A8: Object required: TargetURL\n"},
    };
    for (const auto& c : cases) {
        auto failed = runProgram(COMCALL, c.args);
        EXPECT_EQ(failed.exitCode, 1);
        EXPECT_EQ(failed.err, c.err);
    }
    std::string closed;
    {
        HttpServer gone;
        closed = gone.url("/");
    }
    auto unreachable = runProgram(COMCALL, {"Postwick.cHTTP", "TargetURL=" + closed, "Post"});
    EXPECT_EQ(unreachable.exitCode, 1);
    EXPECT_EQ(unreachable.err.substr(0, 16), "error 0x800C0005") << unreachable.err;
}

// A reply above 64 MiB is not held: the host gets the failure (before, a 200 MiB reply took
// the host to 1.45 GB).
TEST_F(PostwickTools, AReplyAboveTheClientsLimitFailsThePost) {
    server.setReply(std::string((64u << 20) + 1, 'r'));
    auto post = runProgram(COMCALL, {"Postwick.cHTTP", "TargetURL=" + server.url(), "Post"});
    EXPECT_EQ(post.exitCode, 1);
    EXPECT_EQ(post.out, "");
    EXPECT_NE(post.err.find("error 0x8007000E: The reply is too large to be held. (the reply is "
                            "larger than 67108864 bytes"),
              std::string::npos)
        << post.err;
}

// An object a member handed out keeps the library loaded after its maker is gone.
TEST_F(PostwickTools, HandedOutObjectsKeepTheLibraryLoaded) {
    using namespace platform::com;
    auto client = createObject(u"Postwick.cHTTP");
    auto pairs = get(*client, u"Pairs").dispatch();
    auto pair = call(*pairs, u"Add", {Variant(u"a"), Variant(u"1")}).dispatch();
    client.reset();
    CoFreeUnusedLibraries();
    ASSERT_EQ(loadedLibraries().size(), 1u);
    EXPECT_EQ(get(*pairs, u"Count").toI4(), 1);
    pairs.reset();
    CoFreeUnusedLibraries();
    ASSERT_EQ(loadedLibraries().size(), 1u);
    EXPECT_EQ(get(*pair, u"Name").toText(), u"a");
    pair.reset();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(loadedLibraries().empty());
}
