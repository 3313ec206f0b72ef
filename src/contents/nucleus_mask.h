// Nucleus mask and vacuole exclusion.
#pragma once

#include "run/buffers.h"

// Stage [32]: paints the nuclei into nucleusMask and clears interior of every
// blob whose seed lies inside one.
void excludeNucleusBlobs(const RunSettings& settings, FrameBuffers& buffers);
