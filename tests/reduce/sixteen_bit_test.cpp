// Stack reduction of 16-bit slices: the same kernels as for 8-bit slices,
// with exact integer energies and the same double arithmetic for slopes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
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

// The slope of one pixel as defined, every sum in slice order.
double plainSlope16(SmallFrame& f, size_t i, int32_t first, int32_t last) {
  double sum = 0.0;
  for (int32_t s = first; s <= last; ++s) sum += plane16(f, s)[i];
  const double mean = sum / (last - first + 1);
  const double meanSlice = (first + last) / 2.0;
  double numerator = 0.0;
  double denominator = 0.0;
  for (int32_t s = first; s <= last; ++s) {
    numerator += (plane16(f, s)[i] - mean) * (s - meanSlice);
    denominator += (s - meanSlice) * (s - meanSlice);
  }
  return numerator / denominator;
}

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

TEST(SixteenBitReduction, SlopesMatchThePlainSlopeBitForBit) {
  SmallFrame eight(37, 29, 12);
  eight.fillRandom(9);
  SmallFrame f(37, 29, 12);
  makeSixteen(eight, f, 251, 1000);
  const int32_t ranges[][2] = {{0, 11}, {2, 9}, {5, 6}};
  for (const auto& r : ranges) {
    const double m = slopeMap(f.buffers, r[0], r[1]);
    double largest = 0.0;
    for (size_t i = 0; i < f.n(); ++i) {
      const double expected = plainSlope16(f, i, r[0], r[1]);
      ASSERT_EQ(std::memcmp(&expected, &f.buffers.deltaMap[i], sizeof(double)), 0) << "pixel " << i;
      largest = std::max(largest, std::fabs(expected));
    }
    EXPECT_EQ(m, largest);
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

TEST(SixteenBitReduction, GreyBoundsOfTheReferenceComeFromItsOwnValues) {
  // Values of 1000 and more: bounds started at 255 would misplace the
  // normalised reference, and the mismatch energies with it. Values 251
  // times the 8-bit ones plus 1000 normalise to the same quotients, so the
  // search chooses the same range.
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    SmallFrame a(29, 21, 9);
    a.fillRandom(seed, 20, 230);
    SmallFrame b(29, 21, 9);
    makeSixteen(a, b, 251, 1000);
    reduce(a, 4);
    reduce(b, 4);
    EXPECT_EQ(b.buffers.rangeFirst, a.buffers.rangeFirst) << seed;
    EXPECT_EQ(b.buffers.rangeLast, a.buffers.rangeLast) << seed;
  }
}

}  // namespace focustrack
