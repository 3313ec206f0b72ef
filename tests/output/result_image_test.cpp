#include "output/result_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/output_fixture.h"

namespace focustrack {

namespace {

using Pixels = std::set<std::pair<int32_t, int32_t>>;

// What the overlay shows at (x, y): '.' nothing, '#' black, 'R' red,
// 'W' white, 'B' blue, 'G' green, '?' anything else.
char shown(const ResultCanvas& canvas, int32_t x, int32_t y) {
  const size_t p = size_t(y) * size_t(canvas.width()) + size_t(x);
  if (canvas.overlayAlpha()[p] == 0.0) return '.';
  const uint8_t blue = canvas.overlayImage()[3 * p];
  const uint8_t green = canvas.overlayImage()[3 * p + 1];
  const uint8_t red = canvas.overlayImage()[3 * p + 2];
  if (red == 0 && green == 0 && blue == 0) return '#';
  if (red == 255 && green == 0 && blue == 0) return 'R';
  if (red == 255 && green == 255 && blue == 255) return 'W';
  if (red == 0 && green == 0 && blue == 255) return 'B';
  if (red == 0 && green == 255 && blue == 0) return 'G';
  return '?';
}

// Rows y0..y1 of columns x0..x1, each row ended by '\n'.
std::string picture(const ResultCanvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  std::string text;
  for (int32_t y = y0; y <= y1; ++y) {
    for (int32_t x = x0; x <= x1; ++x) text += shown(canvas, x, y);
    text += '\n';
  }
  return text;
}

Pixels painted(const ResultCanvas& canvas) {
  Pixels set;
  for (int32_t y = 0; y < canvas.height(); ++y) {
    for (int32_t x = 0; x < canvas.width(); ++x) {
      if (shown(canvas, x, y) != '.') set.insert({x, y});
    }
  }
  return set;
}

// Draws the frame onto the canvas, allocated to the frame's size.
void draw(HandFrame& f, ResultCanvas& canvas) {
  ASSERT_TRUE(canvas.allocate(f.b.width, f.b.height));
  drawResultImage(f.settings, f.b, canvas);
}

TEST(ResultCanvas, FirstColourWinsAndOutsidePointsAreSkipped) {
  ResultCanvas canvas;
  ASSERT_TRUE(canvas.allocate(4, 4));
  canvas.plotPixel(1, 1, 255, 0, 0);
  canvas.plotPixel(1, 1, 0, 255, 0);
  for (const auto& [x, y] : {std::pair{-1, 0}, {4, 0}, {0, 4}, {0, -1}}) canvas.plotPixel(x, y, 0, 255, 0);
  canvas.markEdge(2, 2, false, false, false, false, false);
  canvas.markEdge(3, 3, false, false, false, true, true);
  canvas.markEdge(0, 3, true, false, false, false, false);
  EXPECT_EQ(picture(canvas, 0, 0, 3, 3),
            "....\n"
            ".R..\n"
            "....\n"
            "R..W\n");
}

TEST(ResultCanvas, DrawNumberOverwritesAndSkipsOutsidePixels) {
  ResultCanvas canvas;
  ASSERT_TRUE(canvas.allocate(8, 6));
  canvas.plotPixel(2, 3, 255, 0, 0);
  canvas.plotPixel(2, 4, 255, 0, 0);
  canvas.drawNumber(1, 3, 105);  // rows 6 and 7 and the first two digits lie outside
  canvas.drawNumber(5, 0, 0);
  canvas.drawNumber(5, 0, -7);
  EXPECT_EQ(picture(canvas, 0, 0, 7, 5),
            "........\n"
            "........\n"
            "........\n"
            ".###....\n"
            ".#R.....\n"
            ".###....\n");
}

// 961 pixels make 2883 bytes, padded with one zero byte to 2884; the first
// file row is the bottom row of the picture; bytes are blue, green, red. (The
// header fields, and rows that need no padding, are pinned by the reference
// runs' result images.)
TEST(ResultCanvas, BmpRowsAndPadding) {
  TempFolder folder;
  ResultCanvas canvas;
  ASSERT_TRUE(canvas.allocate(961, 2));
  uint8_t* base = canvas.baseImage().data();
  for (int k = 0; k < 3; ++k) {
    base[k] = uint8_t(1 + k);                    // (0, 0)
    base[3 * (961 + 960) + k] = uint8_t(4 + k);  // (960, 1)
  }
  canvas.plotPixel(1, 1, 200, 100, 50);
  const std::string path = folder.file("wide.bmp");
  ASSERT_EQ(canvas.saveBmp(path), 0);
  const std::vector<uint8_t> bytes = readBytes(path);
  ASSERT_EQ(bytes.size(), 54u + 2884u * 2u);
  const size_t bottomRow = 54;  // picture row 1; (1, 1) drawn: blue, green, red
  const size_t topRow = 54 + 2884;
  const auto at = [&](size_t from, size_t count) { return std::vector<uint8_t>(&bytes[from], &bytes[from] + count); };
  EXPECT_EQ(at(bottomRow + 3, 3), (std::vector<uint8_t>{50, 100, 200}));
  EXPECT_EQ(at(bottomRow + 2880, 4), (std::vector<uint8_t>{4, 5, 6, 0}));  // then the padding
  EXPECT_EQ(at(topRow, 3), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(bytes[topRow + 2883], 0);
}

// The picture is written under a temporary name (here taken by a folder),
// which leaves an older picture as it is; a write that fails (a full
// device) answers 1 too.
TEST(ResultCanvas, SavedUnderATemporaryNameOrAnswersOne) {
  TempFolder folder;
  ResultCanvas canvas;
  ASSERT_TRUE(canvas.allocate(5, 3));
  ASSERT_TRUE(writeBytes(folder.file("result_0001.bmp"), {1, 2, 3}));
  std::filesystem::create_directories(folder.file("result_0001.bmp.part"));
  EXPECT_EQ(canvas.saveBmp(folder.file("result_0001.bmp")), 1);
  EXPECT_EQ(readBytes(folder.file("result_0001.bmp")), (std::vector<uint8_t>{1, 2, 3}));
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(canvas.saveBmp("/dev/full"), 1);
}

// Where a cell's number goes and how its digits look over the border, the
// order of nucleus outlines, vacuole outlines and borders where they meet,
// and the background of the reference slice under a fresh overlay every
// frame, are pinned by the reference runs' result images (tests/e2e/reference).

// An excluded cell is numbered too and bordered in white; the picture edge
// draws no border. The number of a cell on the top row stays on row 0.
TEST(ResultImage, ExcludedCellAtPictureEdgeAndCellOnTopRow) {
  struct Case {
    int32_t trackId, x0, y0, x1, y1;
    uint8_t excluded;
    int32_t left, top, right, bottom;
    const char* expected;
  };
  const Case cases[] = {
      {3, 0, 3, 6, 8, 1, 0, 2, 7, 9, "###.....\nWW#WWWW.\n###...W.\n..#...W.\n###...W.\n......W.\nWWWWWWW.\n........\n"},
      {7, 3, 0, 8, 5, 0, 2, 0, 5, 5, ".###\n.R.#\n.R.#\n.R.#\n.R.#\n.RRR\n"},
  };
  for (const Case& c : cases) {
    HandFrame f(20, 12);
    const int32_t cell = f.addCell(c.trackId);
    f.paintRect(cell, c.x0, c.y0, c.x1, c.y1);
    f.cell(cell).excluded = c.excluded;
    ResultCanvas canvas;
    draw(f, canvas);
    EXPECT_EQ(picture(canvas, c.left, c.top, c.right, c.bottom), c.expected) << c.trackId;
  }
}

// A cell in two pieces is numbered once, above its first pixel in raster
// order; a record without area is never numbered.
TEST(ResultImage, EachCellNumberedOnce) {
  HandFrame f(24, 16);
  const int32_t c = f.addCell(8);
  f.paintRect(c, 2, 9, 4, 10);
  f.paintRect(c, 10, 5, 12, 7);
  f.cell(c).area = 15;
  const int32_t empty = f.addCell(4);
  f.b.cellMap[14 * 24 + 20] = empty;  // stale pixel of an emptied record
  f.cell(empty).area = 0;
  ResultCanvas canvas;
  draw(f, canvas);
  EXPECT_EQ(picture(canvas, 10, 4, 12, 4), "###\n");
  EXPECT_EQ(picture(canvas, 2, 8, 4, 8), "...\n");
  EXPECT_EQ(picture(canvas, 18, 10, 22, 13), ".....\n.....\n.....\n.....\n");
}

// Tracks of the current frame and the four before it, between the centres
// the tables wrote into the link records.
TEST(ResultImage, TracksOfTheLastFiveFrames) {
  const int32_t width = 40;
  HandFrame f(width, 20);
  f.b.frameOrdinal = 6;
  f.addLink(1, 15 * width + 5, 15 * width + 9);
  f.addLink(2, 10 * width + 5, 10 * width + 9);
  f.addLink(6, 5 * width + 20, 5 * width + 10);
  ResultCanvas canvas;
  draw(f, canvas);
  EXPECT_EQ(picture(canvas, 4, 14, 10, 15), ".......\n.......\n");
  EXPECT_EQ(picture(canvas, 4, 10, 10, 10), ".BBBB..\n");
  Pixels expected = {{18, 4}, {19, 4}};
  for (int32_t x = 10; x <= 20; ++x) expected.insert({x, 5});
  Pixels upperRows = painted(canvas);
  std::erase_if(upperRows, [](const auto& pixel) { return pixel.second > 6; });
  EXPECT_EQ(upperRows, expected);
}

// A 16-bit reference slice is stretched: its 1st percentile black, its 99th
// white, linearly between.
TEST(ResultImage, SixteenBitBackgroundIsTheStretchedReferenceSlice) {
  HandFrame f(10, 10, 2);
  ASSERT_TRUE(obtainSixteenBitStack(f.b));
  f.b.sampleBits = 16;
  for (int32_t p = 0; p < 100; ++p) {
    f.b.sliceStack16[p] = 7;                                      // slice 0, not shown
    f.b.sliceStack16[100 + p] = static_cast<uint16_t>(1000 + 100 * p);  // the reference
  }
  f.b.referenceSlice = 1;
  ResultCanvas canvas;
  draw(f, canvas);
  // Ranks 1 and 98 of 100 values, 1100 and 10800, are black and white;
  // 6000 is (6000 - 1100) / 9700 of 255, rounded.
  const uint8_t* base = canvas.baseImage().data();
  EXPECT_EQ(std::tuple(int{base[3 * 1]}, int{base[3 * 50]}, int{base[3 * 50 + 2]}, int{base[3 * 98]}),
            std::tuple(0, 129, 129, 255));
}

}  // namespace

}  // namespace focustrack
