// Nucleus and nucleolus fit.
#pragma once

#include "run/buffers.h"

// Stage [21], directly after the forward flood. For every candidate pixel of
// that pass, 120 rays from its blob's seed outline a nucleolus (values at or
// above the candidate's level) inside a nucleus (values down to 0.2 below
// it); the pair is scored and the best pair of each cell is kept in its
// nucleusValue, nucleusArea, nucleoliArea, nucleusCentre and nucleusRadius.
// Needs the forward flood's blobMap, blob records, candidate list and
// edgeMap, the rescaled deltaMap and nucleusValue = 0 from the record
// initialisation. Overwrites edgeMap with per-candidate stamps and the scratch
// fields of angleTable.
void fitNuclei(const RunSettings& settings, FrameBuffers& buffers);
