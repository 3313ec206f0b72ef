// The straightforward form of adjustCells, kept as the reference the fast
// form is compared with bit for bit.
#pragma once

#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

// adjustCells with the projections of every pixel computed; adjustCells
// skips the pixels that cannot be extreme.
void adjustCellsVisitingEveryPixel(const RunSettings& settings, FrameBuffers& buffers);

}  // namespace focustrack
