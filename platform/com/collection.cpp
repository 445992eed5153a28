#include "platform/com/collection.h"

#include <cmath>

#include "platform/text/text.h"

namespace platform::com {

HRESULT VariantEnumerator::Next(std::uint32_t count, std::vector<Variant>& out) {
    std::uint32_t given = 0;
    for (; given < count && position_ < items_->size(); ++given)
        out.push_back((*items_)[position_++]);
    return given == count ? S_OK : S_FALSE;
}

HRESULT VariantEnumerator::Skip(std::uint32_t count) {
    const std::size_t left = items_->size() - position_;
    if (count > left) {
        position_ = items_->size();
        return S_FALSE;
    }
    position_ += count;
    return S_OK;
}

HRESULT VariantEnumerator::Reset() {
    position_ = 0;
    return S_OK;
}

HRESULT VariantEnumerator::Clone(std::shared_ptr<EnumVariant>& out) {
    out = std::make_shared<VariantEnumerator>(items_, position_);
    return S_OK;
}

namespace {

[[noreturn]] void invalidArgument() {
    throw text::Error(5, u"Invalid procedure call or argument");
}

bool isNumber(VarType type) {
    switch (type) {
        case VT_I2:
        case VT_I4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BOOL:
        case VT_UI1:
            return true;
        default:
            return false;
    }
}

}  // namespace

void Collection::add(Variant item, std::optional<std::u16string> key) {
    if (key) {
        for (const auto& e : entries_)
            if (e.key && text::equalsNoCase(*e.key, *key))
                throw text::Error(457,
                                  u"This key is already associated with an element of this "
                                  u"collection");
    }
    entries_.push_back({std::move(item), std::move(key)});
}

std::size_t Collection::find(const Variant& index) const {
    if (index.isText()) {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].key && text::equalsNoCase(*entries_[i].key, index.text())) return i;
        invalidArgument();
    }
    if (!isNumber(index.type())) throw text::Error(13, u"Type mismatch");
    // A fractional position rounds half to even, as every conversion to a whole number does.
    const double position = std::nearbyint(index.toR8());
    if (!(position >= 1 && position <= static_cast<double>(entries_.size()))) invalidArgument();
    return static_cast<std::size_t>(position) - 1;
}

const Variant& Collection::item(const Variant& index) const {
    return entries_[find(index)].item;
}

void Collection::remove(const Variant& index) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(find(index)));
}

std::vector<Variant> Collection::items() const {
    std::vector<Variant> out;
    out.reserve(entries_.size());
    for (const auto& e : entries_) out.push_back(e.item);
    return out;
}

std::shared_ptr<EnumVariant> Collection::enumerate() const {
    return std::make_shared<VariantEnumerator>(
        std::make_shared<const std::vector<Variant>>(items()));
}

}  // namespace platform::com
