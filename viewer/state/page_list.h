// A run's page list as the host gave it, kept at one byte a character when every character fits
// in one (hexadecimal and Base64 page texts always do), else as given: a document's list is by
// far the largest thing the viewer keeps.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

namespace vistrel {

class PageListText {
  public:
    explicit PageListText(std::u16string text) {
        for (char16_t c : text)
            if (c > 0xFF) {
                text_ = std::move(text);
                return;
            }
        std::string narrow(text.size(), '\0');
        for (std::size_t i = 0; i < text.size(); ++i) narrow[i] = static_cast<char>(text[i]);
        text_ = std::move(narrow);
    }

    bool narrow() const { return std::holds_alternative<std::string>(text_); }
    std::size_t size() const {
        return narrow() ? std::get<std::string>(text_).size()
                        : std::get<std::u16string>(text_).size();
    }
    bool empty() const { return size() == 0; }
    // Characters [start, start + count) as text.
    std::u16string text(std::size_t start = 0, std::size_t count = std::u16string::npos) const {
        if (!narrow()) return std::get<std::u16string>(text_).substr(start, count);
        const std::string_view all = std::get<std::string>(text_);
        const std::string_view part = all.substr(start, count);
        std::u16string out(part.size(), u'\0');
        for (std::size_t i = 0; i < part.size(); ++i)
            out[i] = static_cast<char16_t>(static_cast<unsigned char>(part[i]));
        return out;
    }
    // The whole list in its kept form: one of the two is empty unless the list is.
    std::string_view narrowText() const {
        return narrow() ? std::string_view(std::get<std::string>(text_)) : std::string_view();
    }
    std::u16string_view wideText() const {
        return narrow() ? std::u16string_view()
                        : std::u16string_view(std::get<std::u16string>(text_));
    }

  private:
    std::variant<std::string, std::u16string> text_;
};

}  // namespace vistrel
