#include "reduce/reference_slice.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "reduce/small_frame.h"

namespace {

// Pixel by pixel, the left term before the upper one, as the energy is
// defined.
double plainEnergy(const std::vector<double>& v, int32_t width) {
  double energy = 0.0;
  for (size_t i = 0; i < v.size(); ++i) {
    const size_t x = i % static_cast<size_t>(width);
    const size_t y = i / static_cast<size_t>(width);
    if (x > 0) energy += (v[i] - v[i - 1]) * (v[i] - v[i - 1]);
    if (y > 0) energy += (v[i] - v[i - width]) * (v[i] - v[i - width]);
  }
  return energy;
}

TEST(NeighbourEnergyTest, SumsLeftAndUpperDifferencesOfBytes) {
  // 1 2
  // 4 8 : horizontal 1 + 16, vertical 9 + 36.
  const uint8_t v[] = {1, 2, 4, 8};
  EXPECT_EQ(neighbourEnergy(v, 2, 4), 62);
}

TEST(NeighbourEnergyTest, WidthOneHasOnlyVerticalTerms) {
  const uint8_t v[] = {1, 4, 9, 9};
  EXPECT_EQ(neighbourEnergy(v, 1, 4), 9 + 25 + 0);
  const double d[] = {1.0, 4.0, 9.0, 9.0};
  EXPECT_EQ(neighbourEnergy(d, 1, 4), 34.0);
}

TEST(NeighbourEnergyTest, HeightOneHasOnlyHorizontalTerms) {
  const uint8_t v[] = {10, 0, 3};
  EXPECT_EQ(neighbourEnergy(v, 3, 3), 100 + 9);
  const double d[] = {10.0, 0.0, 3.0};
  EXPECT_EQ(neighbourEnergy(d, 3, 3), 109.0);
}

TEST(NeighbourEnergyTest, SinglePixelHasNoEnergy) {
  const uint8_t v[] = {200};
  EXPECT_EQ(neighbourEnergy(v, 1, 1), 0);
  const double d[] = {200.0};
  EXPECT_EQ(neighbourEnergy(d, 1, 1), 0.0);
}

TEST(NeighbourEnergyTest, FullSizeCheckerboardDoesNotOverflow) {
  // Every one of the 1,380,720 neighbour pairs differs by 255: far beyond a
  // 32-bit sum.
  const int32_t width = 960;
  const int32_t height = 720;
  std::vector<uint8_t> v(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x)
      v[static_cast<size_t>(y) * width + x] = ((x + y) % 2) ? 255 : 0;
  }
  EXPECT_EQ(neighbourEnergy(v.data(), width, width * height), int64_t{89781318000});
}

TEST(NeighbourEnergyTest, DoubleSumKeepsPixelOrderBitForBit) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  for (int32_t width : {1, 2, 5, 17}) {
    for (int32_t height : {1, 3, 11}) {
      std::vector<double> v(static_cast<size_t>(width) * height);
      for (double& x : v) x = value(random) * 1e3;
      const double expected = plainEnergy(v, width);
      const double actual = neighbourEnergy(v.data(), width, width * height);
      EXPECT_EQ(std::memcmp(&expected, &actual, sizeof(double)), 0) << width << " x " << height;
    }
  }
}

void checker(SmallFrame& f, int32_t s, uint8_t low, uint8_t high) {
  for (int32_t y = 0; y < f.settings.height; ++y) {
    for (int32_t x = 0; x < f.settings.width; ++x) f.grey(s, x, y) = ((x + y) % 2) ? high : low;
  }
}

TEST(SelectReferenceSliceTest, TexturedSliceAmongUniformOnesIsChosen) {
  SmallFrame f(8, 8, 7);
  for (int32_t s = 0; s < 7; ++s) f.fillPlane(s, static_cast<uint8_t>(20 * s));
  checker(f, 5, 10, 12);
  selectReferenceSlice(f.settings, f.buffers);
  EXPECT_EQ(f.buffers.referenceSlice, 5);
}

TEST(SelectReferenceSliceTest, EqualEnergyKeepsTheLowerSlice) {
  SmallFrame f(8, 8, 5);
  for (int32_t s = 0; s < 5; ++s) checker(f, s, 0, 1);
  checker(f, 1, 0, 9);
  checker(f, 3, 9, 0);  // the same energy as slice 1
  selectReferenceSlice(f.settings, f.buffers);
  EXPECT_EQ(f.buffers.referenceSlice, 1);
}

TEST(SelectReferenceSliceTest, LaterSliceWinsOnlyWithStrictlyMoreEnergy) {
  SmallFrame f(8, 8, 5);
  for (int32_t s = 0; s < 5; ++s) checker(f, s, 0, 1);
  checker(f, 1, 0, 9);
  checker(f, 3, 0, 10);
  selectReferenceSlice(f.settings, f.buffers);
  EXPECT_EQ(f.buffers.referenceSlice, 3);
}

TEST(SelectReferenceSliceTest, UniformStackChoosesTheFirstSlice) {
  SmallFrame f(8, 8, 5);
  for (int32_t s = 0; s < 5; ++s) f.fillPlane(s, static_cast<uint8_t>(40 * s + 3));
  f.buffers.referenceSlice = 4;
  selectReferenceSlice(f.settings, f.buffers);
  EXPECT_EQ(f.buffers.referenceSlice, 0);
}

TEST(SelectReferenceSliceTest, SingleTexturedSlice) {
  SmallFrame f(6, 4, 1);
  checker(f, 0, 3, 4);
  selectReferenceSlice(f.settings, f.buffers);
  EXPECT_EQ(f.buffers.referenceSlice, 0);
}

TEST(SelectReferenceSliceTest, OnlySlicesOfTheRangeAreExamined) {
  SmallFrame f(8, 8, 5);
  for (int32_t s = 0; s < 5; ++s) checker(f, s, 0, 1);
  checker(f, 0, 0, 200);
  checker(f, 3, 0, 2);
  f.buffers.rangeFirst = 2;
  f.buffers.rangeLast = 4;
  selectReferenceSlice(f.settings, f.buffers);
  EXPECT_EQ(f.buffers.referenceSlice, 3);
}

TEST(SelectReferenceSliceTest, OneColumnAndOneRowStacks) {
  SmallFrame column(1, 6, 3);
  column.fillRandom(1, 0, 0);
  column.grey(2, 0, 4) = 7;  // only a vertical difference exists
  selectReferenceSlice(column.settings, column.buffers);
  EXPECT_EQ(column.buffers.referenceSlice, 2);

  SmallFrame row(6, 1, 3);
  row.fillRandom(1, 0, 0);
  row.grey(1, 5, 0) = 7;  // only a horizontal difference exists
  selectReferenceSlice(row.settings, row.buffers);
  EXPECT_EQ(row.buffers.referenceSlice, 1);
}

}  // namespace
