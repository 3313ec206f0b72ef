// Nucleus mask and vacuole exclusion.
#pragma once

#include "run/buffers.h"

// Stage [32], after the vacuole fit. Paints the nucleus of every cell whose
// nucleusValue is above 0 and reaches nucleusThreshold into nucleusMask (1
// painted, 0 elsewhere) and clears interior of every blob of the backward
// flood whose seed lies in a painted pixel: a basin whose lowest pixel lies in
// a nucleus is no vacuole. Needs the nucleus fields written by the nucleus fit
// of this frame; overwrites edgeMap.
void excludeNucleusBlobs(const RunSettings& settings, FrameBuffers& buffers);
