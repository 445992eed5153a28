// Helpers shared by the library's in-process tests.
#pragma once

#include "platform/testing/com_status.h"

namespace postwick::test_support {

using platform::testing::statusOf;

}  // namespace postwick::test_support
