// Slice range search: the contiguous range of slices whose normalised
// through-focus slope agrees most smoothly with the reference slice.
#pragma once

#include <cstdint>

#include "run/buffers.h"

// Least-squares slope of grey value against slice index over first..last for
// every pixel, stored in deltaMap; returns the largest absolute slope (0 when
// the range holds fewer than two slices, which leaves every slope 0.0).
double slopeMap(FrameBuffers& buffers, int32_t first, int32_t last);

// Replaces every slope of `map` (row length `width`) by its mismatch against
// the reference slice, (a - p)^2 with a = (g - gMin) / (gMax - gMin) and
// p = (1 - slope / steepest) x 0.5, and answers the neighbour energy of the
// mismatch map, summed exactly as the energy of a double map is. Needs
// gMax > gMin and steepest > 0.
double mismatchEnergy(const uint8_t* reference, double gMin, double gMax, double steepest,
                      double* map, int32_t width, int32_t pixelCount);

// Stage [11]: reads sliceStack and referenceSlice; narrows rangeFirst and
// rangeLast (which enter as the whole stack) to the best candidate, or leaves
// them when the trim limit is 0 or below, the reference slice is uniform or
// every candidate is flat. deltaMap is scratch.
void searchSliceRange(const RunSettings& settings, FrameBuffers& buffers);
