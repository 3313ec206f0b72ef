// The fits with threads: cells handed to tasks in any order and on any
// thread give what the straightforward one-thread fits give, bit for bit.
// Values come in steps of 1/32, so that many are equal. These comparisons
// also stand for the one-thread runs of the fits.
#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <cstring>

#include "cells/cells.h"
#include "contents/contents.h"
#include "support/content_scene.h"
#include "support/straight_fits.h"

namespace focustrack {

namespace {

using contents_test::gaussian;
using contents_test::Noise;
using contents_test::Scene;

constexpr int32_t kThreads = 4;

// A grid of round cells, each with a bump (nucleus sources) and a dip
// (vacuole sources), noise, and every value rounded to a 1/32 step.
void buildCellGrid(Scene& s, uint64_t seed) {
  Noise noise(seed);
  for (int32_t row = 0; row < 4; ++row) {
    for (int32_t column = 0; column < 5; ++column) {
      const double cx = 22 + column * 40 + noise.next(3.0);
      const double cy = 22 + row * 38 + noise.next(3.0);
      const double radius = 14 + (row * 5 + column) % 5;
      const double bx = cx + noise.next(4.0);
      const double by = cy + noise.next(4.0);
      const double vx = cx - noise.next(6.0);
      const double vy = cy + noise.next(6.0);
      const double amplitude = 0.01 + 0.01 * ((row + column) % 4);
      s.addDisc(cx, cy, radius, [&](int32_t x, int32_t y) {
        const double v = 0.3 + 0.6 * gaussian(x, y, bx, by, 2.5 + column * 0.4) -
                         0.25 * gaussian(x, y, vx, vy, 2.0 + row * 0.5) + noise.next(amplitude);
        return std::round(v * 32.0) / 32.0;
      });
    }
  }
  s.finishCells();
}

template <class Work>
void withThreads(Work&& work) {
#pragma omp parallel num_threads(kThreads)
#pragma omp master
  work();
}

// Nuclei at several rise tolerances, then vacuoles of the same frame, each
// fit with threads against the straightforward one-thread fit.
TEST(ThreadsFits, NucleiAndVacuolesAgreeWithTheStraightforwardFits) {
  const double tolerances[] = {0.1, 0.05, 0.2, 0.1};
  for (uint64_t seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    Scene fast(210, 160);
    Scene straight(210, 160);
    buildCellGrid(fast, seed);
    buildCellGrid(straight, seed);
    fast.settings.riseTolerance = straight.settings.riseTolerance = tolerances[seed - 1];
    floodBlobs(fast.settings, fast.b, FloodDirection::Forward);
    floodBlobs(straight.settings, straight.b, FloodDirection::Forward);
    ASSERT_GT(fast.b.candidateCount, 0);
    withThreads([&] { fitNuclei(fast.settings, fast.b); });
    contents_test::straightFitNuclei(straight.settings, straight.b);
    int nuclei = 0;
    for (int32_t c = 1; c < fast.b.nextCellNumber; ++c) {
      const CellRecord& f = fast.b.currentCells[c];
      const CellRecord& t = straight.b.currentCells[c];
      ASSERT_EQ(std::memcmp(&f.nucleusValue, &t.nucleusValue, sizeof(double)), 0) << "cell " << c;
      EXPECT_EQ(std::memcmp(&f.nucleusArea, &t.nucleusArea, sizeof(double)), 0) << "cell " << c;
      EXPECT_EQ(std::memcmp(&f.nucleoliArea, &t.nucleoliArea, sizeof(double)), 0) << "cell " << c;
      if (t.nucleusValue > 0) {
        ++nuclei;
        EXPECT_EQ(f.nucleusCentre, t.nucleusCentre) << "cell " << c;
        EXPECT_EQ(std::memcmp(f.nucleusRadius, t.nucleusRadius, 121 * sizeof(double)), 0) << "cell " << c;
      }
    }
    EXPECT_GT(nuclei, 5);

    floodBlobs(fast.settings, fast.b, FloodDirection::Backward);
    floodBlobs(straight.settings, straight.b, FloodDirection::Backward);
    ASSERT_GT(fast.b.candidateCount, 0);
    withThreads([&] { fitVacuoles(fast.settings, fast.b); });
    contents_test::straightFitVacuoles(straight.b);
    int vacuoles = 0;
    for (int32_t blob = 1; blob <= fast.b.blobCount; ++blob) {
      const BlobRecord& f = fast.b.blobTable[blob];
      const BlobRecord& t = straight.b.blobTable[blob];
      ASSERT_EQ(std::memcmp(&f.vacuoleScore, &t.vacuoleScore, sizeof(double)), 0) << "blob " << blob;
      if (t.vacuoleScore > 0) {
        ++vacuoles;
        EXPECT_EQ(f.vacuoleCentre, t.vacuoleCentre) << "blob " << blob;
        EXPECT_EQ(std::memcmp(&f.vacuoleArea, &t.vacuoleArea, sizeof(double)), 0) << "blob " << blob;
        const double* radius = straight.b.vacuoleOutlines[blob].radius;
        EXPECT_EQ(std::memcmp(fast.b.vacuoleOutlines[blob].radius, radius, 120 * sizeof(double)), 0) << "blob " << blob;
      }
    }
    EXPECT_GT(vacuoles, 0);
  }
}

}  // namespace

}  // namespace focustrack
