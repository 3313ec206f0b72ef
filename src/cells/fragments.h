// Fragment merging and final links: touching current cells that were given
// the same previous cell are fragments of one cell; the links surviving the
// merge are recorded, and a current cell keeps a partner only on a
// one-to-one link.
#pragma once

#include "run/buffers.h"

// First half of stage [43]. Needs the label map and the provisional partners
// of stage [45], sortedPixels and previousCells. The trackId field of
// currentCells serves as the cells' union-find parent. Writes the label map
// (root cell numbers; merged-away cells own no pixel), trackId (parents),
// linkCount and partner of both tables, and appends one LinkRecord per final
// link (trackId left 0) when there is a previous frame.
void mergeFragments(const RunSettings& settings, FrameBuffers& buffers);
