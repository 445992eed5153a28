#include "viewer/selection/settings.h"

namespace vistrel {

namespace {
thread_local PrintSettings settings;
}

PrintSettings& printSettings() {
    return settings;
}

void resetPrintSettings() {
    settings = PrintSettings{};
}

}  // namespace vistrel
