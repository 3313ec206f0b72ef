#include "cells/cells.h"

#include <algorithm>
#include <vector>

#include "base/pixel_grid.h"
#include "frame/map_markers.h"

namespace focustrack {

namespace {

// The cell union-find lives in trackId; unbalanced, no path compression.
int32_t root(const CellRecord* cells, int32_t c) {
  while (cells[c].trackId != c) c = cells[c].trackId;
  return c;
}

// Which cells share their partner with another cell: only those absorb or
// are absorbed, so the merge passes over the pixels of the others. Empty
// when no two cells share a partner.
std::vector<uint8_t> cellsSharingPartners(const FrameBuffers& b) {
  std::vector<int32_t> partnered(static_cast<size_t>(std::max(b.previousCellNumberEnd, 1)), 0);
  const CellRecord* cells = b.currentCells.data();
  bool any = false;
  for (int32_t c = 1; c < b.nextCellNumber; ++c) {
    const int32_t partner = cells[c].partner;
    if (partner != 0) any = ++partnered[static_cast<size_t>(partner)] > 1 || any;
  }
  if (!any) return {};
  std::vector<uint8_t> sharing(static_cast<size_t>(b.nextCellNumber), 0);
  for (int32_t c = 1; c < b.nextCellNumber; ++c) {
    const int32_t partner = cells[c].partner;
    sharing[static_cast<size_t>(c)] = partner != 0 && partnered[static_cast<size_t>(partner)] > 1;
  }
  return sharing;
}

// Highest delta first, a partnered cell absorbs every touching cell
// with the same partner, so the survivor is the fragment owning the first
// such contact pixel in that order. Answers whether any cell was absorbed.
bool mergeTouchingFragments(FrameBuffers& b, int32_t* label, const std::vector<uint8_t>& sharing) {
  CellRecord* cells = b.currentCells.data();
  const int32_t* sorted = b.sortedPixels.data();
  const int32_t width = b.width;
  bool merged = false;
  int32_t neighbours[4];
  for (int32_t k = b.pixelCount - 1; k >= 0; --k) {
    const int32_t p = sorted[k];
    if (label[p] == 0 || sharing[static_cast<size_t>(label[p])] == 0) continue;
    const int32_t c = root(cells, label[p]);
    label[p] = c;
    const int32_t count = neighbourList(p, p % width, p / width, width, b.height, neighbours);
    for (int32_t i = 0; i < count; ++i) {
      const int32_t q = neighbours[i];
      if (label[q] == 0) continue;
      const int32_t d = root(cells, label[q]);
      label[q] = d;
      if (d != c && cells[d].partner == cells[c].partner) {
        cells[d].trackId = c;
        merged = true;
      }
    }
  }
  return merged;
}

void relabelRoots(FrameBuffers& b, int32_t* label) {
  const CellRecord* cells = b.currentCells.data();
  for (int32_t p = 0; p < b.pixelCount; ++p) {
    if (label[p] != 0) label[p] = root(cells, label[p]);
  }
}

// Recount the links on the merged cells; a link survives when its
// current cell is a root and its previous cell owned pixels.
void recordFinalLinks(FrameBuffers& b) {
  const int32_t currentEnd = b.nextCellNumber;
  const int32_t previousEnd = b.previousCellNumberEnd;
  CellRecord* current = b.currentCells.data();
  CellRecord* previous = b.previousCells.data();
  const int32_t* counts = b.linkPairCounts.data();
  for (int32_t cur = 1; cur < currentEnd; ++cur) current[cur].linkCount = current[cur].partner = 0;
  for (int32_t prev = 1; prev < previousEnd; ++prev) previous[prev].linkCount = previous[prev].partner = 0;
  const int32_t pairs = currentEnd * previousEnd;
  for (int32_t k = 0; k < pairs; ++k) {
    if (counts[k] != kLinked) continue;
    const int32_t cur = k % currentEnd;
    const int32_t prev = k / currentEnd;
    if (current[cur].trackId != cur || previous[prev].area == 0) continue;
    current[cur].linkCount += 1;
    previous[prev].linkCount += 1;
    b.linkRecords.push_back(LinkRecord{b.frameOrdinal, 0, prev, cur, 0.0, prev, cur});
  }
  // Only one-to-one links leave a partner.
  for (int32_t k = 0; k < pairs; ++k) {
    if (counts[k] != kLinked) continue;
    const int32_t cur = k % currentEnd;
    const int32_t prev = k / currentEnd;
    if (current[cur].linkCount == 1 && previous[prev].linkCount == 1) current[cur].partner = prev;
  }
}

}  // namespace

void mergeFragments(const RunSettings&, FrameBuffers& b) {
  int32_t* label = b.labelMap();
  const std::vector<uint8_t> sharing = cellsSharingPartners(b);
  if (!sharing.empty() && mergeTouchingFragments(b, label, sharing)) relabelRoots(b, label);
  if (b.previousCellNumberEnd != 0 && !b.linkingSkipped) recordFinalLinks(b);
}

}  // namespace focustrack
