// A GridDevice over one of our device contexts: PrintGrid's bands land on the context's bitmap,
// black and white. The printable size is the bitmap's unless given. A printing module backs a
// GridDevice the same way over its page raster.
#pragma once

#include "gridcode/gridmark.h"
#include "platform/gdi/gdi.h"

namespace gridcode {

// dc must outlive the device.
GridDevice deviceOver(platform::gdi::Dc& dc, int printableWidth = -1, int printableHeight = -1);

}  // namespace gridcode
