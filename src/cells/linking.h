// Frame-to-frame linking: provisional partners between the cells of the
// previous and the current frame from their contacts within radius 10.
#pragma once

#include "run/buffers.h"

// Stage [45]: reads the label map, previousCellMap, diskOffsets; writes
// linkPairCounts, linkCandidates, linkCount and partner of both tables.
void linkCells(const RunSettings& settings, FrameBuffers& buffers);
