#include "cells/cells.h"

#include "base/pixel_grid.h"

namespace focustrack {

namespace {

constexpr int32_t kBackground = -1;  // visited or removed background
constexpr int32_t kNoOwner = -1;     // the fill met no cell yet
constexpr int32_t kManyOwners = -2;  // the fill met several cells

// For one background component, collected breadth-first from p: it
// joins the cell it borders when it borders exactly one.
void fillComponent(FrameBuffers& b, int32_t* label, int32_t p) {
  int32_t* queue = b.floodQueue.data();
  const int32_t width = b.width;
  int32_t tail = 0;
  label[p] = kBackground;
  queue[tail++] = p;
  int32_t owner = kNoOwner;
  int32_t neighbours[4];
  for (int32_t head = 0; head < tail; ++head) {
    const int32_t i = queue[head];
    const int32_t count = neighbourList(i, i % width, i / width, width, b.height, neighbours);
    for (int32_t j = 0; j < count; ++j) {
      const int32_t q = neighbours[j];
      const int32_t v = label[q];
      if (v == 0) {
        label[q] = kBackground;
        queue[tail++] = q;
      } else if (v > 0) {
        if (owner == kNoOwner) {
          owner = v;
        } else if (owner > 0 && owner != v) {
          owner = kManyOwners;
        }
      }
    }
  }
  if (owner <= 0) return;
  for (int32_t j = 0; j < tail; ++j) label[queue[j]] = owner;
}

// Every background component, in index order of its first pixel.
void fillHoles(FrameBuffers& b, int32_t* label) {
  for (int32_t p = 0; p < b.pixelCount; ++p) {
    if (label[p] == 0) fillComponent(b, label, p);
  }
}

// Whole passes until one changes nothing; a removed pixel becomes
// background at once and no longer supports its neighbours in the same pass.
void removeProtrusions(FrameBuffers& b, int32_t* label) {
  const auto isCell = [](int32_t v) { return v > 0; };
  stripLines(label, b.width, b.height, isCell, kBackground);
}

// After the fill no 0 is left, so the map holds -1 or a cell number.
void writeCellMap(FrameBuffers& b, const int32_t* label) {
  int32_t* cellMap = b.cellMap.data();
  CellRecord* cells = b.currentCells.data();
  for (int32_t p = 0; p < b.pixelCount; ++p) {
    const int32_t c = label[p];
    cellMap[p] = c;
    if (c > 0) cells[c].area += 1;
  }
}

// Every record is initialised, the empty ones too, and every record
// without a one-to-one link takes a fresh track id.
void initialiseRecords(FrameBuffers& b) {
  const CellRecord* previous = b.previousCells.data();
  int32_t offset = 0;
  for (int32_t k = 1; k < b.nextCellNumber; ++k) {
    CellRecord& cell = b.currentCells[k];
    cell.trackId = cell.partner != 0 ? previous[cell.partner].trackId : b.nextTrackId++;
    cell.minX = b.width;
    cell.minY = b.height;
    cell.maxX = 0;
    cell.maxY = 0;
    cell.deltaMin = 1.0;
    cell.deltaMax = -1.0;
    cell.pixelStart = offset;
    cell.excluded = cell.area == 0 ? 1 : 0;
    offset += cell.area;
    cell.area = 0;
    cell.perimeter = 0;
    cell.moveDistance = 0.0;
    cell.vacuoleCount = 0;
    cell.vacuoleAreaSum = 0.0;
    cell.vacuoleAreaMax = 0.0;
    cell.nucleusValue = 0.0;
    cell.nucleusArea = 0.0;
    cell.nucleoliArea = 0.0;
  }
  b.cellPixelTotal = offset;
}

// Box, perimeter and image-edge contact of every cell, row by row: they do
// not depend on the order the pixels are met in. The four sides of a pixel
// are left, right, up, down.
void measureShapes(FrameBuffers& b) {
  const int32_t* cellMap = b.cellMap.data();
  CellRecord* cells = b.currentCells.data();
  const int32_t width = b.width;
  const int32_t height = b.height;
  int64_t p = 0;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x, ++p) {
      const int32_t c = cellMap[p];
      if (c == kBackground) continue;
      CellRecord& cell = cells[c];
      if (cell.minX > x) cell.minX = x;
      if (cell.minY > y) cell.minY = y;
      if (cell.maxX < x) cell.maxX = x;
      if (cell.maxY < y) cell.maxY = y;
      const auto side = [&](bool onEdge, int64_t q) {
        if (onEdge) {
          cell.excluded = 1;
        } else if (cellMap[q] != c) {
          cell.perimeter += 1;
        }
      };
      side(x == 0, p - 1);
      side(x == width - 1, p + 1);
      side(y == 0, p - width);
      side(y == height - 1, p + width);
    }
  }
}

// Highest delta first, so every cell's pixel list is in descending delta
// order.
void listPixels(FrameBuffers& b) {
  const int32_t* cellMap = b.cellMap.data();
  const int32_t* sorted = b.sortedPixels.data();
  CellRecord* cells = b.currentCells.data();
  int32_t* lists = b.cellPixels.data();
  for (int32_t k = b.pixelCount - 1; k >= 0; --k) {
    if (k >= kPrefetchAhead) __builtin_prefetch(cellMap + sorted[k - kPrefetchAhead]);
    const int32_t p = sorted[k];
    const int32_t c = cellMap[p];
    if (c == kBackground) continue;
    CellRecord& cell = cells[c];
    lists[cell.pixelStart + cell.area] = p;
    cell.area += 1;
  }
}

// The value range of every cell from the ends of its list: the highest value
// comes first, the lowest last, as a running comparison from -1 and 1 over
// the list would find them (no delta is minus zero or not a number).
void valueRanges(FrameBuffers& b) {
  const double* delta = b.deltaMap.data();
  const int32_t* lists = b.cellPixels.data();
  for (int32_t k = 1; k < b.nextCellNumber; ++k) {
    CellRecord& cell = b.currentCells[k];
    if (cell.area == 0) continue;
    const double highest = delta[lists[cell.pixelStart]];
    const double lowest = delta[lists[cell.pixelStart + cell.area - 1]];
    if (highest > cell.deltaMax) cell.deltaMax = highest;
    if (cell.deltaMin > lowest) cell.deltaMin = lowest;
  }
}

}  // namespace

void completeCells(const RunSettings&, FrameBuffers& b) {
  int32_t* label = b.labelMap();
  fillHoles(b, label);
  removeProtrusions(b, label);
  writeCellMap(b, label);
  initialiseRecords(b);
  measureShapes(b);
  listPixels(b);
  valueRanges(b);
}

}  // namespace focustrack
