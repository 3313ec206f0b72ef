#include "cells/cells.h"
#include "frame/predicates.h"

namespace focustrack {

namespace {

// Pixels of the cell that lie on the device.
int32_t pixelsOnDevice(const FrameBuffers& b, const CellRecord& cell) {
  const int32_t* pixels = b.cellPixels.data() + cell.pixelStart;
  const uint8_t* device = b.deviceMask.data();
  int32_t count = 0;
  for (int32_t j = 0; j < cell.area; ++j) count += device[pixels[j]];
  return count;
}

bool failsFilters(const RunSettings& s, const FrameBuffers& b, const CellRecord& cell) {
  if (b.deviceMask.data() != nullptr && 2 * int64_t{pixelsOnDevice(b, cell)} >= cell.area) return true;
  if (s.minArea > 0 && cell.area < s.minArea) return true;
  if (s.maxArea > 0 && cell.area > s.maxArea) return true;
  return s.minCircularity > 0.0 && !(cellCircularity(cell) >= s.minCircularity);
}

}  // namespace

void excludeFilteredCells(const RunSettings& settings, FrameBuffers& b) {
  const bool anyFilter = b.deviceMask.data() != nullptr || settings.minArea > 0 ||
                         settings.maxArea > 0 || settings.minCircularity > 0.0;
  if (!anyFilter) return;
  for (int32_t c = 1; c < b.nextCellNumber; ++c) {
    CellRecord& cell = b.currentCells[c];
    if (cell.excluded == 0 && failsFilters(settings, b, cell)) cell.excluded = 1;
  }
}

}  // namespace focustrack
