// Slice range search: the contiguous range of slices whose normalised
// through-focus slope agrees most smoothly with the reference slice.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

// A candidate range and the neighbour energy of its mismatch map: per pixel
// (a - p)^2 with a = (g - gMin) / (gMax - gMin) from the reference slice and
// p = (1 - slope / steepest) x 0.5.
struct RangeEnergy {
  int32_t first;
  int32_t last;
  double energy;
};

// Every candidate range with a slope, in the order the search tries them:
// fewer slices dropped at the start first, then fewer at the end. Empty when
// the trim limit is 0 or less or the reference slice is uniform.
std::vector<RangeEnergy> sliceRangeEnergies(const RunSettings& settings, FrameBuffers& buffers);

// The estimates the search starts from, for the same candidates: an energy
// worked out from each pixel's exact slope numerator, and the most the
// energy above can differ from it. Candidates out of reach of the lowest
// estimate cannot win and are not worked out exactly. Empty where nothing is
// estimated: 16-bit stacks of more than 104 slices, whose numerators can
// leave 32 bits.
struct RangeEstimate {
  int32_t first;
  int32_t last;
  double energy;
  double reach;
};
std::vector<RangeEstimate> sliceRangeEstimates(const RunSettings& settings, FrameBuffers& buffers);

}  // namespace focustrack
