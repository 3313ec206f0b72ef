// Pixel order: all pixels sorted by their delta value.
#pragma once

#include "run/buffers.h"

// Stage [40]: reads deltaMap, writes sortedPixels (ascending delta; equal
// values in the order the index sort leaves them).
void sortPixels(const RunSettings& settings, FrameBuffers& buffers);
