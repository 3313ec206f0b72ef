#include "classify/classify.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/small_frame.h"

namespace focustrack {

namespace {

using Grid = std::vector<std::vector<double>>;
using Classes = std::vector<std::vector<int32_t>>;

// A frame holding `rows` as its delta map.
void setMap(SmallFrame& f, const Grid& rows) {
  for (int32_t y = 0; y < f.settings.height; ++y) {
    for (int32_t x = 0; x < f.settings.width; ++x) f.delta(x, y) = rows[y][x];
  }
}

Classes classify(SmallFrame& f, double threshold) {
  f.settings.coreThreshold = threshold;
  sortPixels(f.settings, f.buffers);
  classifyPixels(f.settings, f.buffers);
  Classes result(f.settings.height, std::vector<int32_t>(f.settings.width));
  for (int32_t y = 0; y < f.settings.height; ++y) {
    for (int32_t x = 0; x < f.settings.width; ++x) result[y][x] = f.classAt(x, y);
  }
  return result;
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
    for (int32_t j : neighbours(i)) {
      if (c[j] == k) return true;
    }
    return false;
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

// Class letters: p/n positive/negative core, m margin, a/d attached/detached
// margin, o outside.
Classes fromLetters(const std::vector<std::string>& rows) {
  Classes c;
  for (const std::string& row : rows) {
    c.emplace_back();
    for (char letter : row) {
      c.back().push_back(letter == 'p'   ? PositiveCore
                         : letter == 'n' ? NegativeCore
                         : letter == 'm' ? Margin
                         : letter == 'a' ? AttachedMargin
                         : letter == 'd' ? DetachedMargin
                                         : Outside);
    }
  }
  return c;
}

// Ties on hand-made rows; the random maps below check every rule together
// against the straightforward form.
TEST(ClassifyPixelsTest, EqualAndLaterValuesFollowTheSortedOrder) {
  const struct {
    const char* label;
    Grid map;
    std::vector<std::string> expected;
  } cases[] = {
      // -0.05 is visited before -0.02 joins the core, so it stays out of it
      // and becomes margin even on the border.
      {"negative pixel beside a negative core is margin", {{-0.05, -0.02, -0.5}}, {"mnn"}},
      // Two equal weak pixels beside a seed: the sort leaves them far-then-near
      // when the seed is on the left, so the near one is visited first and the
      // far one joins through it; mirrored, the far one is visited first and
      // stays a margin.
      {"equal values grow in sorted order", {{0.5, 0.05, 0.05, -0.01}}, {"pppo"}},
      {"equal values grow in sorted order, mirrored", {{-0.01, 0.05, 0.05, 0.5}}, {"oapp"}},
  };
  for (const auto& c : cases) {
    SmallFrame f(static_cast<int32_t>(c.map[0].size()), static_cast<int32_t>(c.map.size()), 1);
    setMap(f, c.map);
    EXPECT_EQ(classify(f, 0.1), fromLetters(c.expected)) << c.label;
  }
}

TEST(ClassifyPixelsTest, AgreesWithTheStraightforwardFormOnRandomMaps) {
  // Few distinct values, so that many pixels tie and equal-value order counts.
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
      const std::vector<int32_t> actual(f.buffers.classMap.data(),
                                        f.buffers.classMap.data() + f.n());
      EXPECT_EQ(actual, expected) << size[0] << " x " << size[1] << " threshold " << t;
    }
  }
}

}  // namespace

}  // namespace focustrack
