#include "ciphers/failure.h"

#include "platform/com/error.h"
#include "platform/text/text.h"

namespace ciphra {

namespace text = platform::text;

void fail(int number, std::u16string description) {
    throw text::Error(number, std::move(description));
}

std::u16string currentDescription() {
    try {
        throw;
    } catch (const text::Error& e) {
        return e.description();
    } catch (const platform::com::ComError& e) {
        return e.description().empty() ? platform::com::describe(e.hr()) : e.description();
    } catch (const std::bad_alloc&) {
        return u"Out of memory";
    } catch (const std::exception& e) {
        return text::fromUtf8(e.what());
    } catch (...) {
        return u"Unexpected error";
    }
}

}  // namespace ciphra
