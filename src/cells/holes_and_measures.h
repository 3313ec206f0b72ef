// Hole filling, protrusion removal, the final cell map, track ids and the
// measurement of every cell.
#pragma once

#include "run/buffers.h"

// Second half of stage [43]. Needs the relabelled label map of
// mergeFragments, sortedPixels, deltaMap, the partners left by the final
// links and previousCells (trackId only). Fills background holes that border
// a single cell, strips one-pixel-wide protrusions, and writes cellMap (cell
// number, -1 elsewhere), cellPixels (each cell's pixels in descending delta
// order), cellPixelTotal, nextTrackId and, for cells 1..nextCellNumber-1,
// trackId, box, delta range, pixelStart, area, perimeter, excluded and zeroed
// analysis fields. The label map ends holding the same values as cellMap.
void completeCells(const RunSettings& settings, FrameBuffers& buffers);
