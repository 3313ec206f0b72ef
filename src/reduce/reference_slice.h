// Reference slice: the slice of the frame with the most fine detail, measured
// by the neighbour-difference energy (sum of squared differences between each
// pixel and its left and upper neighbours).
#pragma once

#include <cstdint>

#include "frame/frame_buffers.h"

namespace focustrack {

// Energy of 8-bit or 16-bit values, summed exactly in 64-bit integers.
int64_t neighbourEnergy(const uint8_t* values, int32_t width, int32_t pixelCount);
int64_t neighbourEnergy(const uint16_t* values, int32_t width, int32_t pixelCount);
// Energy of doubles, summed in pixel order, horizontal term before vertical.
double neighbourEnergy(const double* values, int32_t width, int32_t pixelCount);

}  // namespace focustrack
