#include "classify/classify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "support/small_frame.h"

namespace focustrack {

namespace {

void classify(SmallFrame& f, double threshold) {
  f.settings.coreThreshold = threshold;
  sortPixels(f.settings, f.buffers);
  classifyPixels(f.settings, f.buffers);
}

// The reference the fast classification is compared with: every rule
// written out straightforwardly, one pixel at a time, margins in the sorted
// order.
std::vector<int32_t> plainClasses(const SmallFrame& f, double t) {
  const int32_t w = f.settings.width;
  const int32_t h = f.settings.height;
  const int32_t n = w * h;
  const double* d = f.buffers.deltaMap.data();
  const int32_t* order = f.buffers.sortedPixels.data();
  std::vector<int32_t> c(static_cast<size_t>(n), Unassigned);
  auto neighbours = [&](int32_t i) {
    std::vector<int32_t> list;
    if (i % w > 0) list.push_back(i - 1);
    if (i % w < w - 1) list.push_back(i + 1);
    if (i / w > 0) list.push_back(i - w);
    if (i / w < h - 1) list.push_back(i + w);
    return list;
  };
  auto touches = [&](int32_t i, int32_t k) {
    const std::vector<int32_t> list = neighbours(i);
    return std::any_of(list.begin(), list.end(), [&](int32_t j) { return c[j] == k; });
  };
  int32_t p = 0;
  while (p < n && !(d[order[p]] > 0)) ++p;
  for (int32_t k = n - 1; k >= p; --k) {
    if (d[order[k]] >= t || touches(order[k], PositiveCore)) c[order[k]] = PositiveCore;
  }
  for (int32_t k = 0; k < p; ++k) {
    if (d[order[k]] <= -t || touches(order[k], NegativeCore)) c[order[k]] = NegativeCore;
  }
  for (int32_t k = 0; k < n; ++k) {
    const int32_t i = order[k];
    if (c[i] != Unassigned) continue;
    if ((d[i] < 0 && touches(i, NegativeCore)) || (d[i] >= 0 && touches(i, PositiveCore)))
      c[i] = Margin;
  }
  for (int32_t start = 0; start < n; ++start) {
    if (c[start] != Unassigned) continue;
    std::vector<int32_t> region{start};
    c[start] = Outside;
    bool border = false;
    for (size_t head = 0; head < region.size(); ++head) {
      if (neighbours(region[head]).size() < 4) border = true;
      for (int32_t j : neighbours(region[head])) {
        if (c[j] == Unassigned) {
          c[j] = Outside;
          region.push_back(j);
        }
      }
    }
    if (!border) {
      for (int32_t i : region) c[i] = Margin;
    }
  }
  for (int32_t start = 0; start < n; ++start) {
    if (c[start] != Margin || d[start] < 0) continue;
    std::vector<int32_t> region{start};
    c[start] = AttachedMargin;
    bool core = false;
    for (size_t head = 0; head < region.size(); ++head) {
      if (touches(region[head], PositiveCore)) core = true;
      for (int32_t j : neighbours(region[head])) {
        if (c[j] == Margin && d[j] >= 0) {
          c[j] = AttachedMargin;
          region.push_back(j);
        }
      }
    }
    if (!core) {
      for (int32_t i : region) c[i] = DetachedMargin;
    }
  }
  return c;
}

// Every rule against the straightforward form, ties included: few distinct
// values, so that many pixels tie and equal-value order counts.
TEST(ClassifyPixelsTest, AgreesWithTheStraightforwardFormOnRandomMaps) {
  const double thresholds[] = {0.1, 0.25, 0.0, -0.2, 1.5, std::nan("")};
  const int32_t sizes[][2] = {{31, 23}, {1, 40}, {40, 1}, {2, 2}};
  uint32_t seed = 100;
  for (const auto& size : sizes) {
    for (double t : thresholds) {
      SmallFrame f(size[0], size[1], 1);
      std::mt19937 random(seed++);
      std::uniform_int_distribution<int> level(-12, 12);
      for (size_t i = 0; i < f.n(); ++i) f.buffers.deltaMap[i] = level(random) / 24.0;
      classify(f, t);
      const std::vector<int32_t> expected = plainClasses(f, t);
      const std::vector<int32_t> actual(f.buffers.classMap.data(), f.buffers.classMap.data() + f.n());
      EXPECT_EQ(actual, expected) << size[0] << " x " << size[1] << " threshold " << t;
    }
  }
}

TEST(SortPixelsTest, EqualValuesKeepTheQuicksortOrder) {
  // The classification depends on this exact order of equal values: the
  // median-of-three quicksort leaves 3 x 3 and 4 x 4 maps of one value so.
  const struct {
    int32_t width, height;
    double value;
    std::vector<int32_t> order;
  } cases[] = {{3, 3, 0.0, {6, 5, 8, 7, 4, 1, 0, 3, 2}},
               {4, 4, -0.5, {10, 11, 8, 9, 14, 15, 12, 13, 2, 3, 0, 1, 6, 7, 4, 5}},
               {1, 1, 0.0, {0}}};
  for (const auto& c : cases) {
    SmallFrame f(c.width, c.height, 1);
    f.fillDelta(c.value);
    f.buffers.sortedPixels[0] = 99;  // stale content of an earlier frame
    sortPixels(f.settings, f.buffers);
    const int32_t* sorted = f.buffers.sortedPixels.data();
    EXPECT_EQ(std::vector<int32_t>(sorted, sorted + f.n()), c.order) << c.width << " x " << c.height;
  }
}

}  // namespace

}  // namespace focustrack
