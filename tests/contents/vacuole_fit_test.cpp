#include "contents/contents.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/content_scene.h"
#include "support/straight_fits.h"

namespace focustrack {

namespace {

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

// An elliptical basin 13 pixels from one border of a 40 x 64 frame (64 x 40
// for the top and bottom), 1.5 times longer along the border than across it:
// its ring reaches outside the image. u counts from the border, v along it.
void buildBorderBasin(Scene& s, int side) {
  const auto place = [&](int32_t u, int32_t v) {
    const int32_t x = side == 0 ? u : side == 2 ? s.width() - 1 - u : v;
    const int32_t y = side == 1 ? u : side == 3 ? s.height() - 1 - u : v;
    return s.at(x, y);
  };
  for (int32_t u = 0; u < 40; ++u) {
    for (int32_t v = 0; v < 64; ++v) s.b.deltaMap[place(u, v)] = 0.1 + 0.1 * std::hypot(u - 13, (v - 32) / 1.5);
  }
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
