// Helpers shared by the library's in-process tests.
#pragma once

#include "platform/com/error.h"

namespace postwick::test_support {

// The status a host sees when the call fails, S_OK when it does not.
template <class Body>
platform::com::HRESULT statusOf(Body&& body) {
    try {
        body();
        return platform::com::S_OK;
    } catch (const platform::com::ComError& e) {
        return e.hr();
    }
}

}  // namespace postwick::test_support
