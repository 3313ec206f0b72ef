// Slice range search: the contiguous range of slices whose normalised
// through-focus slope agrees most smoothly with the reference slice.
#pragma once

#include <cstdint>

#include "run/buffers.h"

// Least-squares slope of grey value against slice index over first..last for
// every pixel, stored in deltaMap; returns the largest absolute slope.
double slopeMap(FrameBuffers& buffers, int32_t first, int32_t last);

// Stage [11]: writes rangeFirst and rangeLast; deltaMap is scratch.
void searchSliceRange(const RunSettings& settings, FrameBuffers& buffers);
