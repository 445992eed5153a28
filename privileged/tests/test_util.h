// Shared by the library's tests: a UAC object called by dispatch identifier, as the broker
// calls it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/com/dispatch.h"
#include "privileged/uac.h"

namespace kestrum::testing {

struct Outcome {
    platform::com::HRESULT status = 0;  // the member's own status (the exception's scode)
    platform::com::Variant result;
    std::u16string description;  // the exception's description, when the member failed
};

inline Outcome callUac(platform::com::DispId id, std::vector<platform::com::Variant> args = {}) {
    auto uac = std::make_shared<UAC>();
    platform::com::Variant result;
    platform::com::ExcepInfo excep;
    platform::com::HRESULT h =
        uac->Invoke(id, platform::com::DISPATCH_METHOD, args, &result, &excep);
    if (h == platform::com::DISP_E_EXCEPTION) h = excep.scode;
    return {h, result, excep.description};
}

}  // namespace kestrum::testing
