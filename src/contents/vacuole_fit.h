// Vacuole fit.
#pragma once

#include "run/buffers.h"

// Stage [31], directly after the backward flood. For every candidate pixel of
// that pass, 120 rays from its blob's seed (the blob's lowest pixel) outline
// the basin up to the candidate's level; the outline is scored by its
// circularity, its mean radius and the contrast of a ring at that radius, and
// each blob keeps its best outline in vacuoleScore, vacuoleCentre,
// vacuoleRadius and vacuoleArea. Needs the backward flood's blobMap, blob
// records, candidate list and edgeMap, and the rescaled deltaMap. Overwrites
// the scratch fields of angleTable; writes no stamps.
void fitVacuoles(const RunSettings& settings, FrameBuffers& buffers);
