#include "cells/cells.h"

#include <gtest/gtest.h>

#include "support/cell_fixture.h"

namespace focustrack {

namespace {

const CellRecord& cur(const CellFrame& f, int32_t k) { return f.b.currentCells[k]; }
const CellRecord& prev(const CellFrame& f, int32_t k) { return f.b.previousCells[k]; }

// Previous cell 1 covers columns 10..29; current cells 1 (10..19) and 2
// (20..29) touch each other and both lie on it, so both take it as partner.
// Deltas: an inner pixel of cell 1 is highest but touches no other cell;
// cell 2's contact column comes next, cell 1's contact column after it.
// Current cell 3 lies alone on previous cell 2, further right.
void touchingFragments(CellFrame& f, double cell2Contact, double cell1Contact) {
  f.setPrevious(MapPainter(50, 40).rect(10, 10, 29, 19, 1).rect(35, 10, 44, 19, 2).cells, 2);
  f.paint(10, 10, 19, 19, 1, 0.5);
  f.paint(20, 10, 29, 19, 2, 0.5);
  f.paint(35, 10, 44, 19, 3);
  f.setLabelsAsBuilt(3);
  f.paintDelta(12, 12, 12, 12, 0.9);
  f.paintDelta(20, 10, 20, 19, cell2Contact);
  f.paintDelta(19, 10, 19, 19, cell1Contact);
  f.sortPixels();
  f.b.frameOrdinal = 2;
  linkCells(f.settings, f.b);
  ASSERT_EQ(cur(f, 1).partner, 1);
  ASSERT_EQ(cur(f, 2).partner, 1);
  ASSERT_EQ(cur(f, 3).partner, 2);
}

// The fragment whose contact comes first in delta order survives; the other
// is painted over, keeps an empty record whose parent is the survivor, and
// loses its link. The cell with a partner of its own stays as it was.
TEST(CellFragments, TouchingFragmentsMergeIntoTheFirstContactInDeltaOrder) {
  const struct {
    double cell2Contact, cell1Contact;
    int32_t survivor, gone;
  } cases[] = {{0.8, 0.7, 2, 1}, {0.7, 0.8, 1, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.survivor);
    CellFrame f(50, 40);
    touchingFragments(f, c.cell2Contact, c.cell1Contact);
    mergeFragments(f.settings, f.b);
    for (int32_t y = 10; y <= 19; ++y)
      for (int32_t x = 10; x <= 29; ++x) ASSERT_EQ(f.b.classMap[f.at(x, y)], c.survivor) << x << "," << y;
    EXPECT_EQ(f.b.classMap[f.at(40, 15)], 3);
    EXPECT_EQ(cur(f, c.gone).trackId, c.survivor);
    EXPECT_EQ(cur(f, 3).trackId, 3);
    ASSERT_EQ(f.b.linkRecordCount(), 2);
    EXPECT_EQ(f.b.linkRecords[0].currentCell, c.survivor);
    EXPECT_EQ(f.b.linkRecords[1].currentCell, 3);
    EXPECT_EQ(cur(f, c.survivor).linkCount, 1);
    EXPECT_EQ(std::pair(cur(f, c.gone).partner, cur(f, c.gone).linkCount), std::pair(0, 0));
    EXPECT_EQ(prev(f, 1).linkCount, 1);
  }
}

}  // namespace

}  // namespace focustrack
