#include "classify/classify.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/small_frame.h"

namespace focustrack {

namespace {

std::vector<int32_t> order(const SmallFrame& f) {
  return std::vector<int32_t>(f.buffers.sortedPixels.data(), f.buffers.sortedPixels.data() + f.n());
}

TEST(SortPixelsTest, EqualValuesKeepTheQuicksortOrder) {
  // The classification depends on this exact order of equal values: the
  // median-of-three quicksort leaves 3 x 3 and 4 x 4 maps of one value so.
  SmallFrame small(3, 3, 1);
  small.fillDelta(0.0);
  small.buffers.sortedPixels[0] = 99;  // stale content of an earlier frame
  sortPixels(small.settings, small.buffers);
  EXPECT_EQ(order(small), (std::vector<int32_t>{6, 5, 8, 7, 4, 1, 0, 3, 2}));
  SmallFrame square(4, 4, 1);
  square.fillDelta(-0.5);
  sortPixels(square.settings, square.buffers);
  EXPECT_EQ(order(square), (std::vector<int32_t>{10, 11, 8, 9, 14, 15, 12, 13, 2, 3, 0, 1, 6, 7, 4, 5}));
  SmallFrame single(1, 1, 1);
  single.fillDelta(0.0);
  sortPixels(single.settings, single.buffers);
  EXPECT_EQ(order(single), (std::vector<int32_t>{0}));
}

}  // namespace

}  // namespace focustrack
