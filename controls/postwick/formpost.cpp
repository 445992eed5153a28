#include "controls/postwick/formpost.h"

#include "controls/postwick/formtext.h"
#include "controls/postwick/objects.h"
#include "controls/postwick/postwick.h"
#include "platform/http/http.h"
#include "platform/text/text.h"

namespace postwick {

using namespace platform::com;
namespace text = platform::text;
namespace http = platform::http;

namespace {

// The statuses the platform's HTTP request object reports for a failed exchange.
constexpr HRESULT INET_E_RESOURCE_NOT_FOUND = hr(0x800C0005);
constexpr HRESULT INET_E_CONNECTION_TIMEOUT = hr(0x800C000B);

constexpr DispId DISPID_PAIR_NAME = 0x68030002;
constexpr DispId DISPID_PAIR_VALUE = 0x68030001;
constexpr DispId DISPID_PAIR_ENCODED = 0x68030000;

std::u16string textMember(const Variant& item, DispId id) {
    auto object = item.dispatch();
    if (!object) throw text::Error(424, u"Object required");
    return invoke(*object, id, DISPATCH_PROPERTYGET).toText();
}

[[noreturn]] void raiseExchangeFailure(const http::Error& e, const std::u16string& url) {
    const std::u16string detail = text::fromUtf8(e.what());
    switch (e.failure()) {
        case http::Failure::BadUrl:
            raise(E_INVALIDARG, u"The URL is not valid: " + url + u" (" + detail + u")");
        case http::Failure::TimedOut:
            raise(INET_E_CONNECTION_TIMEOUT, u"The operation timed out. (" + detail + u")");
        case http::Failure::TooLarge:
            raise(E_OUTOFMEMORY, u"The reply is too large to be held. (" + detail + u")");
        default:
            raise(INET_E_RESOURCE_NOT_FOUND,
                  u"The system cannot locate the resource specified. (" + detail + u")");
    }
}

}  // namespace

// cHTTP

cHTTP::cHTTP() : pairs_(newObject<cNVPairs>()), multiPairs_(newObject<CMPairs>()) {}

void cHTTP::setTargetUrl(std::u16string_view value) {
    url_ = targetAddress(value);
}

std::u16string cHTTP::body() const {
    std::u16string body;
    for (const Variant& pair : pairs_->list().items()) {
        body += u'&';
        body += textMember(pair, DISPID_PAIR_NAME);
        body += u'=';
        body += textMember(pair, DISPID_PAIR_ENCODED);
    }
    for (const Variant& field : multiPairs_->list().items()) {
        body += u'&';
        body += textMember(field, DISPID_PAIR_VALUE);
    }
    if (!body.empty()) body.erase(0, 1);
    return body;
}

std::u16string cHTTP::post() const {
    http::Request request;
    request.method = "POST";
    request.url = text::toUtf8(url_);
    request.headers = {{"Content-type", "application/x-www-form-urlencoded"},
                       {"pragma", "no-cache"}};
    request.body = text::toAnsi(body());
    // The reply is read whole up to the client's limits (platform::http); its status is not
    // looked at.
    try {
        return text::fromAnsi(http::send(request).body);
    } catch (const http::Error& e) {
        raiseExchangeFailure(e, url_);
    }
}

std::u16string cHTTP::postForScript() const {
    return extractScriptPieces(post());
}

const Members<cHTTP>& cHTTP::members() {
    static const Members<cHTTP> m =
        Members<cHTTP>(u"_cHTTP", IID_cHTTP)
            .get(0x68030002, u"Pairs", VT_DISPATCH,
                 [](cHTTP& self, Call& c) {
                     c.result = Variant(std::shared_ptr<Dispatch>(self.pairs()));
                 })
            .get(0x68030001, u"MultiParis", VT_DISPATCH,
                 [](cHTTP& self, Call& c) {
                     c.result = Variant(std::shared_ptr<Dispatch>(self.multiPairs()));
                 })
            .put(0x68030000, u"TargetURL", VT_BSTR,
                 [](cHTTP& self, Call& c) { self.setTargetUrl(c.text(0)); })
            .get(0x68030000, u"TargetURL", VT_BSTR,
                 [](cHTTP& self, Call& c) { c.result = self.targetUrl(); })
            .method(0x60030003, u"Post", VT_BSTR, {},
                    [](cHTTP& self, Call& c) { c.result = self.post(); })
            .method(0x60030004, u"DazodivedPost", VT_BSTR, {},
                    [](cHTTP& self, Call& c) { c.result = self.postForScript(); });
    return m;
}

// Action

Action::Action() {
    init();
}

void Action::init() {
    http_ = newObject<cHTTP>();
}

void Action::setHttp(const Variant& value) {
    if (value.isObject() && !value.object()) {
        http_ = nullptr;
        return;
    }
    std::shared_ptr<Unknown> object = value.isObject() ? value.object() : nullptr;
    auto client = query<Dispatch>(object, IID_cHTTP);
    if (!client) throw text::Error(13, u"Type mismatch");
    http_ = std::move(client);
}

const Members<Action>& Action::members() {
    static const Members<Action> m =
        Members<Action>(u"_Action", IID_Action)
            .get(0x40030000, u"HTTP", VT_DISPATCH,
                 [](Action& self, Call& c) { c.result = Variant(self.http()); })
            .putRef(0x40030000, u"HTTP", [](Action& self, Call& c) { self.setHttp(c.arg(0)); })
            .method(0x60030000, u"RunApp", VT_EMPTY, {{u"fs", VT_BSTR}}, [](Action&, Call&) {})
            .method(0x60030001, u"Init", VT_EMPTY, {}, [](Action& self, Call&) { self.init(); });
    return m;
}

}  // namespace postwick
