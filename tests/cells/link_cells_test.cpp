#include "cells/cells.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "support/cell_fixture.h"

namespace focustrack {

namespace {

const CellRecord& cur(const CellFrame& f, int32_t k) { return f.b.currentCells[k]; }
const CellRecord& prev(const CellFrame& f, int32_t k) { return f.b.previousCells[k]; }

TEST(CellLinking, EqualCountsFollowTheIndexSortOrder) {
  // Four equal quadrant pairs of 200. The sort leaves the pair list
  // (2,1) (2,2) (1,1) (1,2); walked from its end, (1,2) and then (2,1) link.
  CellFrame f(40, 40);
  f.setPrevious(MapPainter(40, 40).rect(10, 10, 29, 19, 1).rect(10, 20, 29, 29, 2).cells, 2);
  f.paint(10, 10, 19, 29, 1);
  f.paint(20, 10, 29, 29, 2);
  f.setLabelsAsBuilt(2);
  linkCells(f.settings, f.b);
  EXPECT_EQ(std::pair(cur(f, 1).partner, cur(f, 2).partner), std::pair(2, 1));
  EXPECT_EQ(std::pair(f.pair(1, 1), f.pair(2, 2)), std::pair(200, 200));
}

TEST(CellLinking, ReachIsTenPixels) {
  for (const int32_t gap : {10, 11}) {
    CellFrame f(60, 40);
    f.setPrevious(MapPainter(60, 40).rect(12, 15, 16, 24, 1).cells, 1);
    f.paint(16 + gap, 15, 20 + gap, 24, 1);
    f.setLabelsAsBuilt(1);
    linkCells(f.settings, f.b);
    // Link count and partner of the current cell, partner of the previous one.
    EXPECT_EQ((std::vector<int32_t>{cur(f, 1).linkCount, cur(f, 1).partner, prev(f, 1).partner}),
              std::vector<int32_t>(3, gap == 10 ? 1 : 0))
        << gap;
  }
}

// Only pixels at least 10 from every edge may walk without the edge test.
// Each case puts a current pixel where the test is first needed and a
// previous pixel that only a walk without it reaches: through the wrapped
// row, or after the first offset that leaves the image ((-10, 0) comes after
// (0, -10) and (0, 10) in the walk). None of them links.
TEST(CellLinking, PixelsNearerThanTenToAnEdgeWalkWithTheEdgeTest) {
  struct Case {
    const char* edge;
    int32_t curX, curY, prevX, prevY;
  };
  const Case cases[] = {
      {"left", 9, 20, 59, 19}, {"right", 50, 20, 0, 21}, {"top", 20, 9, 10, 9}, {"bottom", 20, 30, 10, 30}};
  for (const Case& c : cases) {
    CellFrame f(60, 40);
    f.setPrevious(MapPainter(60, 40).rect(c.prevX, c.prevY, c.prevX, c.prevY, 1).cells, 1);
    f.paint(c.curX, c.curY, c.curX, c.curY, 1);
    f.setLabelsAsBuilt(1);
    linkCells(f.settings, f.b);
    EXPECT_EQ(std::pair(f.pair(1, 1), cur(f, 1).partner), std::pair(0, 0)) << c.edge;
  }
}

// 40 x 28 one-pixel cells 22 pixels apart, out of reach of each other, in
// both frames at the same places: 1120 cells each, whose 1121 x 1121 pair
// area is larger than the first 1000 x 1000.
struct ManyCells {
  static constexpr int32_t kAcross = 40;
  static constexpr int32_t kDown = 28;
  static constexpr int32_t kCount = kAcross * kDown;
  CellFrame f{kAcross * 22, kDown * 22};
  ManyCells() {
    EXPECT_TRUE(makeRoom(f.b, f.b.currentCells, kCount));
    EXPECT_TRUE(makeRoom(f.b, f.b.previousCells, kCount));
    MapPainter previous(f.width(), f.height());
    for (int32_t k = 1; k <= kCount; ++k) {
      const int32_t x = 11 + 22 * ((k - 1) % kAcross);
      const int32_t y = 11 + 22 * ((k - 1) / kAcross);
      previous.rect(x, y, x, y, k);
      f.paint(x, y, x, y, k);
    }
    f.setPrevious(previous.cells, kCount);
    f.setLabelsAsBuilt(kCount);
  }
};

TEST(CellLinking, PairAreaGrowsWithTheCellCounts) {
  ManyCells many;
  CellFrame& f = many.f;
  linkCells(f.settings, f.b);
  EXPECT_FALSE(f.b.linkingSkipped);
  EXPECT_TRUE(f.b.capacityNote.empty()) << f.b.capacityNote;
  EXPECT_GE(f.b.linkPairCounts.size(), size_t{1121} * 1121);
  for (int32_t k = 1; k <= ManyCells::kCount; ++k) {
    ASSERT_EQ(std::tuple(cur(f, k).partner, prev(f, k).partner, f.pair(k, k)), std::tuple(k, k, -1)) << k;
  }
}

// When memory runs out for the pair area the frame's cells get no links, and
// the later stages read no stale pair counts.
TEST(CellLinking, PairAreaThatCannotGrowLeavesTheFrameUnlinked) {
  ManyCells many;
  CellFrame& f = many.f;
  f.b.tableLimit = f.b.linkPairCounts.size();
  linkCells(f.settings, f.b);
  EXPECT_TRUE(f.b.linkingSkipped);
  EXPECT_NE(f.b.capacityNote.find("out of memory for the pairs of 1120 and 1120 cells"), std::string::npos)
      << f.b.capacityNote;
  for (int32_t k = 1; k <= ManyCells::kCount; ++k) ASSERT_EQ(cur(f, k).partner, 0);
  const size_t before = f.b.linkRecords.size();
  mergeFragments(f.settings, f.b);
  EXPECT_EQ(f.b.linkRecords.size(), before);
  // The next frame links again.
  f.b.tableLimit = UINT64_MAX;
  linkCells(f.settings, f.b);
  EXPECT_FALSE(f.b.linkingSkipped);
}

}  // namespace

}  // namespace focustrack
