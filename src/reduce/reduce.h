// Stack reduction: a frame's z-stack becomes one map of how strongly each
// pixel changes through focus. Words: the through-focus slope of a pixel is
// the least-squares slope of its grey value against the slice index; the
// reference slice is the slice with the most fine detail; the slice range is
// the contiguous run of slices whose slopes agree best with it; the delta map
// holds every slope divided by the steepest one of the frame, in -1..1.
// The three stages run in the order declared here.
#pragma once

#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

// The reference slice: the slice of highest neighbour-difference energy (sum
// of squared differences between each pixel and its left and upper
// neighbours), the lowest index winning ties. Reads sliceStack and the slice
// range; writes referenceSlice (0 when every slice is uniform).
void selectReferenceSlice(const RunSettings& settings, FrameBuffers& buffers);

// The slice range search. Reads sliceStack and referenceSlice; narrows
// rangeFirst and rangeLast (which enter as the whole stack) to the best
// candidate, or leaves them when the trim limit is 0 or below, the reference
// slice is uniform or every candidate is flat. deltaMap is scratch.
void searchSliceRange(const RunSettings& settings, FrameBuffers& buffers);

// The delta map. Reads sliceStack and the range, writes deltaMap. When
// nothing changes through focus (largest slope 0) or the range holds fewer
// than two slices, every value is 0.0.
void computeDeltaMap(const RunSettings& settings, FrameBuffers& buffers);

}  // namespace focustrack
