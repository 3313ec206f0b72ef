// Stack reduction of 16-bit slices: the same kernels as for 8-bit slices,
// with exact integer energies. Their slopes and range search are compared
// with the plain forms in slice_range_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "reduce/reduce.h"
#include "reduce/reference_slice.h"
#include "reduce/slope_map.h"
#include "support/small_frame.h"

namespace focustrack {

namespace {

// A frame whose 16-bit stack holds `scale` x the 8-bit one plus `offset`.
void makeSixteen(SmallFrame& eight, SmallFrame& sixteen, int scale, int offset) {
  ASSERT_TRUE(obtainSixteenBitStack(sixteen.buffers));
  sixteen.buffers.sampleBits = 16;
  const size_t count = eight.n() * static_cast<size_t>(eight.settings.sliceCount);
  for (size_t i = 0; i < count; ++i) {
    sixteen.buffers.sliceStack16[i] = static_cast<uint16_t>(eight.buffers.sliceStack[i] * scale + offset);
  }
}

uint16_t* plane16(SmallFrame& f, int32_t s) { return f.buffers.sliceStack16.data() + static_cast<size_t>(s) * f.n(); }

void reduce(SmallFrame& f, int32_t trim) {
  f.settings.sliceTrimLimit = trim;
  beginFrame(f.buffers);
  selectReferenceSlice(f.settings, f.buffers);
  searchSliceRange(f.settings, f.buffers);
  computeDeltaMap(f.settings, f.buffers);
}

}  // namespace

TEST(SixteenBitReduction, EnergiesAreExactIntegers) {
  // A checkerboard of the two extremes: every neighbour pair differs by 65535.
  const int32_t width = 5, height = 4;
  std::vector<uint16_t> board(width * height);
  for (int32_t i = 0; i < width * height; ++i) board[i] = ((i % width + i / width) % 2) ? 65535 : 0;
  const int64_t pairs = int64_t{height} * (width - 1) + int64_t{height - 1} * width;
  EXPECT_EQ(neighbourEnergy(board.data(), width, width * height), pairs * 65535 * 65535);
  // Values times 257 give 257^2 times the energy, so the choice of slice is the same.
  SmallFrame eight(23, 17, 6);
  eight.fillRandom(5);
  SmallFrame sixteen(23, 17, 6);
  makeSixteen(eight, sixteen, 257, 0);
  for (int32_t s = 0; s < 6; ++s) {
    EXPECT_EQ(neighbourEnergy(plane16(sixteen, s), 23, 23 * 17),
              257 * 257 * neighbourEnergy(eight.plane(s), 23, 23 * 17));
  }
}

TEST(SixteenBitReduction, TimesTwoFiftySevenChoosesTheSameSlicesAndNearlyTheSameMap) {
  for (uint32_t seed : {3u, 4u, 5u}) {
    SmallFrame eight(31, 24, 8);
    eight.fillRandom(seed, 60, 200);
    SmallFrame sixteen(31, 24, 8);
    makeSixteen(eight, sixteen, 257, 0);
    reduce(eight, 4);
    reduce(sixteen, 4);
    EXPECT_EQ(sixteen.buffers.referenceSlice, eight.buffers.referenceSlice);
    EXPECT_EQ(sixteen.buffers.rangeFirst, eight.buffers.rangeFirst);
    EXPECT_EQ(sixteen.buffers.rangeLast, eight.buffers.rangeLast);
    // Means of values 257 times larger round differently, so the map
    // agrees to the last few bits only.
    for (size_t i = 0; i < eight.n(); ++i) {
      ASSERT_NEAR(sixteen.buffers.deltaMap[i], eight.buffers.deltaMap[i], 1e-13) << "pixel " << i;
    }
  }
}

}  // namespace focustrack
