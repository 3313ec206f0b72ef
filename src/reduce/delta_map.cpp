#include "reduce/reduce.h"

#include <cstddef>

#include "reduce/slope_map.h"

namespace focustrack {

void computeDeltaMap(const RunSettings&, FrameBuffers& buffers) {
  const size_t n = static_cast<size_t>(buffers.pixelCount);
  double* delta = buffers.deltaMap.data();
  // Fewer than two slices give no slope at all; slopeMap then answers 0.
  const double steepest = slopeMap(buffers, buffers.rangeFirst, buffers.rangeLast);
  if (steepest == 0.0) {
    // A frame without any through-focus change: a flat map grows no cores.
    for (size_t i = 0; i < n; ++i) delta[i] = 0.0;
    return;
  }
  for (size_t i = 0; i < n; ++i) delta[i] = delta[i] / steepest;
}

}  // namespace focustrack
