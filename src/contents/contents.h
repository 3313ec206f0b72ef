// Cell contents: nucleus, nucleolus and vacuoles, found from blobs.
// A blob is a 4-connected set of pixels of one cell grown from a single seed
// pixel in value order: from the top down it collects a local maximum with
// its slopes (nucleus sources), from the bottom up a basin (vacuole sources).
// The nucleus is a high core (the nucleolus) inside a lower ring; a vacuole is
// a low, nearly circular basin. The frame loop runs the forward flood, the
// nucleus fit, the backward flood, the vacuole fit, the nucleus exclusion and
// the vacuole attribution in that order.
#pragma once

#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

enum class FloodDirection {
  Forward,   // highest value first: nucleus sources
  Backward,  // lowest value first: vacuole sources
};

// Blob flooding. Reads cellPixels[0 .. cellPixelTotal - 1] (each cell's list
// in descending deltaMap order), cellMap and the excluded flags of
// currentCells. Writes blobMap, blob records 1..blobCount, blobCount,
// candidatePixels, candidateCount and edgeMap (kEdgePixel on the edge pixels
// of analysable cells, kOtherPixel elsewhere). The blob table grows as the
// frame needs; only when memory runs out does no further blob open, and
// capacityNote is set.
void floodBlobs(const RunSettings& settings, FrameBuffers& buffers, FloodDirection direction);

// Nucleus and nucleolus fit, directly after the forward flood. For every
// candidate pixel of that pass, 120 rays from its blob's seed outline a
// nucleolus (values at or above the candidate's level) inside a nucleus
// (values down to 0.2 below it); the pair is scored and the best pair of each
// cell is kept in its nucleusValue, nucleusArea, nucleoliArea, nucleusCentre
// and nucleusRadius. Needs the forward flood's blobMap, blob records,
// candidate list and edgeMap, the rescaled deltaMap and nucleusValue = 0 from
// the record initialisation. Overwrites edgeMap with per-candidate stamps,
// floodQueue (each cell pixel's place in its cell's list) and the scratch
// fields of angleTable.
void fitNuclei(const RunSettings& settings, FrameBuffers& buffers);

// Vacuole fit, directly after the backward flood. For every candidate pixel
// of that pass, 120 rays from its blob's seed (the blob's lowest pixel)
// outline the basin up to the candidate's level; the outline is scored by its
// circularity, its mean radius and the contrast of a ring at that radius, and
// each blob keeps its best outline in vacuoleScore, vacuoleCentre and
// vacuoleArea, its radii in vacuoleOutlines. Needs the backward flood's
// blobMap, blob records, candidate list and edgeMap, and the rescaled
// deltaMap. Overwrites the scratch fields of angleTable; writes no stamps.
void fitVacuoles(const RunSettings& settings, FrameBuffers& buffers);

// Nucleus exclusion, after the vacuole fit. Paints every nucleus that
// showsNucleus into nucleusMask (1 painted, 0 elsewhere) and clears interior
// of every blob of the backward flood whose seed lies in a painted pixel: a
// basin whose lowest pixel lies in a nucleus is no vacuole. Needs the
// nucleus fields written by the nucleus fit of this frame; overwrites
// edgeMap.
void excludeNucleusBlobs(const RunSettings& settings, FrameBuffers& buffers);

// Vacuole attribution: every blob that isVacuole counts for the cell of its
// lowest pixel, in blob order. Adds to vacuoleCount, vacuoleAreaSum and
// vacuoleAreaMax of currentCells (zeroed by completeCells).
void attributeVacuoles(FrameBuffers& buffers);

}  // namespace focustrack
