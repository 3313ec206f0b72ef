#include "reduce/reduce.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "reduce/reference_slice.h"
#include "reduce/slope_map.h"
#include "support/small_frame.h"

namespace focustrack {

namespace {

std::vector<double> deltas(const SmallFrame& f) {
  return std::vector<double>(f.buffers.deltaMap.data(), f.buffers.deltaMap.data() + f.n());
}

// The three reduction stages as a frame runs them; returns the delta map.
std::vector<double> reduce(SmallFrame& f) {
  f.buffers.rangeFirst = 0;
  f.buffers.rangeLast = f.settings.sliceCount - 1;
  f.buffers.referenceSlice = -1;
  selectReferenceSlice(f.settings, f.buffers);
  searchSliceRange(f.settings, f.buffers);
  computeDeltaMap(f.settings, f.buffers);
  return deltas(f);
}

TEST(ComputeDeltaMapTest, DividesTheSlopesOfTheChosenRangeByTheSteepestBitForBit) {
  // Slices outside the range must not shape the slopes; every slope is
  // divided by the largest magnitude, not multiplied by its reciprocal.
  SmallFrame f(13, 11, 6);
  f.fillRandom(8);
  const double steepest = slopeMap(f.buffers, 1, 4);
  const std::vector<double> slopes = deltas(f);
  f.fillDelta(7.0);
  f.buffers.rangeFirst = 1;
  f.buffers.rangeLast = 4;
  computeDeltaMap(f.settings, f.buffers);
  for (size_t i = 0; i < f.n(); ++i) ASSERT_EQ(f.buffers.deltaMap[i], slopes[i] / steepest) << "pixel " << i;
}

TEST(ComputeDeltaMapTest, ConstantPixelsOrASingleSliceGiveAFlatMap) {
  // Every pixel keeps its grey value through focus: the largest slope is 0.
  for (int32_t slices : {5, 1}) {
    SmallFrame f(8, 8, slices);
    f.fillRandom(4);
    for (int32_t s = 1; s < slices; ++s) {
      for (size_t i = 0; i < f.n(); ++i) f.plane(s)[i] = f.plane(0)[i];
    }
    f.settings.sliceTrimLimit = 4;
    f.fillDelta(-3.0);
    for (double d : reduce(f)) {
      EXPECT_EQ(d, 0.0);
      EXPECT_FALSE(std::signbit(d));
    }
    EXPECT_EQ(f.buffers.referenceSlice, 0);
    EXPECT_EQ(f.buffers.rangeFirst, 0);
    EXPECT_EQ(f.buffers.rangeLast, slices - 1);
  }
}

}  // namespace

}  // namespace focustrack
