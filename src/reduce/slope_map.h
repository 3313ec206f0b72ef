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

}  // namespace focustrack
