// platform::http - one synchronous HTTP exchange over libcurl, in place of the platform's HTTP
// request objects.
//
// A request names its method, URL, headers and, for a POST, its body. The headers go in the
// given order after the client's own Host and Accept lines; a POST's Content-Length follows
// them. The body is sent with its exact length (an empty body too) and without asking for
// "100 Continue" first. The reply is the status and the raw body bytes; the status is
// reported, not judged, so an error page comes back like any other reply. Redirects are
// followed (at most 10, HTTP and HTTPS only). Loopback addresses never go through a proxy;
// other addresses use the proxy the environment names, if any.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::http {

struct Header {
    std::string name;
    std::string value;
};

struct Request {
    std::string method = "GET";  // "GET" or "POST"
    std::string url;             // http:// or https://
    std::vector<Header> headers;
    std::vector<std::uint8_t> body;  // POST only
    // Time allowed to connect; zero: the library's default.
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(60)};
    // The exchange fails when no byte moves for this long; zero: never.
    std::chrono::seconds stallTimeout{std::chrono::minutes(5)};
    // Limit on the whole exchange, so that a server trickling its reply cannot hold the call
    // for ever; zero, or more than the client's ceiling: the ceiling (see replyLimits).
    std::chrono::milliseconds totalTimeout{0};
    // Largest reply body accepted; zero, or more than the ceiling: the ceiling.
    std::size_t maxReplyBytes = 0;
};

// The ceiling of every exchange: no reply body above maxReplyBytes is held (64 MiB) and no
// exchange lasts longer than totalTimeout (10 minutes). A request may ask for less, never for
// more. A zero in the ceiling removes that limit.
struct Limits {
    std::size_t maxReplyBytes = 64u << 20;
    std::chrono::milliseconds totalTimeout{std::chrono::minutes(10)};
};
Limits replyLimits();
// Sets the ceiling for the whole process (tests lower it).
void setReplyLimits(Limits limits);

struct Response {
    long status = 0;
    std::vector<std::uint8_t> body;
    // The reason phrase of the final status line ("Not Found"); empty when the server sent
    // none (HTTP/2 has none).
    std::string reason;
};

enum class Failure {
    BadUrl,       // not an http or https URL the client can read
    Unreachable,  // name lookup, connection or transfer failed
    TimedOut,     // a time limit ran out
    TooLarge,     // the reply body passed its limit
    Other,
};

class Error : public std::runtime_error {
  public:
    Error(Failure failure, const std::string& what) : std::runtime_error(what), failure_(failure) {}
    Failure failure() const noexcept { return failure_; }

  private:
    Failure failure_;
};

// Performs the exchange and returns the reply. Throws Error when no reply arrives.
Response send(const Request& request);

}  // namespace platform::http
