#include "platform/http/http.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <new>
#include <string_view>

namespace platform::http {

namespace {

std::mutex limitsMutex;
Limits ceiling;

// The request's own limit when it asks for less than the ceiling, else the ceiling.
template <class T>
T within(T asked, T most) {
    if (most == T{}) return asked;
    return asked > T{} && asked < most ? asked : most;
}

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw Error(Failure::Other, "the HTTP client could not start");
    });
}

struct Easy {
    CURL* handle = curl_easy_init();
    curl_slist* headers = nullptr;
    ~Easy() {
        curl_slist_free_all(headers);
        if (handle) curl_easy_cleanup(handle);
    }
};

struct Sink {
    std::vector<std::uint8_t>* body;
    std::size_t limit;
    bool tooLarge = false;
    bool outOfMemory = false;
};

std::size_t receive(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::size_t n = size * count;
    if (sink->limit && sink->body->size() + n > sink->limit) {
        sink->tooLarge = true;
        return 0;  // ends the transfer
    }
    try {
        sink->body->insert(sink->body->end(), data, data + n);
    } catch (const std::bad_alloc&) {
        sink->outOfMemory = true;
        return 0;
    }
    return n;
}

// Keeps the reason phrase of each status line; the last one (after redirects) stays.
std::size_t receiveHeader(char* data, std::size_t size, std::size_t count, void* user) {
    const std::size_t n = size * count;
    std::string_view line(data, n);
    if (line.starts_with("HTTP/")) {
        auto* reason = static_cast<std::string*>(user);
        reason->clear();
        // "HTTP/1.1 404 Not Found": the text after the version and the code.
        const std::size_t code = line.find(' ');
        const std::size_t text = code == line.npos ? line.npos : line.find(' ', code + 1);
        if (text != line.npos) {
            std::string_view phrase = line.substr(text + 1);
            while (!phrase.empty() && (phrase.back() == '\r' || phrase.back() == '\n'))
                phrase.remove_suffix(1);
            reason->assign(phrase);
        }
    }
    return n;
}

Failure failureOf(CURLcode code) {
    switch (code) {
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return Failure::BadUrl;
        case CURLE_OPERATION_TIMEDOUT:
            return Failure::TimedOut;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_TOO_MANY_REDIRECTS:
        case CURLE_WEIRD_SERVER_REPLY:
            return Failure::Unreachable;
        default:
            return Failure::Other;
    }
}

void check(CURLcode code) {
    if (code != CURLE_OK) throw Error(Failure::Other, curl_easy_strerror(code));
}

}  // namespace

Limits replyLimits() {
    std::lock_guard guard(limitsMutex);
    return ceiling;
}

void setReplyLimits(Limits limits) {
    std::lock_guard guard(limitsMutex);
    ceiling = limits;
}

Response send(const Request& request) {
    initialiseOnce();
    Easy easy;
    if (!easy.handle) throw Error(Failure::Other, "the HTTP client could not start");
    CURL* h = easy.handle;
    char message[CURL_ERROR_SIZE] = {};
    Response response;
    const Limits most = replyLimits();
    const std::size_t maxReplyBytes = within(request.maxReplyBytes, most.maxReplyBytes);
    const std::chrono::milliseconds totalTimeout = within(request.totalTimeout, most.totalTimeout);
    Sink sink{&response.body, maxReplyBytes};

    check(curl_easy_setopt(h, CURLOPT_ERRORBUFFER, message));
    check(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
    check(curl_easy_setopt(h, CURLOPT_URL, request.url.c_str()));
    check(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
    check(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    check(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L));
    check(curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L));
    check(curl_easy_setopt(h, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1"));
    check(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                           static_cast<long>(request.connectTimeout.count())));
    check(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(totalTimeout.count())));
    if (request.stallTimeout.count() > 0) {
        check(curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L));
        check(curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                               static_cast<long>(request.stallTimeout.count())));
    }
    // A reply that announces a body above the limit is refused before its body is read.
    if (maxReplyBytes > 0)
        check(
            curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxReplyBytes)));
    check(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &receive));
    check(curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink));
    check(curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &receiveHeader));
    check(curl_easy_setopt(h, CURLOPT_HEADERDATA, &response.reason));

    if (request.method == "POST") {
        check(curl_easy_setopt(h, CURLOPT_POST, 1L));
        // The body goes with its exact length: no terminator is looked for, NULs included.
        static const char nothing = 0;
        check(curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                               static_cast<curl_off_t>(request.body.size())));
        check(curl_easy_setopt(
            h, CURLOPT_POSTFIELDS,
            request.body.empty() ? &nothing : reinterpret_cast<const char*>(request.body.data())));
    } else if (request.method == "GET") {
        check(curl_easy_setopt(h, CURLOPT_HTTPGET, 1L));
    } else {
        throw Error(Failure::Other, "unsupported method " + request.method);
    }

    for (const auto& header : request.headers) {
        const std::string line = header.name + ": " + header.value;
        curl_slist* next = curl_slist_append(easy.headers, line.c_str());
        if (!next) throw std::bad_alloc();
        easy.headers = next;
    }
    // An empty "Expect:" keeps the client from waiting for "100 Continue" on larger bodies.
    curl_slist* next = curl_slist_append(easy.headers, "Expect:");
    if (!next) throw std::bad_alloc();
    easy.headers = next;
    check(curl_easy_setopt(h, CURLOPT_HTTPHEADER, easy.headers));

    const CURLcode code = curl_easy_perform(h);
    if (sink.outOfMemory) throw std::bad_alloc();
    if (sink.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
        throw Error(Failure::TooLarge, "the reply is larger than " + std::to_string(maxReplyBytes) +
                                           " bytes, the most this client accepts; it was not read");
    if (code != CURLE_OK)
        throw Error(failureOf(code), message[0] ? message : curl_easy_strerror(code));
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    return response;
}

}  // namespace platform::http
