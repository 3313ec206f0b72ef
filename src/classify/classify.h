// Pixel classification. Every pixel is put in order of its delta value, then
// classed: positive and negative cores grown from the most extreme values
// inward, margins beside them, outside regions touching the border.
#pragma once

#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

// The pixel order: reads deltaMap, writes sortedPixels (ascending delta; equal
// values in the order the index sort leaves them).
void sortPixels(const RunSettings& settings, FrameBuffers& buffers);

// The pixel classes: reads deltaMap and sortedPixels, writes classMap (PixelClass)
// and the core census (coreCensus, with cellMap and floodQueue as scratch).
void classifyPixels(const RunSettings& settings, FrameBuffers& buffers);

}  // namespace focustrack
