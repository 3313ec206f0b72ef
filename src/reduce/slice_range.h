// Slice range search: the contiguous range of slices whose normalised
// through-focus slope agrees most smoothly with the reference slice.
#pragma once

#include <cstdint>

#include "run/buffers.h"

// Least-squares slope of grey value against slice index over first..last for
// every pixel, stored in deltaMap; returns the largest absolute slope (0 when
// the range holds fewer than two slices, which leaves every slope 0.0).
double slopeMap(FrameBuffers& buffers, int32_t first, int32_t last);

// Stage [11]: reads sliceStack and referenceSlice; narrows rangeFirst and
// rangeLast (which enter as the whole stack) to the best candidate, or leaves
// them when the trim limit is 0 or below, the reference slice is uniform or
// every candidate is flat. deltaMap is scratch.
void searchSliceRange(const RunSettings& settings, FrameBuffers& buffers);
