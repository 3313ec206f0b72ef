// Cell contents: nucleus, nucleolus and vacuoles, found from blobs.
// A blob is a 4-connected set of pixels of one cell grown from a single seed
// pixel in value order: from the top down it collects a local maximum with
// its slopes (nucleus sources), from the bottom up a basin (vacuole sources).
// The nucleus is a high core (the nucleolus) inside a lower ring; a vacuole is
// a low, nearly circular basin.
#pragma once

#include "run/buffers.h"

enum class FloodDirection {
  Forward,   // stage [20]: highest value first
  Backward,  // stage [30]: lowest value first
};

// Stages [20] (forward) and [30] (backward). Reads cellPixels[0 ..
// cellPixelTotal - 1] (each cell's list in descending deltaMap order),
// cellMap and the excluded flags of currentCells. Writes blobMap, blob records
// 1..blobCount, blobCount, candidatePixels, candidateCount and edgeMap
// (-2 on the edge pixels of analysable cells, -1 elsewhere). At the blob
// capacity no further blob opens and capacityNote is set.
void floodBlobs(const RunSettings& settings, FrameBuffers& buffers, FloodDirection direction);
