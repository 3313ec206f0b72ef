#include "contents/contents.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/content_scene.h"
#include "support/straight_fits.h"

namespace focustrack {

namespace {

using contents_test::Scene;
using contents_test::singleCandidate;

// A 50 x 50 frame with one cell covering all but the border; the value of a
// pixel depends on its distance r from the centre (25, 25).
void buildRadialCell(Scene& s, double (*value)(double r)) {
  s.addCell([](int32_t x, int32_t y) { return x >= 1 && y >= 1 && x <= 48 && y <= 48; },
            [value](int32_t x, int32_t y) { return value(std::hypot(x - 25.0, y - 25.0)); });
  s.finishCells();
}

TEST(NucleusFit, InnerPhaseRunningOutOfBudgetRecordsSixteenForBothPhases) {
  Scene s(50, 50);
  buildRadialCell(s, [](double) { return 1.0; });
  singleCandidate(s, s.at(25, 25), s.at(25, 25));
  fitNuclei(s.settings, s.b);
  for (int32_t k = 0; k < kDirections; ++k) {
    EXPECT_EQ(s.b.angleTable[k].scratchB, 16.0) << "direction " << k;
    EXPECT_EQ(s.b.angleTable[k].scratchA, 16.0) << "direction " << k;
  }
  // Nothing beyond the nucleolus: no ring pixel, no nucleus.
  EXPECT_EQ(s.b.currentCells[1].nucleusValue, 0.0);
}

// Cells with a Gaussian nucleus inside a rising wall, so that the nucleus
// blob is enclosed by pixels where it meets the wall blobs. Bump centres are
// 30 columns apart, so two bumps are exact translations of each other.
double bumpInWall(double r) {
  return 0.1 + 0.8 * std::exp(-r * r / 32.0) + (r > 8.0 ? 0.1 * (r - 8.0) : 0.0);
}

void buildTwoBumpCell(Scene& s) {
  s.addCell([](int32_t x, int32_t y) { return x >= 2 && y >= 2 && x <= 69 && y <= 39; },
            [](int32_t x, int32_t y) {
              const double r = std::min(std::hypot(x - 21.0, y - 20.0), std::hypot(x - 51.0, y - 20.0));
              return bumpInWall(r);
            });
  s.finishCells();
}

TEST(NucleusFit, AGaussianNucleusIsFoundAtItsPeakAndOfEqualScoresTheFirstStays) {
  Scene both(72, 42);
  buildTwoBumpCell(both);
  floodBlobs(both.settings, both.b, FloodDirection::Forward);
  ASSERT_GT(both.b.candidateCount, 0);
  fitNuclei(both.settings, both.b);
  const CellRecord& cell = both.b.currentCells[1];
  EXPECT_GT(cell.nucleusValue, 0.6);
  EXPECT_GT(cell.nucleusArea, cell.nucleoliArea);
  EXPECT_GT(cell.nucleoliArea, 0.0);
  // Of the two identical nuclei the first in list order wins ...
  EXPECT_EQ(cell.nucleusCentre, both.at(21, 20));
  // ... and the candidates of the right-hand bump alone reach exactly the
  // same score.
  Scene right(72, 42);
  buildTwoBumpCell(right);
  floodBlobs(right.settings, right.b, FloodDirection::Forward);
  int32_t* list = right.b.candidatePixels();
  int32_t kept = 0;
  for (int32_t i = 0; i < right.b.candidateCount; ++i) {
    if (list[i] % right.width() > 36) list[kept++] = list[i];
  }
  ASSERT_GT(kept, 0);
  right.b.candidateCount = kept;
  fitNuclei(right.settings, right.b);
  EXPECT_EQ(right.b.currentCells[1].nucleusValue, cell.nucleusValue);
  EXPECT_EQ(right.b.currentCells[1].nucleusCentre, right.at(51, 20));
}

// An elliptical basin 13 pixels from one border of a 40 x 64 frame (64 x 40
// for the top and bottom), 1.5 times longer along the border than across it:
// its ring reaches outside the image. u counts from the border, v along it.
void buildBorderBasin(Scene& s, int side) {
  const auto place = [&](int32_t u, int32_t v) {
    const int32_t x = side == 0 ? u : side == 2 ? s.width() - 1 - u : v;
    const int32_t y = side == 1 ? u : side == 3 ? s.height() - 1 - u : v;
    return s.at(x, y);
  };
  for (int32_t u = 0; u < 40; ++u)
    for (int32_t v = 0; v < 64; ++v) s.b.deltaMap[place(u, v)] = 0.1 + 0.1 * std::hypot(u - 13, (v - 32) / 1.5);
  singleCandidate(s, place(13, 32), place(25, 32));
}

TEST(VacuoleFit, RingSamplesNearTheImageBorderStayInside) {
  // The clamped samples read the border pixels of the sample's own row
  // (column): the same score as the straightforward fit.
  for (int side : {0, 1, 2, 3}) {
    const int32_t w = side % 2 ? 64 : 40;
    Scene fast(w, 104 - w);
    Scene straight(w, 104 - w);
    buildBorderBasin(fast, side);
    buildBorderBasin(straight, side);
    fitVacuoles(fast.settings, fast.b);
    contents_test::straightFitVacuoles(straight.b);
    const BlobRecord& f = fast.b.blobTable[1];
    const BlobRecord& t = straight.b.blobTable[1];
    ASSERT_GT(f.vacuoleScore, 0.0) << "side " << side;
    EXPECT_EQ(f.vacuoleScore, t.vacuoleScore) << "side " << side;
    EXPECT_EQ(f.vacuoleArea, t.vacuoleArea) << "side " << side;
  }
}

}  // namespace

}  // namespace focustrack
