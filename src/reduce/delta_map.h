// Delta map: every pixel's through-focus slope over the chosen range divided by
// the steepest slope of the frame, in -1..1.
#pragma once

#include "run/buffers.h"

// Stage [12]: reads sliceStack and the range, writes deltaMap. When nothing
// changes through focus (largest slope 0) or the range holds fewer than two
// slices, every value is 0.0.
void computeDeltaMap(const RunSettings& settings, FrameBuffers& buffers);
