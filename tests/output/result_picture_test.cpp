#include "output/result_picture.h"

#include <gtest/gtest.h>

#include <string>

#include "support/output_fixture.h"
#include "support/picture_files.h"

namespace focustrack {

namespace {

// A 37 x 23 frame (odd width: padded BMP rows) with a grey gradient, two
// cells, a nucleus-free border, an id and a track drawn on the canvas.
void drawScene(HandFrame& f, ResultCanvas& canvas, int32_t zoom) {
  for (int32_t p = 0; p < f.b.pixelCount; ++p) f.b.sliceStack[p] = static_cast<uint8_t>(40 + 7 * p % 180);
  f.paintRect(f.addCell(12), 4, 6, 14, 16);
  const int32_t excluded = f.addCell(3);
  f.paintRect(excluded, 20, 0, 30, 9);
  f.cell(excluded).excluded = 1;
  f.addLink(1, 9 * 37 + 9, 11 * 37 + 25);
  ASSERT_TRUE(canvas.allocate(f.b.width, f.b.height, zoom));
  drawResultImage(f.settings, f.b, canvas);
}

// Every pixel of `small` appears as a zoom x zoom block of `large`.
void expectBlocks(const Picture& small, const Picture& large, int32_t zoom) {
  ASSERT_EQ(large.width, small.width * zoom);
  ASSERT_EQ(large.height, small.height * zoom);
  int32_t mismatches = 0;
  for (int32_t y = 0; y < large.height; ++y) {
    for (int32_t x = 0; x < large.width; ++x) {
      const uint8_t* want = small.at(x / zoom, y / zoom);
      const uint8_t* got = large.at(x, y);
      if (want[0] != got[0] || want[1] != got[1] || want[2] != got[2]) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Zoom 1 writes the canvas's own BMP file; a larger zoom turns every pixel
// into a block (37 x 3 pixels: padded rows); PNG holds the BMP's pixels.
TEST(ResultPicture, ZoomedBmpAndPngShowTheClassicPicture) {
  TempFolder folder;
  for (const int32_t zoom : {1, 3}) {
    HandFrame f(37, 23);
    ResultCanvas canvas;
    drawScene(f, canvas, zoom);
    ASSERT_EQ(canvas.saveBmp(folder.file("classic.bmp")), 0);
    f.settings.imageZoom = zoom;
    std::string why;
    ASSERT_TRUE(saveResultPicture(canvas, f.settings, folder.file("picture.bmp"), &why)) << why;
    f.settings.imageFormat = "png";
    ASSERT_TRUE(saveResultPicture(canvas, f.settings, folder.file("picture.png"), &why)) << why;
    const Picture classic = readBmpPicture(folder.file("classic.bmp"));
    const Picture bmp = readBmpPicture(folder.file("picture.bmp"));
    ASSERT_EQ(classic.width, 37);
    if (zoom == 1) {
      EXPECT_EQ(readBytes(folder.file("picture.bmp")), readBytes(folder.file("classic.bmp")));
    }
    expectBlocks(classic, bmp, zoom);
    EXPECT_TRUE(readPngPicture(folder.file("picture.png")) == bmp) << "zoom " << zoom;
    // The drawing itself is unchanged by the zoom: a red border.
    EXPECT_EQ(std::vector<uint8_t>(classic.at(4, 16), classic.at(4, 16) + 3), (std::vector<uint8_t>{255, 0, 0}));
  }
}

TEST(ResultPicture, UnwritableFilesAreReported) {
  TempFolder folder;
  HandFrame f(37, 23);
  ResultCanvas canvas;
  drawScene(f, canvas, 2);
  f.settings.imageZoom = 2;
  for (const std::string format : {"bmp", "png"}) {
    f.settings.imageFormat = format;
    std::string why;
    EXPECT_FALSE(saveResultPicture(canvas, f.settings, folder.file("missing/result_0001." + format), &why));
    EXPECT_NE(why.find("cannot create"), std::string::npos) << why;
  }
  std::string why;
  EXPECT_FALSE(saveResultPicture(canvas, f.settings, "/dev/full", &why));
  EXPECT_FALSE(why.empty());
}

}  // namespace

}  // namespace focustrack
