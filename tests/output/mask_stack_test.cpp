#include "output/mask_stack.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "io/imagej_stack.h"
#include "output/masks.h"
#include "support/output_fixture.h"
#include "support/picture_files.h"

namespace focustrack {

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Track ids on the cells' pixels, 0 elsewhere, as masks_NNNN.tif holds them.
std::vector<uint32_t> labelsOf(const HandFrame& f) {
  std::vector<uint32_t> samples(f.b.pixelCount);
  fillTrackIds(f.b, samples.data());
  return samples;
}

// A 7 x 5 frame whose two cells move one column right per frame.
void paintFrame(HandFrame& f, int32_t frame, int32_t firstId, int32_t secondId) {
  for (int32_t p = 0; p < f.b.pixelCount; ++p) f.b.cellMap[p] = -1;
  f.b.nextCellNumber = 1;
  f.b.frameOrdinal = frame;
  f.paintRect(f.addCell(firstId), frame - 1, 0, frame, 1);
  const int32_t excluded = f.addCell(secondId);
  f.paintRect(excluded, frame, 3, frame + 1, 4);
  f.cell(excluded).excluded = 1;
}

TEST(MaskStack, OnePagePerFrameEachEqualToThatFramesMask) {
  TempFolder folder;
  HandFrame f(7, 5);
  f.settings.outputFolder = folder.path();
  MaskStack stack;
  std::vector<std::vector<uint32_t>> expected;
  std::string why;
  for (int32_t frame = 1; frame <= 3; ++frame) {
    paintFrame(f, frame, 4 + frame, 40);
    expected.push_back(labelsOf(f));
    ASSERT_TRUE(stack.addFrame(f.settings, f.b, &why)) << why;
    // After every frame the file under the final name is a complete stack.
    const std::vector<TiffPage> pages = readTiffPages(folder.file("masks.tif"));
    ASSERT_EQ(pages.size(), size_t(frame));
    for (int32_t k = 0; k < frame; ++k) {
      EXPECT_EQ(pages[k].width, 7u);
      EXPECT_EQ(pages[k].height, 5u);
      EXPECT_EQ(pages[k].bits, 16);
      EXPECT_EQ(pages[k].format, SAMPLEFORMAT_UINT);
      EXPECT_EQ(pages[k].samples, expected[k]) << "page " << k << " after frame " << frame;
    }
    EXPECT_FALSE(std::filesystem::exists(folder.file("masks.tif.part")));
  }
  EXPECT_EQ(stack.pages(), 3);
}

TEST(MaskStack, ImageJDescriptionAndContiguousSamples) {
  TempFolder folder;
  HandFrame f(7, 5);
  f.settings.outputFolder = folder.path();
  MaskStack stack;
  std::string why;
  for (int32_t frame = 1; frame <= 4; ++frame) {
    paintFrame(f, frame, 3, 9);
    ASSERT_TRUE(stack.addFrame(f.settings, f.b, &why)) << why;
  }
  const std::vector<TiffPage> pages = readTiffPages(folder.file("masks.tif"));
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_EQ(pages[0].description,
            "ImageJ=1.11a\nimages=4\nframes=4\nhyperstack=true\nloop=false\nmin=0.0\nmax=9.0\n");
  // ImageJ reads the pages as one block from the first page's samples on.
  for (size_t k = 1; k < pages.size(); ++k) {
    EXPECT_TRUE(pages[k].description.empty());
    EXPECT_EQ(pages[k].firstStripOffset, pages[0].firstStripOffset + k * 7 * 5 * 2);
  }
  // Without a pixel size no resolution is claimed.
  EXPECT_EQ(pages[0].xResolution, 0.0f);
}

TEST(MaskStack, KnownUnitsGiveMicronsAndSeconds) {
  TempFolder folder;
  HandFrame f(7, 5);
  f.settings.outputFolder = folder.path();
  f.settings.pixelSize = 0.13;
  f.settings.frameInterval = 2.5;
  paintFrame(f, 1, 3, 9);
  MaskStack stack;
  std::string why;
  ASSERT_TRUE(stack.addFrame(f.settings, f.b, &why)) << why;
  const std::vector<TiffPage> pages = readTiffPages(folder.file("masks.tif"));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_TRUE(has(pages[0].description, "\nunit=micron\nspacing=0.13\nfinterval=150\n"))
      << pages[0].description;
  EXPECT_NEAR(pages[0].xResolution, 1.0 / 0.13, 1e-5);
  EXPECT_NEAR(pages[0].yResolution, 1.0 / 0.13, 1e-5);
}

TEST(MaskStack, AnIdAbove65535TurnsEveryPageThirtyTwoBit) {
  TempFolder folder;
  HandFrame f(7, 5);
  f.settings.outputFolder = folder.path();
  MaskStack stack;
  std::string why;
  paintFrame(f, 1, 65535, 2);
  const std::vector<uint32_t> first = labelsOf(f);
  ASSERT_TRUE(stack.addFrame(f.settings, f.b, &why)) << why;
  paintFrame(f, 2, 70000, 2);
  const std::vector<uint32_t> second = labelsOf(f);
  ASSERT_TRUE(stack.addFrame(f.settings, f.b, &why)) << why;
  paintFrame(f, 3, 5, 2);  // later pages stay 32-bit
  ASSERT_TRUE(stack.addFrame(f.settings, f.b, &why)) << why;
  const std::vector<TiffPage> pages = readTiffPages(folder.file("masks.tif"));
  ASSERT_EQ(pages.size(), 3u);
  for (const TiffPage& page : pages) EXPECT_EQ(page.bits, 32);
  EXPECT_EQ(pages[0].samples, first);
  EXPECT_EQ(pages[1].samples, second);
  EXPECT_EQ(pages[2].samples, labelsOf(f));
  EXPECT_TRUE(has(pages[0].description, "max=70000.0\n")) << pages[0].description;
}

TEST(MaskStack, FailedFrameKeepsThePreviousFile) {
  TempFolder folder;
  HandFrame f(7, 5);
  f.settings.outputFolder = folder.path();
  MaskStack stack;
  std::string why;
  paintFrame(f, 1, 3, 9);
  const std::vector<uint32_t> first = labelsOf(f);
  ASSERT_TRUE(stack.addFrame(f.settings, f.b, &why)) << why;
  // A folder in the way of the temporary file makes the next frame fail.
  std::filesystem::create_directory(folder.file("masks.tif.part"));
  paintFrame(f, 2, 3, 9);
  EXPECT_FALSE(stack.addFrame(f.settings, f.b, &why));
  EXPECT_TRUE(has(why, "masks.tif")) << why;
  EXPECT_EQ(stack.pages(), 1);
  const std::vector<TiffPage> pages = readTiffPages(folder.file("masks.tif"));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].samples, first);
  // Once the way is clear the stack goes on from the pages it holds.
  std::filesystem::remove(folder.file("masks.tif.part"));
  ASSERT_TRUE(stack.addFrame(f.settings, f.b, &why)) << why;
  EXPECT_EQ(readTiffPages(folder.file("masks.tif")).size(), 2u);
}

