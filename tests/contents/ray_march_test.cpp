#include "contents/ray_march.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/processor.h"

namespace focustrack {

namespace {

struct Entered {
  int32_t pixel;
  double travelled;
};

class RayMarch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(b.angleTable.obtain(kAngleEntries));
    fillAngleTable(b.angleTable.data());
  }

  std::vector<Entered> walk(int32_t k, int32_t origin, int32_t width, double budget, bool* stopped = nullptr,
                            int32_t stopAfter = -1) {
    std::vector<Entered> out;
    const bool s = marchRay(b.angleTable[k], origin, width, budget, [&](int32_t p, double d) {
      out.push_back({p, d});
      return static_cast<int32_t>(out.size()) != stopAfter;
    });
    if (stopped != nullptr) *stopped = s;
    return out;
  }

  FrameBuffers b;
};

TEST_F(RayMarch, TheBudgetOrTheCallerEndsTheRay) {
  bool stopped = true;
  EXPECT_EQ(walk(0, 0, 100, 2.5, &stopped).size(), 2u);  // the third crossing is unreachable
  EXPECT_FALSE(stopped);
  EXPECT_EQ(walk(0, 0, 100, 3.0).size(), 3u);  // exactly 3.0 reaches it
  EXPECT_EQ(walk(40, 5050, 100, kRayBudget, &stopped, 3).size(), 3u);
  EXPECT_TRUE(stopped);
}

TEST_F(RayMarch, TracedPathsReplayEveryWalk) {
  for (int32_t width : {3, 61, 960}) {
    RayPaths paths;
    traceRayPaths(b.angleTable.data(), width, paths);
    for (int32_t k = 0; k < kDirections; ++k) {
      const int32_t origin = 20 * width + 20;
      const std::vector<Entered> path = walk(k, origin, width, kRayBudget);
      const RayPath& traced = paths.direction[k];
      ASSERT_EQ(traced.count, static_cast<int32_t>(path.size())) << "direction " << k;
      ASSERT_LE(traced.count, kRayStepsMax);
      for (int32_t n = 0; n < traced.count; ++n) {
        EXPECT_EQ(origin + traced.offset[n], path[n].pixel) << "direction " << k;
        EXPECT_EQ(traced.travelled[n], path[n].travelled) << "direction " << k;
      }
    }
  }
}

TEST_F(RayMarch, DrawingTakesOneStepPastTheRadiusAndStopsBeforeLeavingTheImage) {
  const struct {
    const char* label;
    int32_t k, x, y, width, height;
    double radius;
    std::vector<int32_t> painted;
  } cases[] = {
      // remaining 2, 1, 0 (walk goes on), -1 (walk ends after this pixel).
      {"radius 3", 0, 10, 5, 50, 20, 3.0, {5 * 50 + 11, 5 * 50 + 12, 5 * 50 + 13, 5 * 50 + 14}},
      {"radius 0", 30, 10, 5, 50, 20, 0.0, {6 * 50 + 10}},
      // Columns 1 and 0; the next would be column -1, index-wise the last
      // pixel of row 2.
      {"leftwards", 60, 2, 3, 20, 10, 10.0, {3 * 20 + 1, 3 * 20 + 0}},
      {"rightwards", 0, 18, 3, 20, 10, 10.0, {3 * 20 + 19}},
      {"upwards from row 1", 90, 7, 1, 20, 10, 10.0, {7}},
      {"down from the last row", 30, 7, 9, 20, 10, 10.0, {}},
  };
  for (const auto& c : cases) {
    std::vector<int32_t> painted;
    drawRay(b.angleTable[c.k], c.x, c.y, c.width, c.height, c.radius, [&](int32_t p) { painted.push_back(p); });
    EXPECT_EQ(painted, c.painted) << c.label;
  }
  // A diagonal walk from the corner region stays inside in both axes.
  std::vector<int32_t> painted;
  drawRay(b.angleTable[75], 1, 1, 20, 10, 16.0, [&](int32_t p) { painted.push_back(p); });
  for (int32_t p : painted) {
    EXPECT_GE(p, 0);
    EXPECT_LE(p % 20, 1);
    EXPECT_LE(p / 20, 1);
  }
}

// The perimeter alone, one outline or two side by side, with and without
// AVX2, and the smoothing with the area, one outline or two, are those of
// the one-by-one smoothing and the whole measure to the last bit, on
// outlines round, ragged and with zeros.
TEST_F(RayMarch, MeasuresInPartsAreThoseOfTheWholeMeasure) {
  uint64_t state = 7;
  const auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  AngleEntry* angles = b.angleTable.data();
  for (int32_t outline = 0; outline < 200; ++outline) {
    for (int32_t k = 0; k <= kDirections; ++k) {
      const double ragged = outline % 3 == 0 ? 0.0 : next() * (outline % 7);
      angles[k].scratchC = outline % 11 == 0 && k % 5 == 0 ? 0.0 : 3.0 + 10.0 * next() * (outline % 2) + ragged;
      angles[k].scratchA = 2.0 + next() * (outline % 5);
    }
    const double expected = measureOutline(angles, &AngleEntry::scratchC).perimeter;
    const double expectedOther = measureOutline(angles, &AngleEntry::scratchA).perimeter;
    for (bool avx2 : {true, false}) {
      const bool before = allowAvx2(avx2);
      const double perimeter = outlinePerimeter(angles, &AngleEntry::scratchC);
      double both[2];
      outlinePerimeters(angles, &AngleEntry::scratchA, &AngleEntry::scratchC, both);
      allowAvx2(before);
      ASSERT_EQ(perimeter, expected) << "outline " << outline << (avx2 ? " with AVX2" : "");
      ASSERT_EQ(both[0], expectedOther) << "outline " << outline << (avx2 ? " with AVX2" : "");
      ASSERT_EQ(both[1], expected) << "outline " << outline << (avx2 ? " with AVX2" : "");
    }
    const OutlineRadii pair[2] = {{&AngleEntry::scratchC, &AngleEntry::scratchD},
                                  {&AngleEntry::scratchA, &AngleEntry::scratchB}};
    std::vector<double> smoothed[2];
    double areas[2];
    for (int32_t i = 0; i < 2; ++i) {
      smoothOutline(angles, pair[i].raw, pair[i].smoothed);
      areas[i] = measureOutline(angles, pair[i].smoothed).area;
      for (int32_t k = 0; k <= kDirections; ++k) smoothed[i].push_back(angles[k].*pair[i].smoothed);
    }
    for (int32_t count : {1, 2}) {
      double got[2];
      smoothOutlinesWithAreas(angles, pair + 2 - count, count, got);
      for (int32_t i = 2 - count; i < 2; ++i) {
        ASSERT_EQ(got[i - (2 - count)], areas[i]) << "outline " << outline << ", " << count << " together";
        for (int32_t k = 0; k <= kDirections; ++k) ASSERT_EQ(angles[k].*pair[i].smoothed, smoothed[i][k]);
      }
    }
  }
}

}  // namespace

}  // namespace focustrack
