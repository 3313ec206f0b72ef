// Hole filling, protrusion removal, the final cell map, track ids and the
// measurement of every cell.
#pragma once

#include "run/buffers.h"

// Second half of stage [43]: writes cellMap, cellPixels, cellPixelTotal,
// nextTrackId and the measured fields of cells 1..nextCellNumber-1.
void completeCells(const RunSettings& settings, FrameBuffers& buffers);
