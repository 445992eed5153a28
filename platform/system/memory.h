// The process's heap: handing memory the program has freed back to the system.
#pragma once

namespace platform::system {

// Gives the pages of freed heap memory back to the system, so a program that just dropped a
// large amount of data shrinks at once instead of keeping it for later allocations.
void releaseFreeMemory();

}  // namespace platform::system
