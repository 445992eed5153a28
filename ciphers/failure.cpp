#include "ciphers/failure.h"

#include "ciphers/dbcodec.h"
#include "platform/com/error.h"
#include "platform/text/text.h"

namespace ciphra {

namespace text = platform::text;

Failure::Failure(std::u16string description)
    : std::runtime_error(text::toUtf8(description)), description_(std::move(description)) {}

std::u16string currentDescription() {
    try {
        throw;
    } catch (const Failure& f) {
        return f.description();
    } catch (const CodecError& e) {
        return e.description();
    } catch (const platform::com::ComError& e) {
        return e.description().empty() ? platform::com::describe(e.hr()) : e.description();
    } catch (const text::Error& e) {
        switch (e.number()) {
            case 5:
                return u"Invalid procedure call or argument";
            case 6:
                return u"Overflow";
            case 9:
                return u"Subscript out of range";
            case 13:
                return u"Type mismatch";
            default:
                return text::fromUtf8(e.what());
        }
    } catch (const std::bad_alloc&) {
        return u"Out of memory";
    } catch (const std::exception& e) {
        return text::fromUtf8(e.what());
    } catch (...) {
        return u"Unexpected error";
    }
}

}  // namespace ciphra
