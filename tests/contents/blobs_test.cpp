#include "contents/contents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "support/content_scene.h"

namespace focustrack {

namespace {

using contents_test::Scene;

// An 11 x 11 frame with one 9 x 9 cell around (5, 5):
//   band (Chebyshev distance 3..4 from the centre): 0.9, one blob from (1, 1)
//   ring (distance 2): 0.5; its corners join the band, the rest lie between
//     the band and the core and stay unassigned
//   core (distance 0..1): centre 1.0, its 4-neighbours 0.8, corners 0.7; one
//     blob of nine pixels that never reaches the cell's border
void buildMoat(Scene& s) {
  s.addCell([](int32_t x, int32_t y) { return x >= 1 && y >= 1 && x <= 9 && y <= 9; },
            [](int32_t x, int32_t y) {
              const int d = std::max(std::abs(x - 5), std::abs(y - 5));
              if (d >= 3) return 0.9;
              if (d == 2) return 0.5;
              if (d == 0) return 1.0;
              return (x == 5 || y == 5) ? 0.8 : 0.7;
            });
  s.finishCells();
}

TEST(Blobs, BackwardPassTakesEqualValuesInReverseListOrder) {
  Scene s(11, 11);
  buildMoat(s);
  s.b.blobTable[1].vacuoleScore = 5.0;
  floodBlobs(s.settings, s.b, FloodDirection::Forward);
  EXPECT_EQ(s.b.blobTable[1].vacuoleScore, 5.0);  // only the backward pass resets it
  floodBlobs(s.settings, s.b, FloodDirection::Backward);
  // The lowest pixels are the 0.5 ring; the last of them in list order opens
  // blob 1.
  EXPECT_EQ(s.b.blobTable[1].seedPixel, s.at(7, 7));
  EXPECT_EQ(s.b.blobTable[1].vacuoleScore, 0.0);
  EXPECT_EQ(s.b.blobMap()[s.at(5, 5)] != 0, true);
}

TEST(Blobs, ExcludedCellsAndFramesWithoutCellsHaveNoBlobsAndNoEdges) {
  for (bool withCell : {true, false}) {
    Scene s(12, 10);
    if (withCell) {
      s.addCell([](int32_t x, int32_t y) { return x <= 5 && y >= 2 && y <= 7; },  // touches column 0
                [](int32_t x, int32_t y) { return 0.1 * x + 0.01 * y; });
    }
    s.finishCells();
    floodBlobs(s.settings, s.b, withCell ? FloodDirection::Forward : FloodDirection::Backward);
    EXPECT_EQ(std::pair(s.b.blobCount, s.b.candidateCount), std::pair(0, 0));
    EXPECT_TRUE(s.b.capacityNote.empty());
    for (int32_t p = 0; p < s.b.pixelCount; ++p) {
      ASSERT_EQ(s.b.edgeMap()[p], -1) << p;
      ASSERT_EQ(s.b.blobMap()[p], 0) << p;
    }
  }
}

// A checkerboard cell: every high pixel is a peak of its own, 106,002 of them.
void buildCheckerboard(Scene& s) {
  s.addCell([](int32_t x, int32_t y) { return x >= 1 && y >= 1 && x <= 702 && y <= 302; },
            [](int32_t x, int32_t y) { return (x + y) % 2 == 0 ? 1.0 : 0.0; });
  s.finishCells();
}

// The blob table grows past 99,999 blobs: every peak opens its blob. Only
// when memory runs out (a limit stands in for it) does no further blob open;
// one note per frame, however often that happens.
TEST(Blobs, BlobTableGrowsUntilMemoryRunsOutThenOpensNoBlob) {
  Scene s(704, 304);
  ASSERT_TRUE(s.allocated);
  buildCheckerboard(s);
  floodBlobs(s.settings, s.b, FloodDirection::Forward);
  EXPECT_EQ(s.b.blobCount, 106002);
  EXPECT_GT(s.b.vacuoleOutlines.size(), 106002u);  // every blob has room for its outline
  EXPECT_TRUE(s.b.capacityNote.empty()) << s.b.capacityNote;

  Scene limited(704, 304);
  ASSERT_TRUE(limited.allocated);
  buildCheckerboard(limited);
  limited.b.tableLimit = 100000;
  floodBlobs(limited.settings, limited.b, FloodDirection::Forward);
  EXPECT_EQ(limited.b.blobCount, 99999);
  EXPECT_NE(limited.b.capacityNote.find("out of memory for more blobs"), std::string::npos)
      << limited.b.capacityNote;
  int32_t firstRefused = -1;
  for (int32_t j = 0, seen = 0; j < limited.b.cellPixelTotal && firstRefused < 0; ++j) {
    const int32_t p = limited.b.cellPixels[j];
    if (limited.b.deltaMap[p] == 1.0 && ++seen == 100000) firstRefused = p;
  }
  ASSERT_GE(firstRefused, 0);
  EXPECT_EQ(limited.b.blobMap()[firstRefused], 0);
  for (int32_t p = 0; p < limited.b.pixelCount; ++p) ASSERT_LE(limited.b.blobMap()[p], 99999);
  const std::string note = limited.b.capacityNote;
  floodBlobs(limited.settings, limited.b, FloodDirection::Backward);
  EXPECT_EQ(limited.b.capacityNote, note);
}

}  // namespace

}  // namespace focustrack
