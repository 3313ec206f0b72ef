#include "reduce/delta_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "reduce/reference_slice.h"
#include "reduce/slice_range.h"
#include "reduce/small_frame.h"

namespace {

// The three reduction stages as a frame runs them.
void reduce(SmallFrame& f) {
  f.buffers.rangeFirst = 0;
  f.buffers.rangeLast = f.settings.sliceCount - 1;
  f.buffers.referenceSlice = -1;
  selectReferenceSlice(f.settings, f.buffers);
  searchSliceRange(f.settings, f.buffers);
  computeDeltaMap(f.settings, f.buffers);
}

std::vector<double> deltas(const SmallFrame& f) {
  return std::vector<double>(f.buffers.deltaMap.data(), f.buffers.deltaMap.data() + f.n());
}

TEST(ComputeDeltaMapTest, OneRampingPixelGetsOne) {
  SmallFrame f(8, 8, 5);
  for (int32_t s = 0; s < 5; ++s) {
    f.fillPlane(s, 100);
    f.grey(s, 3, 2) = static_cast<uint8_t>(100 + 10 * s);
  }
  f.settings.sliceTrimLimit = 0;
  reduce(f);
  for (int32_t y = 0; y < 8; ++y) {
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(f.delta(x, y), (x == 3 && y == 2) ? 1.0 : 0.0);
  }
}

TEST(ComputeDeltaMapTest, DividesBySteepestSlopeOfEitherSign) {
  SmallFrame f(3, 1, 3);
  const int values[3][3] = {{50, 50, 50}, {60, 50, 46}, {70, 50, 42}};
  for (int32_t s = 0; s < 3; ++s) {
    for (int32_t x = 0; x < 3; ++x) f.grey(s, x, 0) = static_cast<uint8_t>(values[s][x]);
  }
  computeDeltaMap(f.settings, f.buffers);
  EXPECT_EQ(f.delta(0, 0), 1.0);
  EXPECT_EQ(f.delta(1, 0), 0.0);
  EXPECT_EQ(f.delta(2, 0), -0.4);
}

TEST(ComputeDeltaMapTest, ReversedSlicesFlipEverySign) {
  SmallFrame f(13, 11, 16);
  f.fillRandom(5);
  f.settings.sliceTrimLimit = 0;
  reduce(f);
  const std::vector<double> forward = deltas(f);
  for (int32_t s = 0; s < 8; ++s) {
    for (size_t i = 0; i < f.n(); ++i) std::swap(f.plane(s)[i], f.plane(15 - s)[i]);
  }
  reduce(f);
  double extreme = 0.0;
  for (size_t i = 0; i < f.n(); ++i) {
    EXPECT_EQ(f.buffers.deltaMap[i], -forward[i]) << "pixel " << i;
    extreme = std::max(extreme, std::fabs(forward[i]));
  }
  EXPECT_EQ(extreme, 1.0);
}

TEST(ComputeDeltaMapTest, OffsetAndScaleOfGreyValuesChangeNothing) {
  SmallFrame f(9, 7, 16);
  f.fillRandom(9, 10, 60);
  f.settings.sliceTrimLimit = 0;
  reduce(f);
  const std::vector<double> original = deltas(f);
  const size_t total = f.n() * 16;
  for (size_t i = 0; i < total; ++i)
    f.buffers.sliceStack[i] = static_cast<uint8_t>(f.buffers.sliceStack[i] + 100);
  reduce(f);
  for (size_t i = 0; i < f.n(); ++i) EXPECT_NEAR(f.buffers.deltaMap[i], original[i], 1e-12);
  for (size_t i = 0; i < total; ++i) {
    f.buffers.sliceStack[i] = static_cast<uint8_t>((f.buffers.sliceStack[i] - 100) * 4);
  }
  reduce(f);
  for (size_t i = 0; i < f.n(); ++i) EXPECT_NEAR(f.buffers.deltaMap[i], original[i], 1e-12);
}

TEST(ComputeDeltaMapTest, ConstantPixelsGiveAFlatMap) {
  // Every pixel keeps its grey value through focus: the largest slope is 0.
  SmallFrame f(8, 8, 5);
  f.fillRandom(4);
  for (int32_t s = 1; s < 5; ++s) {
    for (size_t i = 0; i < f.n(); ++i) f.plane(s)[i] = f.plane(0)[i];
  }
  f.settings.sliceTrimLimit = 4;
  f.fillDelta(7.0);
  reduce(f);
  EXPECT_EQ(f.buffers.rangeFirst, 0);
  EXPECT_EQ(f.buffers.rangeLast, 4);
  for (size_t i = 0; i < f.n(); ++i) EXPECT_EQ(f.buffers.deltaMap[i], 0.0);
}

TEST(ComputeDeltaMapTest, SingleSliceGivesAFlatMap) {
  SmallFrame f(8, 8, 1);
  f.fillRandom(4);
  f.fillDelta(-3.0);
  reduce(f);
  EXPECT_EQ(f.buffers.referenceSlice, 0);
  for (size_t i = 0; i < f.n(); ++i) {
    EXPECT_EQ(f.buffers.deltaMap[i], 0.0);
    EXPECT_FALSE(std::signbit(f.buffers.deltaMap[i]));
  }
}

TEST(ComputeDeltaMapTest, UsesTheChosenRangeOnly) {
  // Slices outside the range must not shape the slopes.
  SmallFrame f(4, 4, 6);
  f.fillRandom(8);
  f.buffers.rangeFirst = 1;
  f.buffers.rangeLast = 4;
  computeDeltaMap(f.settings, f.buffers);
  const std::vector<double> inRange = deltas(f);
  f.fillPlane(0, 255);
  f.fillPlane(5, 0);
  computeDeltaMap(f.settings, f.buffers);
  EXPECT_EQ(deltas(f), inRange);
}

TEST(ComputeDeltaMapTest, DefaultStackWithoutNarrowerRangeUsesAllSixteenSlices) {
  // Opposite ramps in every slice range: all mismatches are flat, every
  // candidate ties and the full stack, visited first, stays.
  SmallFrame f(2, 1, 16);
  for (int32_t s = 0; s < 16; ++s) {
    f.grey(s, 0, 0) = static_cast<uint8_t>(10 + 5 * s);
    f.grey(s, 1, 0) = static_cast<uint8_t>(200 - 5 * s);
  }
  reduce(f);
  EXPECT_EQ(f.buffers.rangeFirst, 0);
  EXPECT_EQ(f.buffers.rangeLast, 15);
  EXPECT_EQ(f.delta(0, 0), 1.0);
  EXPECT_EQ(f.delta(1, 0), -1.0);
}

}  // namespace
