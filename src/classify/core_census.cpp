#include "classify/core_census.h"

#include <vector>

#include "base/pixel_grid.h"

namespace focustrack {

namespace {

bool isCore(int32_t pixelClass) { return pixelClass == PositiveCore || pixelClass == NegativeCore; }

bool onBorder(int32_t x, int32_t y, int32_t width, int32_t height) {
  return x == 0 || y == 0 || x == width - 1 || y == height - 1;
}

struct RegionShape {
  bool positive = false;  // a positive core
  int32_t size = 0;
  bool reachesBorder = false;
  bool nested = true;   // every outside neighbour is in one other region
  int32_t around = 0;   // that region's label
};

// One neighbour of a pixel of the region, in region `other` (0: no core).
inline void meet(RegionShape& shape, int32_t other) {
  // No core there, or a second region: not nested.
  if (other == 0 || (shape.around != 0 && shape.around != other)) shape.nested = false;
  shape.around = other;
}

// The shapes of the regions labelled 1..count (an empty one for a label
// that names no region), in one pass over the pixels in index order. A shape
// depends only on which pixels a region holds and which regions its pixels
// touch, not on the order they are met in.
std::vector<RegionShape> regionShapes(const FrameBuffers& b, const int32_t* labels, int32_t count) {
  const int32_t* classes = b.classMap.data();
  std::vector<RegionShape> shapes(static_cast<size_t>(count) + 1);
  const int32_t w = b.width;
  const int32_t h = b.height;
  for (int32_t y = 0; y < h; ++y) {
    const int32_t* row = labels + static_cast<int64_t>(y) * w;
    for (int32_t x = 0; x < w; ++x) {
      const int32_t label = row[x];
      if (label == 0) continue;
      RegionShape& shape = shapes[static_cast<size_t>(label)];
      shape.positive = classes[static_cast<int64_t>(y) * w + x] == PositiveCore;
      ++shape.size;
      if (onBorder(x, y, w, h)) shape.reachesBorder = true;
      if (x > 0 && row[x - 1] != label) meet(shape, row[x - 1]);
      if (x < w - 1 && row[x + 1] != label) meet(shape, row[x + 1]);
      if (y > 0 && row[x - w] != label) meet(shape, row[x - w]);
      if (y < h - 1 && row[x + w] != label) meet(shape, row[x + w]);
    }
  }
  return shapes;
}

}  // namespace

void takeCoreCensus(FrameBuffers& b) {
  int32_t* labels = b.cellMap.data();
  const int32_t* classes = b.classMap.data();
  // Regions of each core class.
  const int32_t count = labelComponents(
      b.width, b.height, [classes](int64_t p) { return isCore(classes[p]); },
      [classes](int64_t p, int64_t q) { return classes[q] == classes[p]; }, labels);
  const std::vector<RegionShape> shapes = regionShapes(b, labels, count);
  CoreCensus census;
  for (size_t label = 1; label < shapes.size(); ++label) {
    const RegionShape& shape = shapes[label];
    if (shape.reachesBorder) continue;
    if (shape.size >= kCellSizedCore) ++(shape.positive ? census.cellSizedPositive : census.cellSizedNegative);
    if (shape.nested && shape.around != 0 && shape.size >= kNestedCore) {
      ++(shape.positive ? census.nestedPositive : census.nestedNegative);
    }
  }
  b.coreCensus = census;
}

}  // namespace focustrack
