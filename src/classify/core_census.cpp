#include "classify/core_census.h"

#include <cstdlib>

#include "base/pixel_grid.h"

namespace focustrack {

namespace {

bool isCore(int32_t pixelClass) { return pixelClass == PositiveCore || pixelClass == NegativeCore; }

bool onBorder(int32_t x, int32_t y, int32_t width, int32_t height) {
  return x == 0 || y == 0 || x == width - 1 || y == height - 1;
}

// Numbers the 4-connected regions of each core class from 1 in `labels`;
// 0 elsewhere.
void labelCores(const FrameBuffers& b, int32_t* labels, int32_t* queue) {
  const int32_t* classes = b.classMap.data();
  for (int32_t p = 0; p < b.pixelCount; ++p) labels[p] = 0;
  int32_t next = 1;
  for (int32_t start = 0; start < b.pixelCount; ++start) {
    if (labels[start] != 0 || !isCore(classes[start])) continue;
    int32_t head = 0;
    int32_t tail = 0;
    queue[tail++] = start;
    labels[start] = next;
    while (head < tail) {
      const int32_t p = queue[head++];
      int32_t nb[4];
      const int32_t count = neighbourList(p, p % b.width, p / b.width, b.width, b.height, nb);
      for (int32_t k = 0; k < count; ++k) {
        if (labels[nb[k]] == 0 && classes[nb[k]] == classes[p]) {
          labels[nb[k]] = next;
          queue[tail++] = nb[k];
        }
      }
    }
    ++next;
  }
}

struct RegionShape {
  int32_t size = 0;
  bool reachesBorder = false;
  bool nested = true;   // every outside neighbour is in one other region
  int32_t around = 0;   // that region's label
};

// Walks region `label` from `start`, marking its pixels visited by negating
// their labels.
RegionShape walkRegion(const FrameBuffers& b, int32_t start, int32_t* labels, int32_t* queue) {
  const int32_t label = labels[start];
  RegionShape shape;
  int32_t head = 0;
  int32_t tail = 0;
  queue[tail++] = start;
  labels[start] = -label;
  while (head < tail) {
    const int32_t p = queue[head++];
    const int32_t x = p % b.width;
    const int32_t y = p / b.width;
    if (onBorder(x, y, b.width, b.height)) shape.reachesBorder = true;
    int32_t nb[4];
    const int32_t count = neighbourList(p, x, y, b.width, b.height, nb);
    for (int32_t k = 0; k < count; ++k) {
      const int32_t other = std::abs(labels[nb[k]]);
      if (labels[nb[k]] == label) {
        labels[nb[k]] = -label;
        queue[tail++] = nb[k];
      } else if (other != label) {
        // No core there, or a second region: not nested.
        if (other == 0 || (shape.around != 0 && shape.around != other)) shape.nested = false;
        shape.around = other;
      }
    }
  }
  shape.size = tail;
  return shape;
}

}  // namespace

void takeCoreCensus(FrameBuffers& b) {
  int32_t* labels = b.cellMap.data();
  int32_t* queue = b.floodQueue.data();
  const int32_t* classes = b.classMap.data();
  labelCores(b, labels, queue);
  CoreCensus census;
  for (int32_t start = 0; start < b.pixelCount; ++start) {
    if (labels[start] <= 0) continue;
    const bool positive = classes[start] == PositiveCore;
    const RegionShape shape = walkRegion(b, start, labels, queue);
    if (shape.reachesBorder) continue;
    if (shape.size >= kCellSizedCore) ++(positive ? census.cellSizedPositive : census.cellSizedNegative);
    if (shape.nested && shape.around != 0 && shape.size >= kNestedCore) {
      ++(positive ? census.nestedPositive : census.nestedNegative);
    }
  }
  b.coreCensus = census;
}

}  // namespace focustrack
