// Per-cell rescaling of the delta values to 0..1 and the cell's elongation:
// the cell's width across 60 directions 3 degrees apart, measured from the
// line through its box centre, and the ratio of the largest to the smallest.
#pragma once

#include "run/buffers.h"

// Stage [44]. Needs the records, cellPixels and deltaMap of completeCells.
// Rewrites deltaMap inside every cell to (value - deltaMin) / range (0/0, not
// a number, when a cell's values are all equal) and writes aspect of cells
// 1..nextCellNumber-1 (0/0 for an empty cell). Uses scratchA and scratchB of
// angleTable entries 0..59 as accumulators.
void adjustCells(const RunSettings& settings, FrameBuffers& buffers);

// The same stage with the projections of every pixel computed; adjustCells
// skips the pixels that cannot be extreme and must agree with this bit for
// bit.
void adjustCellsVisitingEveryPixel(const RunSettings& settings, FrameBuffers& buffers);
