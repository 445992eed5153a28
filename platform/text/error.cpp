#include "platform/text/codepage.h"
#include "platform/text/common.h"

namespace platform::text {

Error::Error(int number, std::u16string description, const std::string& detail)
    : std::runtime_error(detail.empty() ? toUtf8(description) : detail),
      number_(number),
      description_(std::move(description)) {}

}  // namespace platform::text
