#include "cells/cells.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/cell_fixture.h"

namespace focustrack {

namespace {

int32_t cellCount(const CellFrame& f) { return f.b.nextCellNumber - 1; }
int32_t seedAt(const CellFrame& f, int32_t x, int32_t y) { return f.b.cellMap[f.at(x, y)]; }
int32_t labelAt(const CellFrame& f, int32_t x, int32_t y) { return f.b.classMap[f.at(x, y)]; }

// Builds the cells of one block on a background of delta 1.0. Background
// and rings are visited before the cores, so rings never join a region and
// the block's region is exactly its pixels.
void buildIsolatedBlock(CellFrame& f, int32_t bw, int32_t bh, bool dropCorner) {
  f.clear(Outside, 1.0);
  f.paint(5, 5, 5 + bw - 1, 5 + bh - 1, PositiveCore, 0.5);
  if (dropCorner) f.paint(5, 5, 5, 5, Outside, 1.0);
  f.sortPixels();
  buildCells(f.settings, f.b);
}

int32_t largestRootSize(const CellFrame& f) {
  int32_t largest = 0;
  for (int32_t r = 1; r <= f.b.regionCount; ++r) {
    const RegionRecord& region = f.b.regionTable[r];
    if (region.parent == r && region.size > largest) largest = region.size;
  }
  return largest;
}

// The second build runs on the buffers of the first: neither its regions
// nor its cells remain.
TEST(CellSeeding, CellNeedsTwoHundredPixelsAndEveryFrameStartsAfresh) {
  CellFrame f(30, 40);
  buildIsolatedBlock(f, 10, 20, false);
  EXPECT_EQ(std::pair(largestRootSize(f), cellCount(f)), std::pair(200, 1));
  EXPECT_EQ(labelAt(f, 9, 9), 1);
  EXPECT_EQ(std::pair(f.b.currentCells[1].trackId, f.b.currentCells[1].area), std::pair(1, 0));

  // 199 pixels survive the small-region removal but give no cell.
  buildIsolatedBlock(f, 10, 20, true);
  EXPECT_EQ(std::pair(largestRootSize(f), cellCount(f)), std::pair(199, 0));
  for (int32_t p = 0; p < f.b.pixelCount; ++p) ASSERT_EQ(f.b.classMap[p], 0);
}

// Region X (delta 0.9, visited first) touches region Y (30 x 30, delta 0.8)
// only through a second-ring pixel in row 10, so they can meet only in the
// second merge pass. X's region is its pixels plus two gap pixels. Returns
// {cell count, cell number of a pixel of X, cell number of a pixel of Y}.
std::vector<int32_t> contactThroughSecondRing(int32_t xw, int32_t xh, bool dropCorner) {
  const int32_t xx = 38;
  CellFrame f(xx + xw + 5, 5 + std::max(30, xh) + 5);
  f.clear(Outside, 1.0);
  f.paint(5, 5, 34, 34, PositiveCore, 0.8);
  f.paint(xx, 5, xx + xw - 1, 5 + xh - 1, PositiveCore, 0.9);
  if (dropCorner) f.paint(xx + xw - 1, 5 + xh - 1, xx + xw - 1, 5 + xh - 1, Outside, 1.0);
  f.paintDelta(35, 10, 35, 10, 0.6);
  f.paintDelta(37, 10, 37, 10, 0.6);
  f.paintDelta(36, 10, 36, 10, 0.55);
  f.sortPixels();
  buildCells(f.settings, f.b);
  EXPECT_EQ(seedAt(f, 36, 10), 4);
  return {cellCount(f), labelAt(f, xx + 1, 6), labelAt(f, 10, 10)};
}

TEST(CellSeeding, SecondMergeRemovesRegionsBelowOneHundredAndJoinsThoseBelowEightHundred) {
  const struct {
    int32_t xw, xh;
    bool dropCorner;
    std::vector<int32_t> expected;
  } cases[] = {
      {7, 14, true, {1, 0, 1}},     // 97 + 2 pixels: removed
      {7, 14, false, {1, 1, 1}},    // 98 + 2 pixels: kept and joined
      {21, 38, true, {1, 1, 1}},    // 797 + 2 pixels: joined
      {21, 38, false, {2, 1, 2}},   // 800 each: both stay, numbered as opened
  };
  for (const auto& c : cases) {
    EXPECT_EQ(contactThroughSecondRing(c.xw, c.xh, c.dropCorner), c.expected)
        << c.xw * c.xh - c.dropCorner << " pixels";
  }
}

// Region Y (30 x 30, delta 0.8) sits above region X (10 x 15, delta 0.9)
// and meets it through column 10 of the ring rows between them: (10, 35)
// joins Y, (10, 36) joins X. The second pass visits (10, 35) first, so Y
// absorbs X across the pixel below, and the merged cell is numbered after Z
// (delta 0.85, on its own), which opened before Y.
TEST(CellSeeding, SecondMergeSurvivorIsTheRegionOfTheFirstContactPixel) {
  CellFrame f(65, 58);
  f.clear(Outside, 1.0);
  f.paint(5, 5, 34, 34, PositiveCore, 0.8);
  f.paint(5, 38, 14, 52, PositiveCore, 0.9);
  f.paint(40, 5, 59, 24, PositiveCore, 0.85);
  f.paintDelta(10, 35, 10, 35, 0.6);
  f.paintDelta(10, 37, 10, 37, 0.6);
  f.paintDelta(10, 36, 10, 36, 0.55);
  f.sortPixels();
  buildCells(f.settings, f.b);
  // The cell count, then the cells of Z, Y and X.
  EXPECT_EQ((std::vector<int32_t>{cellCount(f), labelAt(f, 50, 10), labelAt(f, 20, 20), labelAt(f, 10, 45)}),
            (std::vector<int32_t>{2, 1, 2, 2}));
}

// 91 x 11 isolated blocks of 10 x 20 pixels; rings are visited first and
// stay unlabelled, so no two blocks touch: 1001 cells.
void paintBlocks(CellFrame& f, int32_t across, int32_t down) {
  f.clear(Outside, 1.0);
  for (int32_t j = 0; j < down; ++j) {
    for (int32_t i = 0; i < across; ++i) {
      const int32_t x = 1 + 11 * i;
      const int32_t y = 1 + 21 * j;
      f.paint(x, y, x + 9, y + 19, PositiveCore, 0.5);
    }
  }
  f.sortPixels();
}

// The cell table grows past its first 999 records: every block is a cell,
// numbered in the order its region opened. Only when memory runs out (here a
// limit standing in for it) does the table stop growing: the cells that fit
// keep the numbers the grown table gave, the rest get none, and the frame
// has a note for its warning.
TEST(CellSeeding, CellTableGrowsUntilMemoryRunsOutThenDropsCellsWithANote) {
  const int32_t across = 91;
  const int32_t down = 11;
  CellFrame whole(1 + 11 * across, 1 + 21 * down);
  paintBlocks(whole, across, down);
  buildCells(whole.settings, whole.b);
  EXPECT_EQ(cellCount(whole), across * down);
  EXPECT_TRUE(whole.b.capacityNote.empty()) << whole.b.capacityNote;
  EXPECT_GE(whole.b.currentCells.size(), static_cast<size_t>(across * down + 1));

  CellFrame f(1 + 11 * across, 1 + 21 * down);
  paintBlocks(f, across, down);
  f.b.tableLimit = 1000;
  buildCells(f.settings, f.b);
  EXPECT_EQ(f.b.nextCellNumber, 1000);
  EXPECT_NE(f.b.capacityNote.find("out of memory for more cells"), std::string::npos) << f.b.capacityNote;
  int32_t unnumbered = 0;
  for (int32_t p = 0; p < f.b.pixelCount; ++p) {
    const int32_t expected = whole.b.classMap[p] <= 999 ? whole.b.classMap[p] : 0;
    ASSERT_EQ(f.b.classMap[p], expected) << p;
    if (whole.b.classMap[p] > 999 && f.b.classMap[p] == 0) ++unnumbered;
  }
  EXPECT_EQ(unnumbered, (across * down - 999) * 200);
}

// Isolated seed pixels on a checkerboard; the rings between them are visited
// first, so every seed opens a region of its own: 100,352 regions.
void paintCheckerboard(CellFrame& f) {
  f.clear(Outside, 1.0);
  for (int32_t p = 0; p < f.b.pixelCount; ++p) {
    if ((p % 448 + p / 448) % 2 == 0) {
      f.b.classMap[p] = PositiveCore;
      f.b.deltaMap[p] = 0.5;
    }
  }
  f.sortPixels();
}

TEST(CellSeeding, RegionTableGrowsUntilMemoryRunsOutThenDropsRegionsWithANote) {
  CellFrame f(448, 448);
  paintCheckerboard(f);
  buildCells(f.settings, f.b);
  EXPECT_EQ(std::pair(f.b.regionCount, cellCount(f)), std::pair(448 * 448 / 2, 0));
  EXPECT_TRUE(f.b.capacityNote.empty()) << f.b.capacityNote;
  CellFrame limited(448, 448);
  paintCheckerboard(limited);
  limited.b.tableLimit = 100000;
  buildCells(limited.settings, limited.b);
  EXPECT_EQ(limited.b.regionCount, 99999);
  EXPECT_NE(limited.b.capacityNote.find("out of memory for more regions"), std::string::npos)
      << limited.b.capacityNote;
}

}  // namespace

}  // namespace focustrack
