#include "viewer/state/module_state.h"

namespace vistrel {

namespace {
thread_local ModuleState state;
}

ModuleState& moduleState() {
    return state;
}

void resetModuleState() {
    state = ModuleState{};
}

PrintSettings& printSettings() {
    return state.print;
}

ViewerState& viewerState() {
    return state.viewer;
}

void resetPrintSettings() {
    state.print = PrintSettings{};
}

}  // namespace vistrel
