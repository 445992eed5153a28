// Test support: the status a late-bound call fails with, as a host sees it.
#pragma once

#include "platform/com/error.h"

namespace platform::testing {

// The status of the ComError the body throws, S_OK when it throws none.
template <class Body>
platform::com::HRESULT statusOf(Body&& body) {
    try {
        body();
        return platform::com::S_OK;
    } catch (const platform::com::ComError& e) {
        return e.hr();
    }
}

}  // namespace platform::testing
