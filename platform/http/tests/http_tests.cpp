// The HTTP client against a loopback server that records what arrives on the wire.
#include <gtest/gtest.h>

#include "platform/http/http.h"
#include "platform/testing/http_server.h"

using namespace platform::http;
using platform::testing::HttpServer;

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

std::string textOf(const std::vector<std::uint8_t>& b) {
    return {b.begin(), b.end()};
}

Request post(const std::string& url, const std::string& body) {
    Request r;
    r.method = "POST";
    r.url = url;
    r.headers = {{"Content-type", "application/x-www-form-urlencoded"}, {"pragma", "no-cache"}};
    r.body = bytesOf(body);
    return r;
}

}  // namespace

// The body goes with its exact length (NULs and all, small or large), the caller's headers
// follow the client's Host and Accept lines in the caller's order, and nothing asks for
// "100 Continue".
TEST(Http, PostSendsTheBodyWithItsLengthAndTheHeadersInOrder) {
    HttpServer server;
    server.setReply("ok");
    const std::string bodies[] = {std::string("a=1\0b", 5), "", std::string(100000, 'x')};
    for (const std::string& body : bodies) {
        SCOPED_TRACE(body.size());
        Response reply = send(post(server.url("/form?x=1"), body));
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(textOf(reply.body), "ok");
        auto seen = server.requests().back();
        EXPECT_EQ(seen.requestLine, "POST /form?x=1 HTTP/1.1");
        EXPECT_EQ(seen.body, body);
        const std::vector<std::string> expected = {
            "Host: 127.0.0.1:" + std::to_string(server.port()), "Accept: */*",
            "Content-type: application/x-www-form-urlencoded", "pragma: no-cache",
            "Content-Length: " + std::to_string(body.size())};
        EXPECT_EQ(seen.headerLines, expected);
    }
}

TEST(Http, AnErrorStatusComesBackWithItsBodyAndReasonPhrase) {
    HttpServer server;
    const struct {
        const char* status;
        long code;
        const char* reason;
    } cases[] = {{"404 Not Found", 404, "Not Found"},
                 {"503 Service Unavailable", 503, "Service Unavailable"},
                 {"200 OK", 200, "OK"},
                 {"500", 500, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        server.setReply("missing", c.status);
        Request get;
        get.url = server.url("/nothing");
        Response reply = send(get);
        EXPECT_EQ(reply.status, c.code);
        EXPECT_EQ(reply.reason, c.reason);
        EXPECT_EQ(textOf(reply.body), "missing");
        EXPECT_EQ(server.requests().back().requestLine, "GET /nothing HTTP/1.1");
    }
}

TEST(Http, FailuresAreReportedByKind) {
    std::string closedUrl;
    {
        HttpServer gone;
        closedUrl = gone.url("/");
    }
    HttpServer server;
    server.setReply(std::string(5000, 'r'));
    Request tooLarge = post(server.url(), "");
    tooLarge.maxReplyBytes = 4999;
    struct Case {
        Request request;
        Failure failure;
    };
    const Case cases[] = {
        {post("ftp://127.0.0.1/file", ""), Failure::BadUrl},
        {post("http://", ""), Failure::BadUrl},
        {post("", ""), Failure::BadUrl},
        {post(closedUrl, "a=1"), Failure::Unreachable},
        {tooLarge, Failure::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.url);
        try {
            send(c.request);
            ADD_FAILURE() << "no failure";
        } catch (const Error& e) {
            EXPECT_EQ(e.failure(), c.failure) << e.what();
        }
    }
    tooLarge.maxReplyBytes = 5000;
    EXPECT_EQ(send(tooLarge).body.size(), 5000u);
}
