// Cell seeding: numbered cells grown from the pixel classes.
#pragma once

#include "run/buffers.h"

// Stage [42]: reads classMap and sortedPixels; writes the label map (classMap
// storage), regionTable, currentCells records 1..nextCellNumber-1 and
// nextCellNumber; cellMap storage is the seed scratch.
void buildCells(const RunSettings& settings, FrameBuffers& buffers);
