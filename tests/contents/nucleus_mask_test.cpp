#include "contents/contents.h"

#include <gtest/gtest.h>

#include "support/content_scene.h"

namespace focustrack {

namespace {

using contents_test::Scene;

// Cell 1 with a measured nucleus of radius `radius` in every direction around
// (cx, cy); blobs 1..n of the backward pass seeded at `seeds`.
void setUp(Scene& s, double value, int32_t cx, int32_t cy, double radius,
           const std::vector<int32_t>& seeds) {
  s.b.nextCellNumber = 2;
  CellRecord& cell = s.b.currentCells[1];
  cell = CellRecord{};
  cell.nucleusValue = value;
  cell.nucleusCentre = s.at(cx, cy);
  for (int32_t k = 0; k <= kDirections; ++k) cell.nucleusRadius[k] = radius;
  s.b.blobCount = static_cast<int32_t>(seeds.size());
  for (size_t i = 0; i < seeds.size(); ++i) {
    s.b.blobTable[i + 1].seedPixel = seeds[i];
    s.b.blobTable[i + 1].interior = 1;
  }
  std::fill_n(s.b.nucleusMask(), s.b.pixelCount, 7);  // stale edge map
}

TEST(NucleusMask, OnlyNucleiOfThisFrameAtOrAboveTheThresholdArePainted) {
  // nucleusValue 0 at threshold 0: centre and radii are left over from
  // another frame; any positive score of this frame is painted.
  const struct {
    double value, threshold;
    bool painted;
  } cases[] = {{0.59, -1.0, false}, {0.59, 0.59, true}, {0.0, 0.0, false}, {1e-9, 0.0, true}};
  for (const auto& c : cases) {
    Scene s(40, 40);
    if (c.threshold >= 0) s.settings.nucleusThreshold = c.threshold;  // else the default
    setUp(s, c.value, 20, 20, 3.0, {s.at(20, 20)});
    excludeNucleusBlobs(s.settings, s.b);
    EXPECT_EQ(s.b.blobTable[1].interior, c.painted ? 0 : 1) << c.value << " at " << c.threshold;
    int32_t painted = 0;
    for (int32_t p = 0; p < s.b.pixelCount; ++p) painted += s.b.nucleusMask()[p];
    EXPECT_EQ(painted > 0, c.painted) << c.value << " at " << c.threshold;
  }
}

TEST(NucleusMask, WalksNearTheImageBorderStayInside) {
  // A nucleus by the top left corner of a 30 x 20 frame, then the same turned
  // by half a turn: by the bottom right corner, every pixel at (29 - x, 19 - y).
  for (bool turned : {false, true}) {
    Scene s(30, 20);
    const auto at = [&](int32_t x, int32_t y) { return turned ? s.at(29 - x, 19 - y) : s.at(x, y); };
    setUp(s, 0.9, turned ? 28 : 1, turned ? 18 : 1, 12.0, {at(29, 0), at(0, 0), at(29, 19)});
    excludeNucleusBlobs(s.settings, s.b);
    const int32_t* mask = s.b.nucleusMask();
    SCOPED_TRACE(turned ? "bottom right" : "top left");
    // Walks towards the border end there instead of wrapping to the next row
    // or the far column (the blobs at (29, 0) and (29, 19) stay).
    EXPECT_EQ(s.b.blobTable[1].interior, 1);
    EXPECT_EQ(s.b.blobTable[3].interior, 1);
    EXPECT_EQ(mask[at(0, 1)], 1);
    EXPECT_EQ(mask[at(1, 0)], 1);
    EXPECT_EQ(s.b.blobTable[2].interior, 0);
    // Radius 12 plus the step past it; direction 60 steps slightly more than
    // 1.0 and ends after 12.
    EXPECT_EQ(mask[at(turned ? 13 : 14, 1)], 1);
    // Nothing from column 15 on, the far column included.
    for (int32_t y = 0; y < 20; ++y)
      for (int32_t x = 15; x < 30; ++x) ASSERT_EQ(mask[at(x, y)], 0) << x << "," << y;
  }
}

}  // namespace

}  // namespace focustrack
