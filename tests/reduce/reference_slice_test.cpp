#include "reduce/reduce.h"
#include "reduce/reference_slice.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "base/processor.h"
#include "support/small_frame.h"

namespace focustrack {

namespace {

TEST(NeighbourEnergyTest, CheckerboardsDoNotOverflow) {
  // Every neighbour pair differs by 255: far beyond a 32-bit sum for the
  // frame, and for a row of 20,000 pixels beyond a 32-bit sum for the row.
  // At 16 bits the two extremes differ by 65535; the sums are exact integers.
  // A single column has vertical terms only, a single row horizontal ones.
  for (const auto& [width, height] : {std::pair<int32_t, int32_t>{960, 720}, {20000, 3}, {5, 4}, {1, 6}, {7, 1}}) {
    std::vector<uint8_t> v(static_cast<size_t>(width) * height);
    std::vector<uint16_t> board(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
      v[i] = ((i % width + i / width) % 2) ? 255 : 0;
      board[i] = ((i % width + i / width) % 2) ? 65535 : 0;
    }
    const int64_t pairs = int64_t{height} * (width - 1) + int64_t{height - 1} * width;
    for (const bool avx2 : {true, false}) {
      const bool before = allowAvx2(avx2);
      EXPECT_EQ(neighbourEnergy(v.data(), width, width * height), pairs * 255 * 255) << width << ", " << avx2;
      EXPECT_EQ(neighbourEnergy(board.data(), width, width * height), pairs * 65535 * 65535) << width << ", " << avx2;
      allowAvx2(before);
    }
  }
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
  for (int32_t y = 0; y < f.settings.height; ++y)
    for (int32_t x = 0; x < f.settings.width; ++x) f.plane(s)[y * f.settings.width + x] = ((x + y) % 2) ? high : low;
}

TEST(SelectReferenceSliceTest, HighestEnergyWinsAndTiesKeepTheLowerSlice) {
  const struct {
    const char* label;
    int32_t first, last;  // the range examined
    std::vector<int> highs;  // checkerboard 0 / high per slice; negative: reversed
    int32_t expected;
  } cases[] = {
      {"equal energy keeps the lower slice", 0, 4, {1, 9, 1, -9, 1}, 1},
      {"only the range is examined", 2, 4, {200, 1, 1, 2, 1}, 3},
      {"a single slice", 0, 0, {1}, 0},
      // Whatever an earlier frame chose, and wherever the range starts.
      {"uniform slices fall back to slice 0", 1, 2, {0, 0, 0}, 0},
  };
  for (const auto& c : cases) {
    SmallFrame f(8, 8, static_cast<int32_t>(c.highs.size()));
    for (int32_t s = 0; s < f.settings.sliceCount; ++s) {
      const int h = c.highs[static_cast<size_t>(s)];
      if (h >= 0) checker(f, s, 0, static_cast<uint8_t>(h));
      else checker(f, s, static_cast<uint8_t>(-h), 0);
    }
    f.buffers.rangeFirst = c.first;
    f.buffers.rangeLast = c.last;
    f.buffers.referenceSlice = 4;
    selectReferenceSlice(f.settings, f.buffers);
    EXPECT_EQ(f.buffers.referenceSlice, c.expected) << c.label;
  }
}

}  // namespace

}  // namespace focustrack
