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

namespace {

Failure failureOf(const Request& request, std::string& what) {
    try {
        send(request);
    } catch (const Error& e) {
        what = e.what();
        return e.failure();
    }
    return Failure::Other;
}

}  // namespace

// No request holds more than the ceiling's bytes or lasts longer than its time, whatever it
// asks for; a request may ask for less.
TEST(Http, EveryReplyIsBoundedByTheCeiling) {
    EXPECT_EQ(replyLimits().maxReplyBytes, 64u << 20);
    EXPECT_EQ(replyLimits().totalTimeout, std::chrono::minutes(10));
    platform::testing::LoweredHttpLimits lowered({5000, std::chrono::milliseconds(300)});
    HttpServer server;
    server.setReply(std::string(5001, 'r'));
    struct Case {
        std::size_t asked;
        const char* inWhat;
    };
    for (const Case c :
         {Case{0, "larger than 5000 bytes"}, Case{1u << 30, "larger than 5000 bytes"},
          Case{100, "larger than 100 bytes"}}) {
        SCOPED_TRACE(c.asked);
        Request request = post(server.url(), "");
        request.maxReplyBytes = c.asked;
        std::string what;
        EXPECT_EQ(failureOf(request, what), Failure::TooLarge);
        EXPECT_NE(what.find(c.inWhat), std::string::npos) << what;
    }
    // A reply that gives no length is cut off as it passes the limit.
    server.setRawReply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(5001, 'r'));
    std::string what;
    EXPECT_EQ(failureOf(post(server.url(), ""), what), Failure::TooLarge);
    EXPECT_NE(what.find("larger than 5000 bytes"), std::string::npos) << what;
    server.setReply(std::string(5000, 'r'));
    EXPECT_EQ(send(post(server.url(), "")).body.size(), 5000u);

    // A server that sends a byte every 20 ms never stalls, yet the call ends.
    server.setRawReply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nfirst");
    server.setTrickle(20);
    for (auto asked : {std::chrono::milliseconds(0), std::chrono::milliseconds(3600000),
                       std::chrono::milliseconds(100)}) {
        SCOPED_TRACE(asked.count());
        Request request = post(server.url(), "");
        request.totalTimeout = asked;
        std::string what;
        EXPECT_EQ(failureOf(request, what), Failure::TimedOut) << what;
    }
}
