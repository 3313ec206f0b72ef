#include "classify/core_census.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "support/small_frame.h"

namespace focustrack {

namespace {

// The census as {cell-sized positive, cell-sized negative, nested positive,
// nested negative}.
using Counts = std::vector<int32_t>;

Counts counts(const CoreCensus& c) {
  return {c.cellSizedPositive, c.cellSizedNegative, c.nestedPositive, c.nestedNegative};
}

Counts censusOf(SmallFrame& f) {
  takeCoreCensus(f.buffers);
  return counts(f.buffers.coreCensus);
}

// The census taken region by region: each region, found from its first
// pixel in index order, walked breadth-first with its outside neighbours
// looked at as the walk meets them.
CoreCensus straightCensus(const SmallFrame& f) {
  const int32_t w = f.settings.width;
  const int32_t h = f.settings.height;
  const int32_t* classes = f.buffers.classMap.data();
  const auto isCore = [&](int32_t p) { return classes[p] == PositiveCore || classes[p] == NegativeCore; };
  std::vector<int32_t> labels(static_cast<size_t>(w * h), 0);
  const auto walk = [&](int32_t start, const auto& visit) {
    std::vector<int32_t> queue{start};
    std::vector<bool> seen(labels.size(), false);
    seen[static_cast<size_t>(start)] = true;
    for (size_t head = 0; head < queue.size(); ++head) {
      const int32_t p = queue[head];
      const int32_t x = p % w;
      const int32_t y = p / w;
      const int32_t neighbours[4][2] = {{x > 0, p - 1}, {x < w - 1, p + 1}, {y > 0, p - w}, {y < h - 1, p + w}};
      visit(p, x, y);
      for (const auto& [inside, q] : neighbours) {
        if (!inside) continue;
        if (!seen[static_cast<size_t>(q)] && classes[q] == classes[p]) {
          seen[static_cast<size_t>(q)] = true;
          queue.push_back(q);
        }
      }
    }
  };
  int32_t next = 1;
  std::vector<int32_t> firstPixels;
  for (int32_t p = 0; p < w * h; ++p) {
    if (labels[static_cast<size_t>(p)] != 0 || !isCore(p)) continue;
    walk(p, [&](int32_t q, int32_t, int32_t) { labels[static_cast<size_t>(q)] = next; });
    firstPixels.push_back(p);
    ++next;
  }
  CoreCensus census;
  for (const int32_t first : firstPixels) {
    const int32_t label = labels[static_cast<size_t>(first)];
    int32_t size = 0;
    bool border = false;
    bool nested = true;
    int32_t around = 0;
    walk(first, [&](int32_t p, int32_t x, int32_t y) {
      ++size;
      border = border || x == 0 || y == 0 || x == w - 1 || y == h - 1;
      const int32_t neighbours[4][2] = {{x > 0, p - 1}, {x < w - 1, p + 1}, {y > 0, p - w}, {y < h - 1, p + w}};
      for (const auto& [inside, q] : neighbours) {
        const int32_t other = inside ? labels[static_cast<size_t>(q)] : label;
        if (other == label) continue;
        if (other == 0 || (around != 0 && around != other)) nested = false;
        around = other;
      }
    });
    const bool positive = classes[first] == PositiveCore;
    if (border) continue;
    if (size >= kCellSizedCore) ++(positive ? census.cellSizedPositive : census.cellSizedNegative);
    if (nested && around != 0 && size >= kNestedCore) ++(positive ? census.nestedPositive : census.nestedNegative);
  }
  return census;
}

}  // namespace

TEST(CoreCensus, InteriorInsideItsHaloAndBothSigns) {
  SmallFrame f(60, 40, 2);
  f.paint(0, 0, 59, 39, Outside);
  // A cell as the right slice order shows it: a positive interior of 256
  // pixels in a negative halo of 228.
  f.paint(4, 4, 25, 25, NegativeCore);
  f.paint(7, 7, 22, 22, PositiveCore);
  // The reverse beside it, smaller, its halo on the top row: a negative
  // interior of 100 pixels from the second row down.
  f.paint(34, 0, 47, 11, PositiveCore);
  f.paint(36, 1, 45, 10, NegativeCore);
  EXPECT_EQ(censusOf(f), (Counts{1, 1, 1, 1}));
  // A margin pixel between interior and halo: that interior is no longer
  // wholly inside one core.
  f.paint(22, 15, 22, 15, Margin);
  EXPECT_EQ(censusOf(f), (Counts{1, 1, 0, 1}));
  // The same with the gap the first thing the interior's first pixel meets.
  f.paint(22, 15, 22, 15, PositiveCore);
  f.paint(6, 7, 6, 7, Margin);
  EXPECT_EQ(censusOf(f), (Counts{1, 1, 0, 1}));
  // A gap on the top row opens the core below it on the second.
  f.paint(40, 0, 40, 0, Margin);
  EXPECT_EQ(censusOf(f), (Counts{1, 1, 0, 0}));
}

// Rings of one sign around discs of the other, touching, overlapping and
// cut by the border, on margin and outside: the census is the one taken
// region by region.
TEST(CoreCensus, AgreesWithTheRegionByRegionCensus) {
  std::mt19937 random(5);
  int32_t counted = 0;
  for (int32_t frame = 0; frame < 40; ++frame) {
    SmallFrame f(90, 70, 2);
    f.paint(0, 0, 89, 69, frame % 2 ? Outside : Margin);
    for (int32_t disc = 0; disc < 14; ++disc) {
      const int32_t cx = static_cast<int32_t>(random() % 90);
      const int32_t cy = static_cast<int32_t>(random() % 70);
      const int32_t outer = 3 + static_cast<int32_t>(random() % 14);
      const int32_t inner = static_cast<int32_t>(random() % static_cast<uint32_t>(outer));
      const int32_t ring = random() % 2 ? PositiveCore : NegativeCore;
      const int32_t middle = random() % 4 == 0 ? Margin : (ring == PositiveCore ? NegativeCore : PositiveCore);
      for (int32_t y = std::max(0, cy - outer); y <= std::min(69, cy + outer); ++y) {
        for (int32_t x = std::max(0, cx - outer); x <= std::min(89, cx + outer); ++x) {
          const int32_t d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
          if (d2 <= outer * outer) f.paint(x, y, x, y, d2 < inner * inner ? middle : ring);
        }
      }
    }
    const CoreCensus expected = straightCensus(f);
    EXPECT_EQ(censusOf(f), counts(expected)) << "frame " << frame;
    counted += expected.nestedPositive + expected.nestedNegative;
  }
  EXPECT_GT(counted, 10);  // the frames hold nested cores to count
}

}  // namespace focustrack
