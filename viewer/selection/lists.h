// What the print-selection probes gather for the admissibility checks: one set per thread.
#pragma once

namespace vistrel {

struct SelectionLists {};

}  // namespace vistrel
