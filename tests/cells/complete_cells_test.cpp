#include "cells/cells.h"

#include <gtest/gtest.h>

#include <vector>

#include "cells/adjust_cells.h"
#include "support/cell_fixture.h"

namespace focustrack {

namespace {

int32_t cellAt(const CellFrame& f, int32_t x, int32_t y) { return f.b.cellMap[f.at(x, y)]; }
const CellRecord& cell(const CellFrame& f, int32_t k) { return f.b.currentCells[k]; }

void complete(CellFrame& f, int32_t count) {
  f.setLabelsAsBuilt(count);
  f.sortPixels();
  completeCells(f.settings, f.b);
}

TEST(CellCompletion, HoleBorderingOneCellIsFilledOneBorderingTwoIsNot) {
  CellFrame f(40, 16);
  f.paint(3, 3, 12, 12, 1);
  f.paint(6, 6, 9, 9, 0);  // enclosed by cell 1 alone
  f.paint(20, 3, 30, 12, 2);
  f.paint(23, 6, 27, 9, 0);  // enclosed by cells 2 and 3
  f.paint(28, 6, 30, 9, 3);
  complete(f, 3);
  for (int32_t y = 6; y <= 9; ++y) {
    for (int32_t x = 6; x <= 9; ++x) EXPECT_EQ(cellAt(f, x, y), 1) << x << "," << y;
    for (int32_t x = 23; x <= 27; ++x) EXPECT_EQ(cellAt(f, x, y), -1) << x << "," << y;
  }
  EXPECT_EQ(cellAt(f, 0, 0), -1);
  EXPECT_EQ(cell(f, 1).area, 96);  // the filled square less its four corners
  for (int32_t p = 0; p < f.b.pixelCount; ++p) ASSERT_NE(f.b.cellMap[p], 0);
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

TEST(CellCompletion, OnePixelNeckIsRemovedAndThePiecesKeepTheirNumber) {
  CellFrame f(40, 16);
  f.paint(3, 3, 10, 12, 1);
  f.paint(11, 7, 13, 7, 1);
  f.paint(14, 3, 21, 12, 1);
  f.paint(30, 3, 35, 12, 2);
  complete(f, 2);
  for (int32_t x = 11; x <= 13; ++x) EXPECT_EQ(cellAt(f, x, 7), -1) << x;
  EXPECT_EQ(cellAt(f, 10, 7), 1);
  EXPECT_EQ(cellAt(f, 14, 7), 1);
  EXPECT_EQ(cellAt(f, 3, 3), -1);  // a corner
  EXPECT_EQ(cell(f, 1).area, 2 * 80 - 8);
  EXPECT_EQ(cell(f, 1).excluded, 0);
  EXPECT_EQ(cell(f, 2).area, 60 - 4);
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

TEST(CellCompletion, EveryRecordIsInitialisedAndPixelListsFollowTheDeltaOrder) {
  CellFrame f(30, 20);
  for (int32_t p = 0; p < f.b.pixelCount; ++p) f.b.deltaMap[p] = static_cast<double>((p * 37) % 600) / 600.0;
  f.paint(2, 2, 8, 8, 1);
  f.paint(15, 5, 22, 12, 3);  // cell 2 owns no pixel
  for (int32_t k = 1; k <= 3; ++k) {
    CellRecord& r = f.b.currentCells[k];
    r.nucleusValue = r.nucleusArea = r.nucleoliArea = 9.0;
    r.vacuoleAreaSum = r.vacuoleAreaMax = r.moveDistance = 9.0;
    r.vacuoleCount = 9;
  }
  complete(f, 3);
  EXPECT_EQ((std::vector<int32_t>{cell(f, 1).area, cell(f, 3).area, cell(f, 1).pixelStart, cell(f, 2).pixelStart,
                                  cell(f, 3).pixelStart, f.b.cellPixelTotal}),
            (std::vector<int32_t>{45, 60, 0, 45, 45, 105}));
  for (int32_t k = 1; k <= 3; ++k) {
    const CellRecord& r = cell(f, k);
    EXPECT_EQ((std::vector<double>{r.nucleusValue, r.nucleusArea, r.nucleoliArea, r.vacuoleAreaSum,
                                   r.vacuoleAreaMax, r.moveDistance, static_cast<double>(r.vacuoleCount)}),
              std::vector<double>(7, 0.0))
        << "cell " << k;
  }

  // Pixel lists in descending delta order; the range is that of the list.
  for (const int32_t k : {1, 3}) {
    const CellRecord& r = cell(f, k);
    const int32_t* list = f.b.cellPixels.data() + r.pixelStart;
    EXPECT_EQ(f.b.deltaMap[list[0]], r.deltaMax);
    EXPECT_EQ(f.b.deltaMap[list[r.area - 1]], r.deltaMin);
    for (int32_t i = 0; i < r.area; ++i) {
      EXPECT_EQ(f.b.cellMap[list[i]], k);
      if (i > 0) {
        EXPECT_GE(f.b.deltaMap[list[i - 1]], f.b.deltaMap[list[i]]);
      }
    }
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
