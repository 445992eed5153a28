#include "viewer/forms/property_bag.h"

#include "strings/strings.h"

namespace vistrel::forms {

void PropertyBag::write(const std::u16string& key, Value value) {
    if (!has(key)) order_.push_back(key);
    values_[key] = std::move(value);
}

std::optional<short> languageNumber(int id) {
    const auto s = findString(id, currentLanguage());
    if (!s) return std::nullopt;
    try {
        return static_cast<short>(std::stoi(std::string(s->begin(), s->end())));
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace vistrel::forms
