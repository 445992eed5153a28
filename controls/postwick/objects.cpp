#include "controls/postwick/objects.h"

namespace postwick {

namespace {
Tracker currentTracker = nullptr;
}

void setTracker(Tracker tracker) {
    currentTracker = tracker;
}

std::shared_ptr<platform::com::Unknown> tracked(std::shared_ptr<platform::com::Unknown> object) {
    return currentTracker ? currentTracker(std::move(object)) : object;
}

}  // namespace postwick
