#include "synth/population.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

Ellipse circle(double cx, double cy, double r) {
  Ellipse e;
  e.cx = cx;
  e.cy = cy;
  e.a = r;
  e.b = r;
  return e;
}

// The invariants every frame of a population keeps: separate cells never
// press more than 2 pixels into each other, a bud stays on its mother's
// outline, cells that are not buds keep their centre in the image.
void expectHealthy(const Population& p) {
  std::set<int32_t> ids;
  for (size_t i = 0; i < p.cells.size(); ++i) {
    const SynthCell& cell = p.cells[i];
    EXPECT_TRUE(ids.insert(cell.trackId).second) << "track id " << cell.trackId << " twice";
    if (i > 0) {
      EXPECT_GT(cell.trackId, p.cells[i - 1].trackId);
    }
    if (cell.mother >= 0) {
      const SynthCell& mother = p.cells[cell.mother];
      EXPECT_EQ(cell.parentId, mother.trackId);
      const double gap = gapBetween(cell.shape, mother.shape);
      EXPECT_LT(gap, 0.0) << "bud " << cell.trackId << " came off its mother";
      EXPECT_GT(gap, -1.5) << "bud " << cell.trackId << " sunk into its mother";
    } else {
      EXPECT_EQ(cell.parentId, 0);
      EXPECT_GE(cell.shape.cx, 0.0);
      EXPECT_LT(cell.shape.cx, p.width);
      EXPECT_GE(cell.shape.cy, 0.0);
      EXPECT_LT(cell.shape.cy, p.height);
    }
    for (size_t k = i + 1; k < p.cells.size(); ++k) {
      if (p.cells[k].mother == static_cast<int32_t>(i)) continue;
      EXPECT_GT(gapBetween(cell.shape, p.cells[k].shape), -2.01)
          << "cells " << cell.trackId << " and " << p.cells[k].trackId << " overlap";
    }
  }
}

}  // namespace

TEST(SynthPopulation, SignedDistanceOfAnEllipse) {
  Ellipse e = circle(10.0, 20.0, 5.0);
  e.a = 8.0;
  EXPECT_DOUBLE_EQ(signedDistance(e, 10.0, 20.0), -5.0);  // the centre: the short semi-axis
  EXPECT_DOUBLE_EQ(signedDistance(e, 20.0, 20.0), 2.0);   // along the long axis
  EXPECT_DOUBLE_EQ(signedDistance(e, 10.0, 17.0), -2.0);  // along the short axis
  e.axisX = 0.0;                                           // long axis turned to y
  e.axisY = 1.0;
  EXPECT_DOUBLE_EQ(signedDistance(e, 10.0, 30.0), 2.0);
}

TEST(SynthPopulation, GapBetweenCircles) {
  EXPECT_DOUBLE_EQ(gapBetween(circle(0, 0, 10), circle(25, 0, 10)), 5.0);
  EXPECT_DOUBLE_EQ(gapBetween(circle(0, 0, 10), circle(18, 0, 10)), -2.0);
  EXPECT_NEAR(gapBetween(circle(0, 0, 10), circle(0, 20, 10)), 0.0, 1e-12);
}

TEST(SynthPopulation, ContentCentreFollowsTheCellAxes) {
  SynthCell cell;
  cell.shape = circle(100.0, 50.0, 10.0);
  cell.shape.a = 20.0;
  cell.shape.axisX = 0.0;
  cell.shape.axisY = 1.0;
  ContentDisc disc;
  disc.u = 0.5;  // half way along the long axis, now pointing down
  disc.v = 0.5;  // half way across it, pointing left
  double x, y;
  contentCentre(cell, disc, &x, &y);
  EXPECT_DOUBLE_EQ(x, 95.0);
  EXPECT_DOUBLE_EQ(y, 60.0);
}

TEST(SynthPopulation, SeedingAndLifeKeepTheInvariants) {
  Random random(3);
  Population p;
  seedPopulation(&p, random, 480, 360, 19);
  ASSERT_GE(p.cells.size(), 19u);
  expectHealthy(p);
  bool anyBud = false;
  for (const SynthCell& cell : p.cells) anyBud = anyBud || cell.mother >= 0;
  EXPECT_TRUE(anyBud);
  const Population first = p;
  for (int frame = 0; frame < 12; ++frame) {
    advancePopulation(&p, random);
    expectHealthy(p);
    EXPECT_LE(std::fabs(p.focusDrift), 0.2);
  }
  EXPECT_GT(p.cells.size(), first.cells.size()) << "no cell budded in 12 frames";
  int moved = 0;
  for (size_t k = 0; k < first.cells.size(); ++k) {
    const Ellipse& before = first.cells[k].shape;
    const Ellipse& after = p.cells[k].shape;
    EXPECT_GE(after.a, before.a) << "cell " << first.cells[k].trackId << " shrank";
    if (after.cx != before.cx || after.cy != before.cy) ++moved;
  }
  EXPECT_GT(moved, static_cast<int>(first.cells.size()) / 2);
}

TEST(SynthPopulation, ContentsStayInsideTheirCell) {
  Random random(5);
  Population p;
  seedPopulation(&p, random, 960, 720, 76);
  int nuclei = 0;
  int vacuoles = 0;
  for (const SynthCell& cell : p.cells) {
    double x, y;
    if (cell.hasNucleus) {
      ++nuclei;
      contentCentre(cell, cell.nucleus, &x, &y);
      EXPECT_LT(signedDistance(cell.shape, x, y), -cell.nucleus.radius);
      EXPECT_LT(cell.nucleolusRadius, 0.55 * cell.nucleus.radius);
    }
    for (int32_t k = 0; k < cell.vacuoleCount; ++k) {
      ++vacuoles;
      contentCentre(cell, cell.vacuoles[k], &x, &y);
      EXPECT_LT(signedDistance(cell.shape, x, y), -cell.vacuoles[k].radius);
      EXPECT_GE(cell.vacuoles[k].radius, 5.0);
      EXPECT_LE(cell.vacuoles[k].radius, 12.0);
    }
  }
  EXPECT_GT(nuclei, 10);
  EXPECT_GT(vacuoles, 10);
}
