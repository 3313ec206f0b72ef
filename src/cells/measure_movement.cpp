#include <cmath>

#include "cells/cells.h"

namespace focustrack {

namespace {

// Box centre coordinate, truncated toward zero.
int32_t boxCentre(int32_t low, int32_t high) {
  return static_cast<int32_t>(static_cast<double>(high) * 0.5 + static_cast<double>(low) * 0.5);
}

}  // namespace

// Records come in creation order, so a cell with several links this frame
// keeps the distance of the last one; every link keeps its own.
void measureMovement(FrameBuffers& b) {
  for (LinkRecord& link : b.linkRecords) {
    if (link.frameOrdinal != b.frameOrdinal) continue;
    CellRecord& current = b.currentCells[link.currentCell];
    const CellRecord& previous = b.previousCells[link.previousCell];
    const int32_t cx = boxCentre(current.minX, current.maxX);
    const int32_t cy = boxCentre(current.minY, current.maxY);
    const int32_t px = boxCentre(previous.minX, previous.maxX);
    const int32_t py = boxCentre(previous.minY, previous.maxY);
    const int64_t dx = int64_t{px} - cx;
    const int64_t dy = int64_t{py} - cy;
    const double distance = std::sqrt(static_cast<double>(dx * dx + dy * dy));
    link.trackId = current.trackId;
    link.currentCell = cy * b.width + cx;
    link.previousCell = py * b.width + px;
    link.distance = distance;
    current.moveDistance = distance;
  }
}

}  // namespace focustrack
