// The viewer control's own module values: one set per thread, shared by every viewer of it.
#pragma once

namespace vistrel {

struct ViewerState {};

}  // namespace vistrel
