#include "contents/contents.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "support/content_scene.h"
#include "support/straight_fits.h"

namespace focustrack {

namespace {

using contents_test::gaussian;
using contents_test::Noise;
using contents_test::Scene;
using contents_test::singleCandidate;

// A round basin around (25, 25) of a 50 x 50 frame, 0.1 at the bottom,
// rising 0.1 per pixel; the candidate at r = 5 sets the level 0.6.
void buildBasin(Scene& s) {
  for (int32_t y = 0; y < 50; ++y) {
    for (int32_t x = 0; x < 50; ++x) s.delta(x, y) = 0.1 + 0.1 * std::hypot(x - 25.0, y - 25.0);
  }
  singleCandidate(s, s.at(25, 25), s.at(30, 25));
}

TEST(VacuoleFit, ARoundBasinScoresItsOutline) {
  Scene s(50, 50);
  buildBasin(s);
  fitVacuoles(s.settings, s.b);
  const BlobRecord& blob = s.b.blobTable[1];
  EXPECT_GT(blob.vacuoleScore, 0.0);
  EXPECT_EQ(blob.vacuoleCentre, s.at(25, 25));
  // The outline lies where the basin passes the level, about 5 to 6 pixels out.
  for (int32_t k = 0; k < kDirections; ++k) {
    EXPECT_GT(blob.vacuoleRadius[k], 4.9) << "direction " << k;
    EXPECT_LT(blob.vacuoleRadius[k], 6.6) << "direction " << k;
  }
  EXPECT_NEAR(std::sqrt(blob.vacuoleArea / 3.1415927), 5.6, 0.5);
}

TEST(VacuoleFit, ALowerPixelOfANeighbouringBlobRejectsTheCandidate) {
  Scene s(50, 50);
  buildBasin(s);
  // Slightly above the seed on direction 0: still a basin.
  s.delta(27, 25) = 0.15;
  fitVacuoles(s.settings, s.b);
  EXPECT_GT(s.b.blobTable[1].vacuoleScore, 0.0);
  // Below the seed: the ray has run into a deeper basin.
  buildBasin(s);
  s.delta(27, 25) = 0.05;
  fitVacuoles(s.settings, s.b);
  EXPECT_EQ(s.b.blobTable[1].vacuoleScore, 0.0);
}

TEST(VacuoleFit, ARejectionAtOneLevelLeavesLowerLevelsOfTheBlobOpen) {
  // The outline at level 0.6 reaches the edge pixel at r = 6; the one at
  // level 0.4 (listed after it) closes at r = 4 and scores.
  Scene s(50, 50);
  buildBasin(s);
  s.b.edgeMap()[s.at(31, 25)] = -2;
  s.b.blobMap()[s.at(28, 25)] = 1;
  s.b.candidatePixels()[1] = s.at(28, 25);
  s.b.candidateCount = 2;
  fitVacuoles(s.settings, s.b);
  const BlobRecord& blob = s.b.blobTable[1];
  EXPECT_GT(blob.vacuoleScore, 0.0);
  EXPECT_LT(blob.vacuoleArea, 3.1415927 * 4.6 * 4.6);
}

TEST(VacuoleFit, AnOutlineMeetingTheCellEdgeIsRejected) {
  Scene s(50, 50);
  buildBasin(s);
  s.b.edgeMap()[s.at(25, 19)] = -2;  // on direction 90, inside the outline
  fitVacuoles(s.settings, s.b);
  EXPECT_EQ(s.b.blobTable[1].vacuoleScore, 0.0);
}

TEST(VacuoleFit, AMeanRadiusOfTwoOrLessScoresZero) {
  // Three low pixels in a row: mean radius about 1.5, circularity about 0.87,
  // a ring well above the seed. Two factors below their thresholds must not
  // multiply into a positive score.
  Scene s(50, 50);
  std::fill_n(s.b.deltaMap.data(), s.b.pixelCount, 0.9);
  s.delta(24, 25) = s.delta(25, 25) = s.delta(26, 25) = 0.0;
  singleCandidate(s, s.at(25, 25), s.at(26, 25));
  fitVacuoles(s.settings, s.b);
  EXPECT_EQ(s.b.blobTable[1].vacuoleScore, 0.0);
  double radiusSum = 0.0;
  for (int32_t k = 0; k < kDirections; ++k) radiusSum += s.b.angleTable[k].scratchD;
  EXPECT_LT(radiusSum / kDirections, 2.0);
}

TEST(VacuoleFit, ARayRunningOutOfBudgetRecordsSixteen) {
  Scene s(50, 50);
  std::fill_n(s.b.deltaMap.data(), s.b.pixelCount, 0.1);
  singleCandidate(s, s.at(25, 25), s.at(26, 25));
  fitVacuoles(s.settings, s.b);
  for (int32_t k = 0; k < kDirections; ++k) EXPECT_EQ(s.b.angleTable[k].scratchB, 16.0) << "direction " << k;
  for (int32_t k = 0; k < kDirections; ++k) EXPECT_NEAR(s.b.angleTable[k].scratchD, 16.0, 1e-12);
  // A flat floor has no ring above it.
  EXPECT_EQ(s.b.blobTable[1].vacuoleScore, 0.0);
}

// An elliptical basin, 1.5 times taller than wide (or wider than tall),
// whose flank is cut by the image border: its ring reaches outside the image.
void buildBorderBasin(Scene& s, bool transposed) {
  const int32_t along = 13;  // the seed's distance from the border
  const int32_t across = 32;
  for (int32_t y = 0; y < s.height(); ++y) {
    for (int32_t x = 0; x < s.width(); ++x) {
      const double u = transposed ? y - along : x - along;
      const double v = transposed ? x - across : y - across;
      s.delta(x, y) = 0.1 + 0.1 * std::hypot(u, v / 1.5);
    }
  }
  const int32_t seed = transposed ? s.at(across, along) : s.at(along, across);
  const int32_t candidate = transposed ? s.at(across, along + 12) : s.at(along + 12, across);
  singleCandidate(s, seed, candidate);
}

// Smallest ring column (or row) of the stored outline.
int32_t smallestRingCoordinate(const Scene& s, const BlobRecord& blob, bool transposed) {
  const AngleEntry* a = s.b.angleTable.data();
  const double sx = blob.vacuoleCentre % s.b.width;
  const double sy = blob.vacuoleCentre / s.b.width;
  double minX = s.b.width, minY = s.b.height, maxX = 0, maxY = 0;
  for (int32_t k = 0; k < kDirections; ++k) {
    minX = std::min(minX, blob.vacuoleRadius[k] * a[k].cosK + sx);
    maxX = std::max(maxX, blob.vacuoleRadius[k] * a[k].cosK + sx);
    minY = std::min(minY, blob.vacuoleRadius[k] * a[k].sinK + sy);
    maxY = std::max(maxY, blob.vacuoleRadius[k] * a[k].sinK + sy);
  }
  const double radius = std::sqrt(blob.vacuoleArea / 3.1415927);
  int32_t smallest = 1 << 30;
  for (int32_t k = 0; k < kDirections; ++k) {
    const double c = transposed ? radius * a[k].sinK + (maxY + minY) * 0.5
                                : radius * a[k].cosK + (maxX + minX) * 0.5;
    smallest = std::min(smallest, static_cast<int32_t>(c + 0.5));
  }
  return smallest;
}

TEST(VacuoleFit, RingSamplesNearTheImageBorderStayInside) {
  for (bool transposed : {false, true}) {
    Scene fast(transposed ? 64 : 40, transposed ? 40 : 64);
    Scene straight(transposed ? 64 : 40, transposed ? 40 : 64);
    buildBorderBasin(fast, transposed);
    buildBorderBasin(straight, transposed);
    fitVacuoles(fast.settings, fast.b);
    contents_test::straightFitVacuoles(straight.b);
    const BlobRecord& f = fast.b.blobTable[1];
    const BlobRecord& t = straight.b.blobTable[1];
    ASSERT_GT(f.vacuoleScore, 0.0) << "transposed " << transposed;
    EXPECT_LT(smallestRingCoordinate(fast, f, transposed), 0);
    // The clamped samples read the border pixels of the sample's own row
    // (column): the same score as the straightforward fit.
    EXPECT_EQ(f.vacuoleScore, t.vacuoleScore);
    EXPECT_EQ(f.vacuoleArea, t.vacuoleArea);
  }
}

// Noisy cells with round dips; the stage must agree with the straightforward
// fit to the last bit.
void buildNoisyFrame(Scene& s, uint64_t seed) {
  Noise noise(seed);
  const double* cx = contents_test::kNoisyCellX;
  const double* cy = contents_test::kNoisyCellY;
  const double* radius = contents_test::kNoisyCellRadius;
  for (int c = 0; c < 5; ++c) {
    const double vx = cx[c] + noise.next(6.0);
    const double vy = cy[c] + noise.next(6.0);
    const double sigma = 2.0 + c * 0.7;
    const double amplitude = 0.005 + 0.02 * c;
    s.addDisc(cx[c], cy[c], radius[c], [&](int32_t x, int32_t y) {
      return 0.6 - 0.5 * gaussian(x, y, vx, vy, sigma) + 0.3 * gaussian(x, y, cx[c], cy[c] - 8, 3.0) +
             noise.next(amplitude);
    });
  }
  s.finishCells();
}

TEST(VacuoleFit, AgreesWithTheStraightforwardFitBitForBit) {
  for (uint64_t seed = 1; seed <= 8; ++seed) {
    Scene fast(120, 90);
    Scene straight(120, 90);
    buildNoisyFrame(fast, seed);
    buildNoisyFrame(straight, seed);
    floodBlobs(fast.settings, fast.b, FloodDirection::Backward);
    floodBlobs(straight.settings, straight.b, FloodDirection::Backward);
    ASSERT_GT(fast.b.candidateCount, 0);
    fitVacuoles(fast.settings, fast.b);
    contents_test::straightFitVacuoles(straight.b);
    int scored = 0;
    for (int32_t blob = 1; blob <= fast.b.blobCount; ++blob) {
      const BlobRecord& f = fast.b.blobTable[blob];
      const BlobRecord& t = straight.b.blobTable[blob];
      ASSERT_EQ(std::memcmp(&f.vacuoleScore, &t.vacuoleScore, sizeof(double)), 0) << seed << " blob " << blob;
      if (t.vacuoleScore > 0) {
        ++scored;
        EXPECT_EQ(f.vacuoleCentre, t.vacuoleCentre);
        EXPECT_EQ(std::memcmp(&f.vacuoleArea, &t.vacuoleArea, sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(f.vacuoleRadius, t.vacuoleRadius, 120 * sizeof(double)), 0);
      }
    }
    EXPECT_GT(scored, 0) << "seed " << seed;
  }
}

}  // namespace

}  // namespace focustrack
