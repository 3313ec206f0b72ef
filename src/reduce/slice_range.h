// Slice range search: the contiguous range of slices whose normalised
// through-focus slope agrees most smoothly with the reference slice.
#pragma once

#include <cstdint>

#include "frame/frame_buffers.h"

namespace focustrack {

// Replaces every slope of `map` (row length `width`) by its mismatch against
// the reference slice, (a - p)^2 with a = (g - gMin) / (gMax - gMin) and
// p = (1 - slope / steepest) x 0.5, and answers the neighbour energy of the
// mismatch map, summed exactly as the energy of a double map is. Needs
// gMax > gMin and steepest > 0.
double mismatchEnergy(const uint8_t* reference, double gMin, double gMax, double steepest,
                      double* map, int32_t width, int32_t pixelCount);
double mismatchEnergy(const uint16_t* reference, double gMin, double gMax, double steepest,
                      double* map, int32_t width, int32_t pixelCount);

}  // namespace focustrack
