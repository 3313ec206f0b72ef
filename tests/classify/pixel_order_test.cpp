#include "classify/classify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "support/small_frame.h"

namespace focustrack {

namespace {

std::vector<int32_t> order(const SmallFrame& f) {
  return std::vector<int32_t>(f.buffers.sortedPixels.data(), f.buffers.sortedPixels.data() + f.n());
}

bool isPermutation(std::vector<int32_t> list) {
  std::sort(list.begin(), list.end());
  for (size_t k = 0; k < list.size(); ++k) {
    if (list[k] != static_cast<int32_t>(k)) return false;
  }
  return true;
}

TEST(SortPixelsTest, AscendingByDelta) {
  SmallFrame f(17, 9, 1);
  std::mt19937 random(3);
  std::uniform_int_distribution<int> level(-20, 20);
  for (size_t i = 0; i < f.n(); ++i) f.buffers.deltaMap[i] = level(random) / 20.0;
  sortPixels(f.settings, f.buffers);
  const std::vector<int32_t> list = order(f);
  EXPECT_TRUE(isPermutation(list));
  for (size_t k = 1; k < list.size(); ++k) {
    EXPECT_LE(f.buffers.deltaMap[list[k - 1]], f.buffers.deltaMap[list[k]]);
  }
}

TEST(SortPixelsTest, EqualValuesTakeTheOrderOfTheIndexSort) {
  for (int32_t side : {8, 1}) {
    SmallFrame f(side, side, 1);
    f.fillDelta(0.0);
    f.buffers.sortedPixels[0] = 99;  // stale content of an earlier frame
    sortPixels(f.settings, f.buffers);
    std::vector<int32_t> expected(f.n());
    std::vector<double> keys(f.n(), 0.0);
    for (size_t i = 0; i < f.n(); ++i) expected[i] = static_cast<int32_t>(i);
    IndexSort sorter;
    sorter.sort(expected.data(), keys.data(), static_cast<int32_t>(f.n()) - 1);
    EXPECT_EQ(order(f), expected) << side;
  }
}

TEST(SortPixelsTest, SinglePositivePixelComesLast) {
  SmallFrame f(8, 8, 1);
  f.fillDelta(-0.25);
  f.delta(0, 0) = 0.0;
  f.delta(5, 6) = 0.5;
  sortPixels(f.settings, f.buffers);
  EXPECT_EQ(f.buffers.sortedPixels[f.n() - 1], 6 * 8 + 5);
  EXPECT_EQ(f.buffers.sortedPixels[f.n() - 2], 0);
}

}  // namespace

}  // namespace focustrack
