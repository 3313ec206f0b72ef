#include "classify/core_census.h"

#include <gtest/gtest.h>

#include "support/small_frame.h"

namespace focustrack {

namespace {

void paint(SmallFrame& f, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t pixelClass) {
  for (int32_t y = y0; y <= y1; ++y) {
    for (int32_t x = x0; x <= x1; ++x) f.buffers.classMap[static_cast<size_t>(y * f.settings.width + x)] = pixelClass;
  }
}

CoreCensus censusOf(SmallFrame& f) {
  takeCoreCensus(f.buffers);
  return f.buffers.coreCensus;
}

}  // namespace

TEST(CoreCensus, InteriorInsideItsHaloAndBothSigns) {
  SmallFrame f(60, 40, 2);
  paint(f, 0, 0, 59, 39, Outside);
  // A cell as the right slice order shows it: a positive interior of 256
  // pixels in a negative halo of 228.
  paint(f, 4, 4, 25, 25, NegativeCore);
  paint(f, 7, 7, 22, 22, PositiveCore);
  // The reverse beside it, smaller: a negative interior of 100 pixels in a
  // positive halo of 96.
  paint(f, 34, 4, 47, 17, PositiveCore);
  paint(f, 36, 6, 45, 15, NegativeCore);
  CoreCensus c = censusOf(f);
  EXPECT_EQ(c.cellSizedPositive, 1);
  EXPECT_EQ(c.cellSizedNegative, 1);
  EXPECT_EQ(c.nestedPositive, 1);
  EXPECT_EQ(c.nestedNegative, 1);
  // A margin pixel between interior and halo: that interior is no longer
  // wholly inside one core.
  paint(f, 22, 15, 22, 15, Margin);
  c = censusOf(f);
  EXPECT_EQ(c.nestedPositive, 0);
  EXPECT_EQ(c.cellSizedPositive, 1);
}

TEST(CoreCensus, BorderRegionsAndTwoSurroundingCoresDoNotCount) {
  SmallFrame f(50, 30, 2);
  paint(f, 0, 0, 49, 29, Outside);
  // Touches the top border: not counted however large.
  paint(f, 30, 0, 48, 20, PositiveCore);
  // A positive core of 120 pixels ringed by two negative cores that meet
  // only corner to corner: not inside one core.
  paint(f, 15, 10, 26, 19, PositiveCore);
  paint(f, 14, 9, 26, 9, NegativeCore);   // top and left: one core
  paint(f, 14, 9, 14, 19, NegativeCore);
  paint(f, 15, 20, 27, 20, NegativeCore);  // bottom and right: the other
  paint(f, 27, 10, 27, 20, NegativeCore);
  CoreCensus c = censusOf(f);
  EXPECT_EQ(c.cellSizedPositive, 0);
  EXPECT_EQ(c.cellSizedNegative, 0);
  EXPECT_EQ(c.nestedPositive, 0);
  EXPECT_EQ(c.nestedNegative, 0);
  // Joined at one corner, the two are one core around it.
  paint(f, 27, 9, 27, 9, NegativeCore);
  c = censusOf(f);
  EXPECT_EQ(c.nestedPositive, 1);
}

}  // namespace focustrack
