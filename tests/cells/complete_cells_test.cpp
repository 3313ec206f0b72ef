#include "cells/cells.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cells/adjust_cells.h"
#include "support/cell_fixture.h"

namespace focustrack {

namespace {

const CellRecord& cell(const CellFrame& f, int32_t k) { return f.b.currentCells[k]; }

void complete(CellFrame& f, int32_t count) {
  f.setLabelsAsBuilt(count);
  f.sortPixels();
  completeCells(f.settings, f.b);
}

// The measures as one pass over the pixels in value order takes them, highest
// first: box, value range by running comparisons from 1 and -1, pixel list,
// and the four sides of every pixel. The reference the completion's passes
// are compared with.
struct PlainMeasures {
  std::vector<CellRecord> cells;
  std::vector<int32_t> lists;
};

PlainMeasures plainMeasures(const CellFrame& f) {
  const FrameBuffers& b = f.b;
  // Records value-initialized: box maximum, area, perimeter and mark start at 0.
  PlainMeasures m{std::vector<CellRecord>(static_cast<size_t>(b.nextCellNumber)), std::vector<int32_t>()};
  for (CellRecord& c : m.cells) {
    c.minX = b.width;
    c.minY = b.height;
    c.deltaMin = 1.0;
    c.deltaMax = -1.0;
  }
  std::vector<std::vector<int32_t>> lists(m.cells.size());
  for (int32_t k = b.pixelCount - 1; k >= 0; --k) {
    const int32_t p = b.sortedPixels[k];
    const int32_t c = b.cellMap[p];
    if (c < 0) continue;
    CellRecord& cell = m.cells[static_cast<size_t>(c)];
    const int32_t x = p % b.width;
    const int32_t y = p / b.width;
    cell.minX = std::min(cell.minX, x);
    cell.minY = std::min(cell.minY, y);
    cell.maxX = std::max(cell.maxX, x);
    cell.maxY = std::max(cell.maxY, y);
    const double v = b.deltaMap[p];
    if (cell.deltaMin > v) cell.deltaMin = v;
    if (v > cell.deltaMax) cell.deltaMax = v;
    lists[static_cast<size_t>(c)].push_back(p);
    cell.area += 1;
    const auto side = [&](bool onEdge, int32_t q) {
      if (onEdge) {
        cell.excluded = 1;
      } else if (b.cellMap[q] != c) {
        cell.perimeter += 1;
      }
    };
    side(x == 0, p - 1);
    side(x == b.width - 1, p + 1);
    side(y == 0, p - b.width);
    side(y == b.height - 1, p + b.width);
  }
  for (const std::vector<int32_t>& list : lists) m.lists.insert(m.lists.end(), list.begin(), list.end());
  return m;
}

// Random rectangles of six cells, some on the image edge, over values of
// nine levels from -1 to 1: many pixels tie.
TEST(CellCompletion, MeasuresAgreeWithOnePassInValueOrder) {
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    std::mt19937 random(seed);
    const auto draw = [&random](int32_t below) { return static_cast<int32_t>(random() % below); };
    CellFrame f(37, 29);
    for (int32_t p = 0; p < f.b.pixelCount; ++p) f.b.deltaMap[p] = (draw(9) - 4) / 4.0;
    for (int32_t c = 1; c <= 6; ++c) {
      const int32_t x0 = draw(30);
      const int32_t y0 = draw(22);
      f.paint(x0, y0, std::min(36, x0 + 3 + draw(12)), std::min(28, y0 + 3 + draw(10)), c);
    }
    complete(f, 6);
    const PlainMeasures plain = plainMeasures(f);
    for (int32_t c = 1; c < f.b.nextCellNumber; ++c) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", cell " + std::to_string(c));
      const CellRecord& got = cell(f, c);
      const CellRecord& want = plain.cells[static_cast<size_t>(c)];
      EXPECT_EQ((std::vector<int32_t>{got.minX, got.minY, got.maxX, got.maxY, got.area, got.perimeter}),
                (std::vector<int32_t>{want.minX, want.minY, want.maxX, want.maxY, want.area, want.perimeter}));
      EXPECT_EQ(got.excluded, want.area == 0 ? 1 : want.excluded);
      EXPECT_EQ(std::memcmp(&got.deltaMin, &want.deltaMin, sizeof(double)), 0) << got.deltaMin;
      EXPECT_EQ(std::memcmp(&got.deltaMax, &want.deltaMax, sizeof(double)), 0) << got.deltaMax;
    }
    ASSERT_EQ(f.b.cellPixelTotal, static_cast<int32_t>(plain.lists.size()));
    EXPECT_TRUE(std::equal(plain.lists.begin(), plain.lists.end(), f.b.cellPixels.data()));
  }
}

void runAllStages(CellFrame& f) {
  f.sortPixels();
  buildCells(f.settings, f.b);
  linkCells(f.settings, f.b);
  mergeFragments(f.settings, f.b);
  completeCells(f.settings, f.b);
  adjustCells(f.settings, f.b);
}

TEST(CellCompletion, OneColumnAndOnePixelImagesRunThroughAllStages) {
  // In a single column no pixel lies in an inner column, so only the
  // up-down test applies and a solid column stays whole.
  CellFrame column(1, 300);
  for (int32_t frame = 1; frame <= 2; ++frame) {
    column.clear(PositiveCore, 0.5);
    column.b.frameOrdinal = frame;
    runAllStages(column);
    ASSERT_EQ(column.b.nextCellNumber, 2);
    const CellRecord& whole = cell(column, 1);
    EXPECT_EQ((std::vector<int32_t>{whole.area, whole.excluded, whole.trackId}), (std::vector<int32_t>{300, 1, 1}));
    handOverFrame(column.b);
  }
  EXPECT_EQ(column.b.linkRecordCount(), 1);

  CellFrame pixel(1, 1);
  pixel.clear(PositiveCore, 0.5);
  runAllStages(pixel);
  EXPECT_EQ(pixel.b.nextCellNumber, 1);
  EXPECT_EQ(pixel.b.cellMap[0], -1);
}

}  // namespace

}  // namespace focustrack
