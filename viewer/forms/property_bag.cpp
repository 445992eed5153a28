#include "viewer/forms/property_bag.h"

namespace vistrel::forms {

void PropertyBag::write(const std::u16string& key, Value value) {
    if (!has(key)) order_.push_back(key);
    values_[key] = std::move(value);
}

}  // namespace vistrel::forms
