#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "cells/cells.h"
#include "frame/predicates.h"
#include "support/cell_fixture.h"

namespace focustrack {
namespace {

// Three 10 x 10 cells away from the border, completed, with an empty device
// mask ready to be painted.
struct FilterFrame : CellFrame {
  FilterFrame() : CellFrame(60, 20) {
    paint(3, 3, 12, 12, 1);
    paint(20, 3, 29, 12, 2);
    paint(40, 3, 49, 7, 3);  // 10 x 5: a flat cell
    setLabelsAsBuilt(3);
    sortPixels();
    completeCells(settings, b);
    b.deviceMask.obtain(static_cast<uint64_t>(b.pixelCount));
  }
  void device(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x) b.deviceMask[at(x, y)] = 1;
  }
  bool excluded(int32_t c) const { return b.currentCells[c].excluded != 0; }
  std::vector<bool> excludedCells() const { return {excluded(1), excluded(2), excluded(3)}; }
};

TEST(CellFilters, HalfOfItsPixelsOnTheDeviceExcludesACell) {
  FilterFrame f;
  // The stripped corners of the painted squares leave 96 pixels per cell.
  f.device(3, 3, 12, 7);    // cell 1: 48 of 96 pixels, exactly half
  f.device(20, 3, 29, 7);   // cell 2: one pixel less than half
  f.b.deviceMask[f.at(29, 7)] = 0;
  excludeFilteredCells(f.settings, f.b);
  EXPECT_EQ(f.excludedCells(), (std::vector<bool>{true, false, false}));
}

TEST(CellFilters, AreaAndCircularityLimitsExcludeBeyondButNotAtTheLimit) {
  const FilterFrame measured;
  const int32_t square = measured.b.currentCells[1].area;  // cells 1 and 2 alike
  const int32_t flat = measured.b.currentCells[3].area;
  const double squareRound = cellCircularity(measured.b.currentCells[1]);
  const double flatRound = cellCircularity(measured.b.currentCells[3]);
  ASSERT_LT(flat, square);
  ASSERT_LT(flatRound, squareRound);
  struct Case {
    int32_t minArea, maxArea;
    double minCircularity;
    bool square, flat;
  };
  const Case cases[] = {
      {0, 0, 0.0, false, false},           {flat + 1, 0, 0.0, false, true},
      {flat, 0, 0.0, false, false},        {0, square - 1, 0.0, true, false},
      {0, square, 0.0, false, false},      {0, 0, flatRound, false, false},
      {0, 0, std::nextafter(flatRound, 1.0), false, true},
  };
  for (const Case& c : cases) {
    FilterFrame f;
    f.b.deviceMask.release();
    f.settings.minArea = c.minArea;
    f.settings.maxArea = c.maxArea;
    f.settings.minCircularity = c.minCircularity;
    excludeFilteredCells(f.settings, f.b);
    SCOPED_TRACE(testing::Message() << c.minArea << " " << c.maxArea << " " << c.minCircularity);
    EXPECT_EQ(f.excludedCells(), (std::vector<bool>{c.square, c.square, c.flat}));
  }
}

}  // namespace
}  // namespace focustrack
