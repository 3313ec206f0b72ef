// Blob flooding: every cell flooded into blobs, from its highest values down
// (nucleus sources) or from its lowest values up (vacuole sources).
#pragma once

#include "run/buffers.h"

enum class FloodDirection { Forward, Backward };

// Stages [20] (forward) and [30] (backward): write blobMap, the blob records
// 1..blobCount, candidatePixels, candidateCount and edgeMap.
void floodBlobs(const RunSettings& settings, FrameBuffers& buffers, FloodDirection direction);
