// The platform's keyed collection and the variant enumerator that walks it.
//
// Items keep their insertion order and are reached by a 1-based position or by the key they
// were added under; keys are compared without regard to case. Failures are the automation
// runtime's errors (platform::text::Error with its number), so they reach a host unchanged:
//   - adding under a key that is already present: 457, and the collection is unchanged;
//   - a position outside 1..count or a key that is not present: 5;
//   - an index that is neither a number nor a text: 13.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/hresult.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

namespace platform::com {

// IEnumVARIANT: hands out the items of a collection in order.
class EnumVariant : public virtual Unknown {
  public:
    static constexpr const Guid& iid() { return IID_IEnumVARIANT; }
    // Appends up to `count` items to `out`; S_FALSE when fewer were left.
    virtual HRESULT Next(std::uint32_t count, std::vector<Variant>& out) = 0;
    // Passes over up to `count` items; S_FALSE when fewer were left.
    virtual HRESULT Skip(std::uint32_t count) = 0;
    virtual HRESULT Reset() = 0;
    // A second enumerator over the same items, at the same place.
    virtual HRESULT Clone(std::shared_ptr<EnumVariant>& out) = 0;
};

// An enumerator over a fixed list of items.
class VariantEnumerator : public Implements<EnumVariant> {
  public:
    explicit VariantEnumerator(std::shared_ptr<const std::vector<Variant>> items,
                               std::size_t position = 0)
        : items_(std::move(items)), position_(position) {}
    HRESULT Next(std::uint32_t count, std::vector<Variant>& out) override;
    HRESULT Skip(std::uint32_t count) override;
    HRESULT Reset() override;
    HRESULT Clone(std::shared_ptr<EnumVariant>& out) override;

  private:
    std::shared_ptr<const std::vector<Variant>> items_;
    std::size_t position_;
};

class Collection {
  public:
    std::int32_t count() const { return static_cast<std::int32_t>(entries_.size()); }

    // Appends an item, under a key when one is given.
    void add(Variant item, std::optional<std::u16string> key = std::nullopt);
    // The item at a position (a number) or under a key (a text).
    const Variant& item(const Variant& index) const;
    void remove(const Variant& index);
    // An enumerator over the items as they are now.
    std::shared_ptr<EnumVariant> enumerate() const;

    // The items in order, for the collection's owner.
    std::vector<Variant> items() const;

  private:
    struct Entry {
        Variant item;
        std::optional<std::u16string> key;
    };
    std::size_t find(const Variant& index) const;
    std::vector<Entry> entries_;
};

}  // namespace platform::com
