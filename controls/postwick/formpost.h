// The form-post client (cHTTP) and the control that carries one (Action).
#pragma once

#include <memory>
#include <string>

#include "controls/postwick/pairs.h"
#include "platform/com/dispatch.h"
#include "platform/com/safety.h"

namespace postwick {

namespace com = platform::com;

// Holds the form (its pairs and multi-value fields) and the target address, and posts the
// form: one synchronous POST of the URL-coded body, the reply's bytes read as text in the
// system ANSI code page whatever the reply's status.
class cHTTP : public com::DispatchImpl<cHTTP, com::ObjectSafety>, public com::DeclaredSafetyImpl {
  public:
    cHTTP();
    static const com::Members<cHTTP>& members();

    const std::shared_ptr<cNVPairs>& pairs() const { return pairs_; }
    const std::shared_ptr<CMPairs>& multiPairs() const { return multiPairs_; }
    const std::u16string& targetUrl() const { return url_; }
    void setTargetUrl(std::u16string_view value);

    // "&name=coded value" for every pair, then "&" and every multi-value field as it is
    // stored, without the first "&". Names go unchanged.
    std::u16string body() const;
    // Posts the form and returns the reply as text. Throws on failure.
    std::u16string post() const;
    // Posts the form and returns the reply's script pieces (see extractScriptPieces).
    std::u16string postForScript() const;

  private:
    std::shared_ptr<cNVPairs> pairs_;
    std::shared_ptr<CMPairs> multiPairs_;
    std::u16string url_;
};

// The control: nothing is drawn; it holds one cHTTP, which a host reads and replaces.
class Action : public com::DispatchImpl<Action, com::ObjectSafety>, public com::DeclaredSafetyImpl {
  public:
    Action();
    static const com::Members<Action>& members();

    // The current client; nullptr after a host set it to Nothing.
    const std::shared_ptr<com::Dispatch>& http() const { return http_; }
    // Takes any object with the client's interface, or Nothing; anything else is a type
    // mismatch.
    void setHttp(const com::Variant& value);
    // A fresh client with an empty form and no target.
    void init();

  private:
    std::shared_ptr<com::Dispatch> http_;
};

}  // namespace postwick
