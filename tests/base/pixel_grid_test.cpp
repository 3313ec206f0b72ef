// Line stripping that tests only the rows next to a change leaves what
// whole passes over every row leave; components labelled in passes are the
// components a flood finds.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <map>
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

// Maps of three values at several densities, spirals and combs included by
// chance: pixels of equal non-zero value are joined. Two pixels share a label
// exactly when a flood from one reaches the other.
TEST(LabelComponents, GivesTheComponentsAFloodFinds) {
  std::mt19937 random(3);
  for (int32_t round = 0; round < 30; ++round) {
    const int32_t width = 1 + static_cast<int32_t>(random() % 40);
    const int32_t height = 1 + static_cast<int32_t>(random() % 30);
    const int32_t n = width * height;
    std::vector<int32_t> map(static_cast<size_t>(n));
    for (int32_t& v : map) v = static_cast<int32_t>(random() % (2 + round % 4)) % 3;
    std::vector<int32_t> labels(map.size(), -1);
    const auto member = [&map](int64_t p) { return map[static_cast<size_t>(p)] != 0; };
    const auto at = [&map](int64_t p) { return map[static_cast<size_t>(p)]; };
    const auto joins = [&at](int64_t p, int64_t q) { return at(q) == at(p); };
    const int32_t largest = labelComponents(width, height, member, joins, labels.data());
    std::vector<int32_t> flood(map.size(), 0);
    int32_t components = 0;
    for (int32_t start = 0; start < n; ++start) {
      if (map[static_cast<size_t>(start)] == 0 || flood[static_cast<size_t>(start)] != 0) continue;
      ++components;
      std::vector<int32_t> queue{start};
      flood[static_cast<size_t>(start)] = components;
      for (size_t head = 0; head < queue.size(); ++head) {
        const int32_t p = queue[head];
        const int32_t x = p % width;
        const int32_t y = p / width;
        const int32_t neighbours[4][2] = {
            {x > 0, p - 1}, {x < width - 1, p + 1}, {y > 0, p - width}, {y < height - 1, p + width}};
        for (const auto& [inside, q] : neighbours) {
          if (inside && flood[static_cast<size_t>(q)] == 0 && at(q) == at(p)) {
            flood[static_cast<size_t>(q)] = components;
            queue.push_back(q);
          }
        }
      }
    }
    // The first label met in a flood component (and the first component met
    // under a label) must be that of every later pixel.
    std::map<int32_t, int32_t> labelOf;
    std::map<int32_t, int32_t> componentOf;
    for (int32_t p = 0; p < n; ++p) {
      const int32_t label = labels[static_cast<size_t>(p)];
      const int32_t component = flood[static_cast<size_t>(p)];
      ASSERT_EQ(label == 0, component == 0) << "round " << round << " pixel " << p;
      ASSERT_LE(label, largest);
      ASSERT_EQ(labelOf.emplace(component, label).first->second, label)
          << "round " << round << ": a component with two labels";
      ASSERT_EQ(componentOf.emplace(label, component).first->second, component)
          << "round " << round << ": a label on two components";
    }
  }
}

}  // namespace
}  // namespace focustrack
