#include "classify/core_census.h"

#include <algorithm>
#include <vector>

namespace focustrack {

namespace {

bool isCore(int32_t pixelClass) { return pixelClass == PositiveCore || pixelClass == NegativeCore; }

bool onBorder(int32_t x, int32_t y, int32_t width, int32_t height) {
  return x == 0 || y == 0 || x == width - 1 || y == height - 1;
}

// The root of label l, halving the path on the way.
int32_t rootOf(std::vector<int32_t>& parent, int32_t l) {
  while (parent[static_cast<size_t>(l)] != l) {
    parent[static_cast<size_t>(l)] = parent[static_cast<size_t>(parent[static_cast<size_t>(l)])];
    l = parent[static_cast<size_t>(l)];
  }
  return l;
}

// Labels the 4-connected regions of each core class in `labels`, 0
// elsewhere: a pixel takes the label of its left or upper neighbour of the
// same class, the two labels are joined where both have one, and a second
// pass gives every pixel its label's root. Returns the largest label; not
// every label up to it is a root.
int32_t labelCores(const FrameBuffers& b, int32_t* labels) {
  const int32_t* classes = b.classMap.data();
  const int32_t w = b.width;
  std::vector<int32_t> parent{0};
  for (int32_t y = 0; y < b.height; ++y) {
    const int64_t rowStart = static_cast<int64_t>(y) * w;
    for (int32_t x = 0; x < w; ++x) {
      const int64_t p = rowStart + x;
      const int32_t c = classes[p];
      int32_t label = 0;
      if (isCore(c)) {
        if (x > 0 && classes[p - 1] == c) label = labels[p - 1];
        if (y > 0 && classes[p - w] == c) {
          const int32_t up = rootOf(parent, labels[p - w]);
          if (label == 0) {
            label = up;
          } else {
            const int32_t left = rootOf(parent, label);
            parent[static_cast<size_t>(std::max(left, up))] = std::min(left, up);
          }
        }
        if (label == 0) {
          label = static_cast<int32_t>(parent.size());
          parent.push_back(label);
        }
      }
      labels[p] = label;
    }
  }
  for (int32_t p = 0; p < b.pixelCount; ++p) {
    if (labels[p] != 0) labels[p] = rootOf(parent, labels[p]);
  }
  return static_cast<int32_t>(parent.size()) - 1;
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

// The shapes of the regions labelled 1..count (none for a label that is
// not a root), in one pass over the pixels in index
// order. A shape depends only on which pixels a region holds and which
// regions its pixels touch, not on the order they are met in.
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
  const int32_t count = labelCores(b, labels);
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
