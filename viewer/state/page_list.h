// A run's page list as the host gave it, kept packed (see platform/text/packed.h): the pages'
// Base64 as the bytes it stands for, the rest one byte a character where it fits in one. A
// document's list is by far the largest thing the viewer keeps, and a host that keeps the same
// list shares this copy.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text/packed.h"

namespace vistrel {

class PageListText {
  public:
    explicit PageListText(std::u16string_view text)
        : text_(platform::text::PackedText::share(text)) {}
    explicit PageListText(std::shared_ptr<const platform::text::PackedText> text)
        : text_(std::move(text)) {}

    std::size_t size() const { return text_->size(); }
    bool empty() const { return text_->empty(); }
    // Characters [start, start + count) as text.
    std::u16string text(std::size_t start = 0, std::size_t count = std::u16string::npos) const {
        return text_->text(start, count);
    }
    // The place of the first `c` (a comma, say) at or after `from`; npos when none.
    std::size_t find(char16_t c, std::size_t from = 0) const { return text_->find(c, from); }
    const platform::text::PackedText& packed() const { return *text_; }

  private:
    std::shared_ptr<const platform::text::PackedText> text_;
};

}  // namespace vistrel
