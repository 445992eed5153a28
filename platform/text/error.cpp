#include "platform/text/codepage.h"
#include "platform/text/common.h"

namespace platform::text {

Error::Error(int number, std::u16string description, const std::string& detail)
    : std::runtime_error(detail.empty() ? toUtf8(description) : detail),
      number_(number),
      description_(std::move(description)) {}

std::u16string runtimeErrorText(int number) {
    switch (number) {
        case 5:
            return u"Invalid procedure call or argument";
        case 6:
            return u"Overflow";
        case 9:
            return u"Subscript out of range";
        case 13:
            return u"Type mismatch";
        case 53:
            return u"File not found";
        case 62:
            return u"Input past end of file";
        case 70:
            return u"Permission denied";
        case 75:
            return u"Path/File access error";
        case 76:
            return u"Path not found";
        default:
            return u"Application-defined or object-defined error";
    }
}

}  // namespace platform::text
