// Through-focus slope: the least-squares slope of a pixel's grey value
// against the slice index. Both the slice range search and the delta map
// build on it.
#pragma once

#include <cstdint>

#include "frame/frame_buffers.h"

namespace focustrack {

// Least-squares slope of grey value against slice index over first..last for
// every pixel, stored in deltaMap; returns the largest absolute slope (0 when
// the range holds fewer than two slices, which leaves every slope 0.0).
double slopeMap(FrameBuffers& buffers, int32_t first, int32_t last);

// A range of at least two slices with its mean slice and its spread (the sum
// of squared offsets from the mean slice, in slice order).
struct SlopeRange {
  int32_t first;
  int32_t last;
  double meanSlice;
  double spread;
};
SlopeRange slopeRange(int32_t first, int32_t last);

// The slopes over `range` of pixels begin..begin + count - 1 into slopes[0 ..
// count - 1], each the very value slopeMap gives that pixel; answers their
// largest magnitude.
double slopesOf(const FrameBuffers& buffers, const SlopeRange& range, size_t begin, size_t count,
                double* slopes);

}  // namespace focustrack
