#include "output/masks.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <string>
#include <vector>

#include "output/output_fixture.h"

namespace {

struct MaskImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bits = 0;
  uint16_t format = 0;
  std::vector<uint32_t> samples;
};

bool readMask(const std::string& path, MaskImage& image) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return false;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &image.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &image.height);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &image.bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &image.format);
  std::vector<unsigned char> row(TIFFScanlineSize(tif));
  bool ok = true;
  for (uint32_t y = 0; y < image.height && ok; ++y) {
    ok = TIFFReadScanline(tif, row.data(), y, 0) == 1;
    for (uint32_t x = 0; x < image.width && ok; ++x) {
      if (image.bits == 16) {
        uint16_t v;
        std::memcpy(&v, row.data() + 2 * x, 2);
        image.samples.push_back(v);
      } else {
        uint32_t v;
        std::memcpy(&v, row.data() + 4 * x, 4);
        image.samples.push_back(v);
      }
    }
  }
  TIFFClose(tif);
  return ok;
}

// Track ids on the cells' pixels, 0 elsewhere; excluded cells included.
std::vector<uint32_t> expectedSamples(const HandFrame& f) {
  std::vector<uint32_t> samples;
  for (int32_t p = 0; p < f.b.pixelCount; ++p) {
    const int32_t c = f.b.cellMap[p];
    samples.push_back(c < 1 ? 0u : static_cast<uint32_t>(f.b.currentCells[c].trackId));
  }
  return samples;
}

TEST(Masks, SixteenBitTrackIds) {
  TempFolder folder;
  HandFrame f(7, 5);
  f.settings.outputFolder = folder.path();
  f.b.frameOrdinal = 3;
  const int32_t a = f.addCell(3);
  f.paintRect(a, 1, 1, 3, 3);
  const int32_t e = f.addCell(65535);
  f.paintRect(e, 5, 0, 6, 4);
  f.cell(e).excluded = 1;
  std::vector<uint32_t> scratch;
  std::string why;
  ASSERT_TRUE(writeMask(f.settings, f.b, scratch, &why)) << why;
  MaskImage image;
  ASSERT_TRUE(readMask(folder.file("masks_0003.tif"), image));
  EXPECT_EQ(image.width, 7u);
  EXPECT_EQ(image.height, 5u);
  EXPECT_EQ(image.bits, 16);
  EXPECT_EQ(image.format, SAMPLEFORMAT_UINT);
  EXPECT_EQ(image.samples, expectedSamples(f));
  EXPECT_EQ(image.samples[1 * 7 + 2], 3u);
  EXPECT_EQ(image.samples[4 * 7 + 6], 65535u);
  EXPECT_EQ(image.samples[0], 0u);
}

// The scratch kept by the caller serves every frame; a track id above 65535
// switches the mask to 32-bit samples.
TEST(Masks, ThirtyTwoBitWhenAnIdExceeds16Bits) {
  TempFolder folder;
  HandFrame f(6, 4);
  f.settings.outputFolder = folder.path();
  const int32_t a = f.addCell(2);
  f.paintRect(a, 1, 1, 2, 2);
  std::vector<uint32_t> scratch;
  std::string why;
  ASSERT_TRUE(writeMask(f.settings, f.b, scratch, &why)) << why;
  const uint32_t* kept = scratch.data();

  f.b.frameOrdinal = 2;
  const int32_t big = f.addCell(70000);
  f.paintRect(big, 3, 1, 4, 3);
  ASSERT_TRUE(writeMask(f.settings, f.b, scratch, &why)) << why;
  EXPECT_EQ(scratch.data(), kept);
  MaskImage first;
  ASSERT_TRUE(readMask(folder.file("masks_0001.tif"), first));
  EXPECT_EQ(first.bits, 16);
  MaskImage second;
  ASSERT_TRUE(readMask(folder.file("masks_0002.tif"), second));
  EXPECT_EQ(second.bits, 32);
  EXPECT_EQ(second.format, SAMPLEFORMAT_UINT);
  EXPECT_EQ(second.samples, expectedSamples(f));
  EXPECT_EQ(second.samples[2 * 6 + 4], 70000u);
  EXPECT_EQ(second.samples[1 * 6 + 1], 2u);
}

TEST(Masks, UnwritableFolderIsReported) {
  TempFolder folder;
  HandFrame f(4, 4);
  f.settings.outputFolder = folder.file("missing");
  std::vector<uint32_t> scratch;
  std::string why;
  EXPECT_FALSE(writeMask(f.settings, f.b, scratch, &why));
  EXPECT_NE(why.find("masks_0001.tif"), std::string::npos) << why;
}

}  // namespace
