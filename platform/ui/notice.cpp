#include "platform/ui/notice.h"

#include <cstdio>

#include "platform/text/strings.h"
#include "platform/text/text.h"
#include "platform/ui/service.h"

namespace platform::ui {

namespace {

using Slot = ServiceSlot<Notices, HeadlessNotices>;

}  // namespace

void notice(const std::u16string& text) {
    notices()->notice(text);
}

std::shared_ptr<Notices> notices() {
    return Slot::instance().get();
}

void setNotices(std::shared_ptr<Notices> replacement) {
    Slot::instance().set(std::move(replacement));
}

void HeadlessNotices::notice(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    given_.push_back(text);
    if (log_)
        std::fprintf(stderr, "[notice] %s\n",
                     text::toUtf8(text::showControlCharacters(text)).c_str());
}

std::vector<std::u16string> HeadlessNotices::given() const {
    std::lock_guard lock(mutex_);
    return given_;
}

void HeadlessNotices::clear() {
    std::lock_guard lock(mutex_);
    given_.clear();
}

}  // namespace platform::ui
