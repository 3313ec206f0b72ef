// Fragment merging and final links.
#pragma once

#include "run/buffers.h"

// First half of stage [43]: merges touching current cells that share a
// partner, recounts the links and appends this frame's LinkRecords.
void mergeFragments(const RunSettings& settings, FrameBuffers& buffers);
