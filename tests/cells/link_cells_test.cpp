#include "cells/cells.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/cell_fixture.h"

namespace focustrack {

namespace {

const CellRecord& cur(const CellFrame& f, int32_t k) { return f.b.currentCells[k]; }
const CellRecord& prev(const CellFrame& f, int32_t k) { return f.b.previousCells[k]; }

// Link counts and partners: current cells 1..n, then previous cells 1..m.
std::vector<int32_t> links(const CellFrame& f, int32_t n, int32_t m) {
  std::vector<int32_t> v;
  for (int32_t k = 1; k <= n + m; ++k) {
    const CellRecord& r = k <= n ? cur(f, k) : prev(f, k - n);
    v.push_back(r.linkCount);
    v.push_back(r.partner);
  }
  return v;
}

TEST(CellLinking, FirstFrameIsSkippedAndAnEmptyPreviousFrameGivesNoPartners) {
  CellFrame f(20, 20);
  f.paint(2, 2, 8, 8, 1);
  f.setLabelsAsBuilt(1);
  for (int32_t k = 0; k < 4; ++k) f.b.linkPairCounts[k] = 9;
  linkCells(f.settings, f.b);
  for (int32_t k = 0; k < 4; ++k) EXPECT_EQ(f.b.linkPairCounts[k], 9);
  EXPECT_EQ(links(f, 1, 0), (std::vector<int32_t>{0, 0}));

  f.setPrevious(MapPainter(20, 20).cells, 0);
  linkCells(f.settings, f.b);
  EXPECT_EQ(links(f, 1, 0), (std::vector<int32_t>{0, 0}));
}

TEST(CellLinking, SingleContactsLinkAndDoublyPartneredPairsAreRejected) {
  CellFrame f(50, 40);
  f.setPrevious(MapPainter(50, 40).rect(10, 10, 19, 29, 1).rect(20, 10, 29, 29, 2).cells, 2);
  f.paint(12, 10, 21, 29, 1);
  f.paint(22, 10, 31, 29, 2);
  f.setLabelsAsBuilt(2);
  linkCells(f.settings, f.b);
  EXPECT_EQ(links(f, 2, 2), (std::vector<int32_t>{2, 1, 1, 2, 1, 1, 2, 2}));
  EXPECT_EQ(f.pair(1, 1), -1);
  EXPECT_EQ(f.pair(2, 2), -1);
  EXPECT_EQ(f.pair(2, 1), -2);
  EXPECT_EQ(f.pair(1, 2), 0);
}

// Previous cells split the square 10..29 x 10..39 into a top part of 12
// rows and a bottom part of 8; current cells split it into columns of 13,
// 10 and 7. Every pixel overlaps, so each pair counts two per shared pixel.
TEST(CellLinking, StrongestFreePairsFirstThenRemainingFreeCells) {
  CellFrame f(50, 40);
  f.setPrevious(MapPainter(50, 40).rect(10, 10, 39, 21, 1).rect(10, 22, 39, 29, 2).cells, 2);
  f.paint(10, 10, 22, 29, 1);
  f.paint(23, 10, 32, 29, 2);
  f.paint(33, 10, 39, 29, 3);
  f.setLabelsAsBuilt(3);
  linkCells(f.settings, f.b);
  // Linked: (1,1) 312 and (2,2) 160 as free pairs, then (1,3) 168 for the
  // still free current cell 3, which takes previous cell 1 over.
  EXPECT_EQ(f.pair(1, 1), -1);
  EXPECT_EQ(f.pair(2, 2), -1);
  EXPECT_EQ(f.pair(1, 3), -1);
  EXPECT_EQ(f.pair(1, 2), 240);
  EXPECT_EQ(f.pair(2, 1), 208);
  EXPECT_EQ(f.pair(2, 3), 112);
  EXPECT_EQ(cur(f, 1).partner, 1);
  EXPECT_EQ(cur(f, 2).partner, 2);
  EXPECT_EQ(cur(f, 3).partner, 1);
  EXPECT_EQ(prev(f, 1).partner, 3);
  EXPECT_EQ(prev(f, 2).partner, 2);
}

TEST(CellLinking, EqualCountsFollowTheIndexSortOrder) {
  // Four equal quadrant pairs of 200. The sort leaves the pair list
  // (2,1) (2,2) (1,1) (1,2); walked from its end, (1,2) and then (2,1) link.
  CellFrame f(40, 40);
  f.setPrevious(MapPainter(40, 40).rect(10, 10, 29, 19, 1).rect(10, 20, 29, 29, 2).cells, 2);
  f.paint(10, 10, 19, 29, 1);
  f.paint(20, 10, 29, 29, 2);
  f.setLabelsAsBuilt(2);
  linkCells(f.settings, f.b);
  EXPECT_EQ(cur(f, 1).partner, 2);
  EXPECT_EQ(cur(f, 2).partner, 1);
  EXPECT_EQ(f.pair(1, 1), 200);
  EXPECT_EQ(f.pair(2, 2), 200);
}

TEST(CellLinking, ReachIsTenPixels) {
  for (const int32_t gap : {10, 11}) {
    CellFrame f(60, 40);
    f.setPrevious(MapPainter(60, 40).rect(12, 15, 16, 24, 1).cells, 1);
    f.paint(16 + gap, 15, 20 + gap, 24, 1);
    f.setLabelsAsBuilt(1);
    linkCells(f.settings, f.b);
    const bool reached = gap == 10;
    EXPECT_EQ(cur(f, 1).linkCount, reached ? 1 : 0) << gap;
    EXPECT_EQ(cur(f, 1).partner, reached ? 1 : 0) << gap;
    EXPECT_EQ(prev(f, 1).partner, reached ? 1 : 0) << gap;
  }
}

TEST(CellLinking, WalkStopsAtTheFirstOffsetOutsideTheImage) {
  // Columns 5 apart. In an 8-pixel-wide image both columns lie 1 pixel from
  // an edge: each walk leaves the image at distance 2 and never reaches the
  // other cell.
  CellFrame narrow(8, 30);
  narrow.setPrevious(MapPainter(8, 30).rect(6, 5, 6, 24, 1).cells, 1);
  narrow.paint(1, 5, 1, 24, 1);
  narrow.setLabelsAsBuilt(1);
  linkCells(narrow.settings, narrow.b);
  EXPECT_EQ(cur(narrow, 1).partner, 0);
  EXPECT_EQ(narrow.pair(1, 1), 0);

  // One column near the edge: only the other column's pixels count.
  CellFrame half(30, 30);
  half.setPrevious(MapPainter(30, 30).rect(6, 5, 6, 24, 1).cells, 1);
  half.paint(1, 5, 1, 24, 1);
  half.paint(20, 5, 28, 24, 2);  // out of reach of both, keeps the pair open
  half.setLabelsAsBuilt(2);
  linkCells(half.settings, half.b);
  EXPECT_EQ(cur(half, 1).partner, 1);
  EXPECT_EQ(cur(half, 2).partner, 0);
}

TEST(CellLinking, SplitGivesBothCurrentCellsThePreviousCell) {
  CellFrame f(50, 40);
  f.setPrevious(MapPainter(50, 40).rect(10, 10, 29, 19, 1).cells, 1);
  f.paint(10, 10, 18, 19, 1);
  f.paint(21, 10, 29, 19, 2);
  f.setLabelsAsBuilt(2);
  linkCells(f.settings, f.b);
  EXPECT_EQ(cur(f, 1).partner, 1);
  EXPECT_EQ(cur(f, 2).partner, 1);
  EXPECT_EQ(prev(f, 1).partner, 2);  // the last in ascending order
  EXPECT_EQ(prev(f, 1).linkCount, 2);
}

TEST(CellLinking, FusionGivesBothPreviousCellsTheCurrentCell) {
  CellFrame f(50, 40);
  f.setPrevious(MapPainter(50, 40).rect(10, 10, 18, 19, 1).rect(21, 10, 29, 19, 2).cells, 2);
  f.paint(10, 10, 29, 19, 1);
  f.setLabelsAsBuilt(1);
  linkCells(f.settings, f.b);
  EXPECT_EQ(prev(f, 1).partner, 1);
  EXPECT_EQ(prev(f, 2).partner, 1);
  EXPECT_EQ(cur(f, 1).partner, 2);  // the higher-numbered previous cell
  EXPECT_EQ(cur(f, 1).linkCount, 2);
}

TEST(CellLinking, PreviousPartnersAreResetBeforeCounting) {
  CellFrame f(50, 40);
  f.setPrevious(MapPainter(50, 40).rect(10, 10, 18, 19, 1).rect(35, 25, 40, 30, 2).cells, 2);
  f.paint(10, 10, 18, 19, 1);
  f.setLabelsAsBuilt(1);
  linkCells(f.settings, f.b);
  EXPECT_EQ(prev(f, 2).partner, 0);
  EXPECT_EQ(prev(f, 2).linkCount, 0);
  EXPECT_EQ(prev(f, 1).partner, 1);
}

}  // namespace

}  // namespace focustrack
