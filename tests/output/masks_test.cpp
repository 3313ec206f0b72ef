#include "output/masks.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/label_image.h"
#include "support/output_fixture.h"

namespace focustrack {

namespace {

// Track ids on the cells' pixels, 0 elsewhere; excluded cells included.
std::vector<uint32_t> expectedSamples(const HandFrame& f) {
  std::vector<uint32_t> samples;
  for (int32_t p = 0; p < f.b.pixelCount; ++p) {
    const int32_t c = f.b.cellMap[p];
    samples.push_back(c < 1 ? 0u : static_cast<uint32_t>(f.b.currentCells[c].trackId));
  }
  return samples;
}

// Frame 3 holds ids up to 65535 in 16 bits; frame 4 adds 70000 and switches to
// 32 bits. The scratch kept by the caller serves every frame.
TEST(Masks, SixteenBitsUpTo65535ThenThirtyTwo) {
  TempFolder folder;
  HandFrame f(7, 5);
  f.settings.outputFolder = folder.path();
  f.b.frameOrdinal = 3;
  f.paintRect(f.addCell(3), 1, 1, 3, 3);
  const int32_t excluded = f.addCell(65535);
  f.paintRect(excluded, 5, 0, 6, 4);
  f.cell(excluded).excluded = 1;
  std::vector<uint32_t> scratch;
  std::string why;
  ASSERT_TRUE(writeMask(f.settings, f.b, scratch, &why)) << why;
  const uint32_t* kept = scratch.data();
  const LabelImage first = readLabelImage(folder.file("masks_0003.tif"));
  EXPECT_EQ(std::tuple(first.width, first.height, first.bits, first.format), std::tuple(7u, 5u, 16, SAMPLEFORMAT_UINT));
  EXPECT_EQ(first.samples, expectedSamples(f));

  f.b.frameOrdinal = 4;
  f.paintRect(f.addCell(70000), 3, 2, 4, 4);
  ASSERT_TRUE(writeMask(f.settings, f.b, scratch, &why)) << why;
  EXPECT_EQ(scratch.data(), kept);
  const LabelImage second = readLabelImage(folder.file("masks_0004.tif"));
  EXPECT_EQ(std::tuple(second.bits, second.format), std::tuple(32, SAMPLEFORMAT_UINT));
  EXPECT_EQ(second.samples, expectedSamples(f));
}

// A run with --scale analyses a resampled grid; its masks have the input's
// size, every pixel the label of the analysed pixel nearest its centre. A
// folder that does not exist is reported with the file's name.
TEST(Masks, ResampledRunsWriteAtTheInputSize) {
  TempFolder folder;
  HandFrame f(8, 6);  // the analysed grid: an input of 4 x 3 at scale 2
  f.settings.outputFolder = folder.path();
  f.settings.width = 4;
  f.settings.height = 3;
  f.settings.scale = 2.0;
  f.paintRect(f.addCell(7), 2, 0, 5, 3);   // input pixels 1..2 of rows 0..1
  f.paintRect(f.addCell(9), 0, 5, 7, 5);   // the analysed grid's last row: input row 2
  f.b.cellMap[1 * 8 + 7] = 2;              // analysed (7, 1): input pixel (3, 0)
  std::vector<uint32_t> scratch;
  std::string why;
  ASSERT_TRUE(writeMask(f.settings, f.b, scratch, &why)) << why;
  const LabelImage mask = readLabelImage(folder.file("masks_0001.tif"));
  EXPECT_EQ(std::tuple(mask.width, mask.height), std::tuple(4u, 3u));
  EXPECT_EQ(mask.samples, (std::vector<uint32_t>{0, 7, 7, 9,   //
                                                 0, 7, 7, 0,   //
                                                 9, 9, 9, 9}));
  f.settings.outputFolder = folder.file("missing");
  EXPECT_FALSE(writeMask(f.settings, f.b, scratch, &why));
  EXPECT_NE(why.find("masks_0001.tif"), std::string::npos) << why;
}

}  // namespace

}  // namespace focustrack
