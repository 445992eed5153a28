// Randomness of the library: uniform draws in [0, 1) from the operating system's CSPRNG
// (the system's random bytes). Nothing here is seeded from the clock.
//
// Tests replace the source for the current thread with setUniformSource() to make key
// generation, session keys and RSA key pairs repeatable; nullptr restores the CSPRNG.
#pragma once

#include <functional>

namespace ciphra {

// A uniform double in [0, 1) with 53 random bits.
double uniform();

using UniformSource = std::function<double()>;
void setUniformSource(UniformSource source);

}  // namespace ciphra
