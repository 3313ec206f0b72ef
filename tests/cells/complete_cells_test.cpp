#include "cells/cells.h"

#include <gtest/gtest.h>

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

TEST(CellCompletion, SingleCellTakesTheWholeBackgroundAndNoCellLeavesItOutside) {
  CellFrame one(20, 10);
  one.paint(5, 3, 9, 6, 1);
  complete(one, 1);
  EXPECT_EQ(cell(one, 1).area, 200);
  EXPECT_EQ(cell(one, 1).excluded, 1);

  CellFrame none(20, 10);
  complete(none, 0);
  for (int32_t p = 0; p < none.b.pixelCount; ++p) ASSERT_EQ(none.b.cellMap[p], -1);
  EXPECT_EQ(none.b.cellPixelTotal, 0);
}

TEST(CellCompletion, CellOnTheImageEdgeIsExcludedAndItsEdgeSidesAreNoPerimeter) {
  // Cell 1 fills the top left corner; its row 0 has no pixel above it.
  CellFrame f(30, 16);
  f.paint(0, 0, 5, 4, 1);
  f.paint(15, 4, 20, 10, 2);
  complete(f, 2);
  // The one corner away from the edges goes.
  const CellRecord& edge = cell(f, 1);
  EXPECT_EQ((std::vector<int32_t>{edge.excluded, edge.area, edge.perimeter, edge.minX, edge.maxX, edge.minY,
                                  edge.maxY}),
            (std::vector<int32_t>{1, 29, 11, 0, 5, 0, 4}));
  const CellRecord& inner = cell(f, 2);
  EXPECT_EQ((std::vector<int32_t>{inner.excluded, inner.area, inner.perimeter}),
            (std::vector<int32_t>{0, 42 - 4, 26}));
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
    EXPECT_EQ(cell(column, 1).area, 300);
    EXPECT_EQ(cell(column, 1).excluded, 1);
    EXPECT_EQ(cell(column, 1).trackId, 1);
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
