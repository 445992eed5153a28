// The viewer window's widgets on Qt: a thin view that shows what the window's logic tells it and
// hands the user's input back to it.
#pragma once

#include <memory>

#include "viewer/control/window.h"

namespace vistrel {

// The view, or nullptr when the process has no QApplication.
std::unique_ptr<WindowView> makeQtWindowView();

}  // namespace vistrel
