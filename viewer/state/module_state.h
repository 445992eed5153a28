// The control library's module-level data: one set per thread (apartment), shared by every
// object of the library on that thread and kept for the thread's life. Each subsystem keeps its
// part in its own header; resetModuleState puts everything back to its start values (tests).
#pragma once

#include "viewer/state/print_settings.h"
#include "viewer/state/selection_lists.h"
#include "viewer/state/viewer_state.h"

namespace vistrel {

struct ModuleState {
    PrintSettings print;   // parameter settings read by the printer selection and print road
    SelectionLists lists;  // ports, virtual printers and printer names the probes gather
    ViewerState viewer;    // the viewer control's own settings and page list
};

// This thread's module data.
ModuleState& moduleState();
void resetModuleState();

}  // namespace vistrel
