#include "app/stages.h"

#include <array>

#include "cells/cells.h"
#include "classify/classify.h"
#include "contents/contents.h"
#include "reduce/reduce.h"

namespace focustrack {

namespace {

// Stages whose work is more than one call, or a call with an argument.
void completeAndTrackCells(const RunSettings& settings, FrameBuffers& b) {
  mergeFragments(settings, b);
  completeCells(settings, b);
  excludeFilteredCells(settings, b);
  measureMovement(b);
}
void floodForward(const RunSettings& settings, FrameBuffers& b) {
  floodBlobs(settings, b, FloodDirection::Forward);
}
void floodBackward(const RunSettings& settings, FrameBuffers& b) {
  floodBlobs(settings, b, FloodDirection::Backward);
}
void settleVacuoles(const RunSettings& settings, FrameBuffers& b) {
  excludeNucleusBlobs(settings, b);
  attributeVacuoles(b);
}

// The maps a dump can show.
const void* deltaPixels(const FrameBuffers& b) { return b.deltaMap.data(); }
const void* classPixels(const FrameBuffers& b) { return b.classMap.data(); }
const void* labelPixels(const FrameBuffers& b) { return b.labelMap(); }
const void* cellPixels(const FrameBuffers& b) { return b.cellMap.data(); }
const void* blobPixels(const FrameBuffers& b) { return b.blobMap(); }

constexpr TiffSample kInt = TiffSample::Int32;
constexpr TiffSample kReal = TiffSample::Float64;

// Run order. Linking runs between cell building and completion, so its
// report comes last of its group; the nucleus mask shares the class map's
// storage with the label map.
const std::array<Stage, 14> kStages = {{
    {10, "[10] Stack Selected", selectReferenceSlice, nullptr, kInt, nullptr, false},
    {11, "[11] Stack Searched", searchSliceRange, nullptr, kInt, nullptr, false},
    {12, "[12] Delta Calculated", computeDeltaMap, "delta", kReal, deltaPixels, true},
    {40, "[40] Sorted", sortPixels, nullptr, kInt, nullptr, false},
    {41, "[41] Colored", classifyPixels, "class", kInt, classPixels, true},
    {42, "[42] Celled", buildCells, "label", kInt, labelPixels, false},
    {45, "[45] Linked", linkCells, nullptr, kInt, nullptr, false},
    {43, "[43] Filled", completeAndTrackCells, "cells", kInt, cellPixels, false},
    {44, "[44] Adjasted", adjustCells, "scaled", kReal, deltaPixels, true},
    {20, "[20] Analysed", floodForward, "blobs_hi", kInt, blobPixels, false},
    {21, "[21] Analysed", fitNuclei, nullptr, kInt, nullptr, true},
    {30, "[30] Analysed", floodBackward, "blobs_lo", kInt, blobPixels, false},
    {31, "[31] Analysed", fitVacuoles, nullptr, kInt, nullptr, false},
    {32, "[32] Analysed", settleVacuoles, "nucleus", kInt, classPixels, true},
}};

// Stages up to the classification, or up to cell building.
size_t inputStageCount(const RunSettings& settings) { return settings.dumpFolder.empty() ? 6 : 5; }

}  // namespace

std::span<const Stage> frameStages() { return kStages; }
std::span<const Stage> inputStages(const RunSettings& settings) {
  return std::span<const Stage>(kStages).first(inputStageCount(settings));
}
std::span<const Stage> cellStages(const RunSettings& settings) {
  return std::span<const Stage>(kStages).subspan(inputStageCount(settings));
}

}  // namespace focustrack
