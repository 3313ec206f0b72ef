#include "contents/ray_march.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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

TEST_F(RayMarch, DiagonalsAlternateStepsAndDirectionFifteenStepsInYFirst) {
  // With pi taken as 3.1415927 the sine of direction 15 exceeds its cosine.
  const std::vector<Entered> path = walk(15, 5050, 100, kRayBudget);
  ASSERT_GE(path.size(), 2u);
  EXPECT_EQ(path[0].pixel, 5050 + 100);
  // The travelled length is what the budget lost, not the crossing distance.
  EXPECT_EQ(path[0].travelled, kRayBudget - (kRayBudget - 1.0 / b.angleTable[15].sinK));
  EXPECT_EQ(path[1].pixel, 5050 + 100 + 1);
  // Then it alternates: a diagonal ray takes as many x as y steps, towards
  // the signs of its cosine and sine.
  const struct {
    int32_t k, stepX, stepY;
  } diagonals[] = {{15, 1, 100}, {45, -1, 100}, {75, -1, -100}, {105, 1, -100}};
  for (const auto& d : diagonals) {
    int32_t xSteps = 0;
    int32_t ySteps = 0;
    int32_t previous = 5050;
    for (const Entered& e : walk(d.k, 5050, 100, kRayBudget)) {
      (e.pixel - previous == d.stepX ? xSteps : ySteps) += 1;
      EXPECT_TRUE(e.pixel - previous == d.stepX || e.pixel - previous == d.stepY) << "direction " << d.k;
      previous = e.pixel;
    }
    EXPECT_GE(xSteps, 10) << "direction " << d.k;
    EXPECT_LE(std::abs(xSteps - ySteps), 1) << "direction " << d.k;
  }
}

TEST_F(RayMarch, DirectionsAlongTheAxesMoveOnePixelPerUnit) {
  // Direction 0 travels exactly 1.0 per pixel and all 16 of the budget. The
  // second component of the others is about 1e-7 or less: it never reaches a
  // crossing.
  const struct {
    int32_t k;
    int32_t step;
  } cases[] = {{0, 1}, {30, 100}, {60, -1}, {90, -100}};
  for (const auto& c : cases) {
    bool stopped = true;
    const std::vector<Entered> path = walk(c.k, 5050, 100, kRayBudget, &stopped);
    EXPECT_FALSE(stopped);
    ASSERT_GE(path.size(), c.k == 0 ? 16u : 15u) << "direction " << c.k;
    EXPECT_LE(path.size(), 16u) << "direction " << c.k;
    for (size_t n = 0; n < path.size(); ++n) {
      EXPECT_EQ(path[n].pixel, 5050 + c.step * static_cast<int32_t>(n + 1)) << "direction " << c.k;
      if (c.k == 0) {
        EXPECT_EQ(path[n].travelled, n + 1.0);
      } else {
        EXPECT_NEAR(path[n].travelled, n + 1.0, 1e-12) << "direction " << c.k;
      }
    }
  }
}

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

TEST_F(RayMarch, SmoothingIsTheCircularMeanAndTheLastEntryIsTheRunningValue) {
  std::vector<double> raw(kDirections);
  for (int32_t k = 0; k < kDirections; ++k) {
    raw[k] = 3.0 + 0.37 * std::sin(k * 0.7) + 0.001 * k;
    b.angleTable[k].scratchA = raw[k];
  }
  smoothOutline(b.angleTable.data(), &AngleEntry::scratchA, &AngleEntry::scratchC);
  // The mean of the 21 directions around each, kept as a running sum started
  // at 0.0 with raw[-11] .. raw[9] and carried on to 120.
  double sum = 0.0;
  for (int32_t j = -11; j <= 9; ++j) sum += raw[(j + 120) % 120];
  for (int32_t k = 0; k <= 120; ++k) {
    sum += raw[(k + 10) % 120];
    sum -= raw[(k - 11 + 120) % 120];
    EXPECT_EQ(b.angleTable[k].scratchC, sum / 21.0) << "direction " << k;
  }
  for (int32_t k = 0; k < kDirections; ++k) EXPECT_EQ(b.angleTable[k].scratchA, raw[k]);  // source untouched
}

TEST_F(RayMarch, EqualRadiiGiveAFanOfEqualTriangles) {
  for (double r : {1.0, 4.5, 16.0}) {
    for (int32_t k = 0; k < kDirections; ++k) b.angleTable[k].scratchB = r;
    smoothOutline(b.angleTable.data(), &AngleEntry::scratchB, &AngleEntry::scratchD);
    for (int32_t k = 0; k <= kDirections; ++k) EXPECT_NEAR(b.angleTable[k].scratchD, r, r * 1e-14);
    const OutlineMeasures m = measureOutline(b.angleTable.data(), &AngleEntry::scratchD);
    const double area = 120 * 0.5 * r * r * std::sin(3 * 3.1415927 / 180);
    EXPECT_NEAR(m.area, area, area * 1e-12);
    const double side = 2 * r * std::sin(1.5 * 3.1415927 / 180);
    EXPECT_NEAR(m.perimeter, 120 * side, 120 * side * 1e-12);
    EXPECT_NEAR(m.circularity, 0.9998, 0.0001);
    EXPECT_LT(m.circularity, 1.0);
  }
}

TEST_F(RayMarch, AnElongatedOutlineIsLessCircular) {
  for (int32_t k = 0; k <= kDirections; ++k) {
    const double c = b.angleTable[k].cosK;
    const double s = b.angleTable[k].sinK;
    // Ellipse with semi-axes 6 (x) and 3 (y).
    b.angleTable[k].scratchD = 1.0 / std::sqrt(c * c / 36 + s * s / 9);
  }
  const OutlineMeasures m = measureOutline(b.angleTable.data(), &AngleEntry::scratchD);
  EXPECT_NEAR(m.area, 3.1415927 * 18, 0.1);
  EXPECT_NEAR(m.circularity, 0.84, 0.01);
}

}  // namespace

}  // namespace focustrack
