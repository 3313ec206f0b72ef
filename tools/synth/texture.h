// Smooth random texture for synthetic pictures: value noise on a square
// lattice, hashed from a seed so that any point can be evaluated on its own.
#pragma once

#include <cstdint>

namespace focustrack {

// Value noise in [-1, 1] at (x, y): random values on lattice points `spacing`
// pixels apart, blended with smoothstep weights.
double valueNoise(uint64_t seed, double x, double y, double spacing);

}  // namespace focustrack
