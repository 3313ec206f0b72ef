// Line stripping that tests only the rows next to a change leaves what
// whole passes over every row leave.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "base/pixel_grid.h"

namespace focustrack {
namespace {

constexpr int32_t kStripped = 9;

bool picked(int32_t v) { return v == 1 || v == 2; }

// Every row in every pass, until a pass changes nothing.
int32_t stripWholePasses(std::vector<int32_t>& map, int32_t width, int32_t height) {
  int32_t passes = 0;
  for (bool changed = true; changed;) {
    changed = false;
    for (int32_t y = 0; y < height; ++y) changed |= stripRow(map.data(), width, height, y, picked, kStripped);
    ++passes;
  }
  return passes;
}

TEST(StripLines, LeavesWhatWholePassesLeave) {
  std::mt19937 random(7);
  int32_t longest = 0;
  for (const auto& [width, height] : {std::pair{1, 1}, {1, 9}, {9, 1}, {2, 2}, {3, 40}, {40, 3}, {31, 27}, {64, 64}}) {
    for (int32_t trial = 0; trial < 20; ++trial) {
      // Mostly picked values in patches, so that lines thin out over several passes.
      std::vector<int32_t> map(static_cast<size_t>(width) * height);
      for (int32_t& v : map) v = random() % 8 < 6 ? 1 + static_cast<int32_t>(random() % 2) * (trial % 2) : 0;
      std::vector<int32_t> expected = map;
      longest = std::max(longest, stripWholePasses(expected, width, height));
      stripLines(map.data(), width, height, picked, kStripped);
      ASSERT_EQ(map, expected) << width << " x " << height << ", trial " << trial;
    }
  }
  EXPECT_GE(longest, 3);  // some maps took several passes
}

}  // namespace
}  // namespace focustrack
