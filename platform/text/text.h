// platform::text - the system's text type, code-page conversions and the string, number and
// date functions of the platform runtime. Include this one header to get all of them.
#pragma once

#include "platform/text/codepage.h"
#include "platform/text/coding.h"
#include "platform/text/common.h"
#include "platform/text/datetime.h"
#include "platform/text/numbers.h"
#include "platform/text/strings.h"
