#include "synth/population.h"

#include <gtest/gtest.h>

#include <cmath>

namespace focustrack {

namespace {

// The invariants every frame of a population keeps: track ids rise, separate
// cells never press more than 2 pixels into each other, a bud stays on its
// mother's outline, cells that are not buds keep their centre in the image.
void expectHealthy(const Population& p) {
  for (size_t i = 0; i < p.cells.size(); ++i) {
    const SynthCell& cell = p.cells[i];
    SCOPED_TRACE("track " + std::to_string(cell.trackId));
    if (i > 0) {
      EXPECT_GT(cell.trackId, p.cells[i - 1].trackId);
    }
    if (cell.mother >= 0) {
      EXPECT_EQ(cell.parentId, p.cells[cell.mother].trackId);
      const double gap = gapBetween(cell.shape, p.cells[cell.mother].shape);
      EXPECT_LT(gap, 0.0) << "bud came off its mother";
      EXPECT_GT(gap, -1.5) << "bud sunk into its mother";
    } else {
      EXPECT_EQ(cell.parentId, 0);
      EXPECT_TRUE(cell.shape.cx >= 0.0 && cell.shape.cx < p.width && cell.shape.cy >= 0.0 &&
                  cell.shape.cy < p.height);
    }
    for (size_t k = i + 1; k < p.cells.size(); ++k) {
      if (p.cells[k].mother == static_cast<int32_t>(i)) continue;
      EXPECT_GT(gapBetween(cell.shape, p.cells[k].shape), -2.01) << "overlaps " << p.cells[k].trackId;
    }
  }
}

}  // namespace

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
  double x, y;
  for (const SynthCell& cell : p.cells) {
    if (cell.hasNucleus) {
      ++nuclei;
      contentCentre(cell, cell.nucleus, &x, &y);
      EXPECT_LT(signedDistance(cell.shape, x, y), -cell.nucleus.radius);
      EXPECT_LT(cell.nucleolusRadius, 0.55 * cell.nucleus.radius);
    }
    for (int32_t k = 0; k < cell.vacuoleCount; ++k, ++vacuoles) {
      const ContentDisc& vacuole = cell.vacuoles[k];
      contentCentre(cell, vacuole, &x, &y);
      EXPECT_LT(signedDistance(cell.shape, x, y), -vacuole.radius);
      EXPECT_TRUE(vacuole.radius >= 5.0 && vacuole.radius <= 12.0) << vacuole.radius;
    }
  }
  EXPECT_GT(nuclei, 10);
  EXPECT_GT(vacuoles, 10);
}

}  // namespace focustrack