TEST(MaskStack, AStackLeftByAnEarlierRunIsReplaced) {
  TempFolder folder;
  HandFrame f(7, 5);
  f.settings.outputFolder = folder.path();
  std::string why;
  {
    MaskStack earlier;
    for (int32_t frame = 1; frame <= 3; ++frame) {
      paintFrame(f, frame, 3, 9);
      ASSERT_TRUE(earlier.addFrame(f.settings, f.b, &why)) << why;
    }
  }
  MaskStack stack;
  paintFrame(f, 1, 8, 9);
  ASSERT_TRUE(stack.addFrame(f.settings, f.b, &why)) << why;
  const std::vector<TiffPage> pages = readTiffPages(folder.file("masks.tif"));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].samples, labelsOf(f));
}

TEST(ImageJStack, RationalsKeepSixDecimalsWithinThirtyTwoBits) {
  uint32_t numerator = 0, denominator = 0;
  rationalOf(1.0 / 0.065, &numerator, &denominator);
  EXPECT_EQ(denominator, 1000000u);
  EXPECT_EQ(numerator, 15384615u);
  rationalOf(20000.0, &numerator, &denominator);  // 20000e6 does not fit
  EXPECT_EQ(denominator, 100000u);
  EXPECT_EQ(numerator, 2000000000u);
}

TEST(ImageJStack, LayoutBeyondFourGiBIsRefused) {
  StackFileLayout layout;
  layout.width = 4096;
  layout.height = 4096;
  layout.bytesPerSample = 4;
  layout.pages = 65;
  layout.description = "ImageJ=1.11a\n";
  EXPECT_GT(stackFileBytes(layout), 0xFFFFFFFFull);
  FILE* sink = std::tmpfile();
  ASSERT_NE(sink, nullptr);
  EXPECT_FALSE(writeStackHead(sink, layout));
  std::fclose(sink);
}

}  // namespace

}  // namespace focustrack
