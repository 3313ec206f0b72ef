// The core census of a frame: the shape of its positive and negative cores,
// from which the frame loop judges whether the slices came in reverse focus
// order. In the right order a cell's interior is a positive core, often
// ringed by a negative one (the halo); taken the other way round the roles
// swap, and negative cores of cell size outnumber the positive ones.
#pragma once

#include "frame/frame_buffers.h"

namespace focustrack {

// Enclosed core regions of at least this many pixels count as cell sized
// (the smallest region that becomes a cell) ...
constexpr int32_t kCellSizedCore = 200;
// ... and of at least this many as nested when one core surrounds them.
constexpr int32_t kNestedCore = 100;

// Reads classMap (after the classification); writes buffers.coreCensus.
// cellMap, which cell building overwrites next, holds region labels
// meanwhile.
void takeCoreCensus(FrameBuffers& buffers);

}  // namespace focustrack
