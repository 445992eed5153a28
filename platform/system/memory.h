// The process's heap: handing memory the program has freed back to the system.
#pragma once

#include <cstddef>

namespace platform::system {

// The bytes of freed memory the heap holds for later allocations (0 where it cannot be told).
std::size_t freeHeapBytes();

// Blocks up to `largest` bytes come from the heap and go back to it when freed (instead of being
// mapped afresh each time), and the heap's free end is kept up to `held` bytes, so a program
// that takes and frees large buffers again and again reuses pages it already has. Every thread
// allocates from the one heap, so releaseFreeMemory reaches all freed memory.
void keepFreedMemory(std::size_t largest, std::size_t held);

// Gives the pages of freed heap memory back to the system once the heap holds more than
// `reserve` bytes of them, so a program that just dropped a large amount of data shrinks at once,
// while one that frees and takes again about the same amount keeps reusing its own pages instead
// of faulting fresh ones in each time. True when the memory was given back.
bool releaseFreeMemory(std::size_t reserve = 0);

}  // namespace platform::system
