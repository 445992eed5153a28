// The form's fields: a name/value pair (cNVPair), the list of single-value fields (cNVPairs)
// and the list of fields with several values (CMPairs). Both lists are keyed collections of
// pairs (1-based, keys without regard to case); their failures reach hosts as the runtime's
// numbered errors (457 duplicate key, 5 bad index, 9 no value to split).
#pragma once

#include <memory>
#include <string>

#include "platform/com/collection.h"
#include "platform/com/dispatch.h"
#include "platform/com/safety.h"

namespace postwick {

namespace com = platform::com;

class cNVPair : public com::DispatchImpl<cNVPair> {
  public:
    static const com::Members<cNVPair>& members();

    // The stored name, or "Unknown" when it is empty.
    std::u16string name() const;
    // Keeps the part of the text before its first space.
    void setName(std::u16string_view name);
    const std::u16string& value() const { return value_; }
    void setValue(std::u16string value) { value_ = std::move(value); }
    std::u16string encodedValue() const;

  private:
    std::u16string name_;
    std::u16string value_;
};

class cNVPairs : public com::DispatchImpl<cNVPairs> {
  public:
    static const com::Members<cNVPairs>& members();

    // A new pair with the name (cut at its first space) and the value, added under the name
    // it reads back; returns it.
    std::shared_ptr<cNVPair> add(std::u16string_view name, std::u16string value);
    const com::Collection& list() const { return list_; }
    com::Collection& list() { return list_; }

  private:
    com::Collection list_;
};

class CMPairs : public com::DispatchImpl<CMPairs> {
  public:
    static const com::Members<CMPairs>& members();

    // Splits the value at the delimiter and adds a pair whose value is the whole field as the
    // form carries it: "name=piece" for every piece, pieces coded, joined by "&".
    std::shared_ptr<cNVPair> add(std::u16string_view name, std::u16string_view value);
    void setDelimiter(std::u16string delimiter) { delimiter_ = std::move(delimiter); }
    const com::Collection& list() const { return list_; }

  private:
    com::Collection list_;
    std::u16string delimiter_ = u"&";
};

}  // namespace postwick
