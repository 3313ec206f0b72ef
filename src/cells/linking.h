// Frame-to-frame linking: provisional partners between the cells of the
// previous and the current frame, from how many pixels of either cell find
// the other cell as the nearest cell pixel within radius 10 in the other frame.
#pragma once

#include "run/buffers.h"

// Stage [45]. Needs the label map of stage [42] (current cell per pixel, 0
// for none), previousCellMap, previousCells, previousCellNumberEnd and the
// disk offsets. Skipped when there is no previous frame
// (previousCellNumberEnd 0). Writes the pair counts of the C x P pair area
// (index prev x C + cur; -1 linked, -2 rejected), linkCandidates, and
// linkCount and partner of both tables.
void linkCells(const RunSettings& settings, FrameBuffers& buffers);
