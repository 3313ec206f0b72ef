// Cell seeding. Words of the cell stages: a seed is a pixel of cell material
// (a positive core or a margin attached to one); a region is a union-find set
// of pixels grown from seeds in descending delta order; a cell is a region of
// at least 200 pixels, numbered 1..999 per frame; the label map (classMap
// storage) holds region numbers while growing and cell numbers at the end.
#pragma once

#include "run/buffers.h"

// Stage [42]. Needs classMap holding the pixel classes and sortedPixels in
// ascending delta order. Writes the label map (classMap storage: cell number
// per pixel, 0 for none), regionTable, regionCount, currentCells records
// 1..nextCellNumber-1 (area 0, trackId = own number, linkCount 0, partner 0)
// and nextCellNumber; cellMap storage is the seed scratch. At 99,999 regions
// or 999 cells it stops opening more and sets capacityNote.
void buildCells(const RunSettings& settings, FrameBuffers& buffers);
