#include "io/stack_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "io/recording_reader.h"
#include "io/slice_loader.h"
#include "support/image_files.h"

namespace focustrack {

namespace {

using test_images::TiffLayout;
using Bytes = std::vector<uint8_t>;

// Page k of a test stack: every pixel k * 1000 + its index, so pages differ.
std::vector<uint16_t> pageValues(int32_t k, int32_t pixels) {
  std::vector<uint16_t> values(static_cast<size_t>(pixels));
  for (int32_t i = 0; i < pixels; ++i) values[static_cast<size_t>(i)] = static_cast<uint16_t>(k * 1000 + i);
  return values;
}

bool writeSixteenBitStack(const std::string& path, int32_t pages, const std::string& description) {
  std::vector<TiffLayout> layouts{{.width = 6, .height = 4, .bits = 16, .description = description},
                                  {.width = 6, .height = 4, .bits = 16}};
  std::vector<Bytes> contents;
  for (int32_t k = 0; k < pages; ++k) contents.push_back(test_images::nativeBytes(pageValues(k, 24)));
  return test_images::writeTiffPages(path, layouts, contents);
}

std::vector<uint16_t> readSixteen(TiffStack& stack, int32_t page) {
  DecodedImage image;
  std::string reason;
  EXPECT_TRUE(stack.readPage(page, 6, 4, &image, &reason)) << reason;
  std::vector<uint16_t> plane(24, 0);
  if (image.bits == 16) copyPlane(image, 6, 4, plane.data());
  return plane;
}

class Stacks : public ::testing::Test {
 protected:
  std::string file(const std::string& name) const { return folder_.file(name); }
  TempFolder folder_;
};

}  // namespace

// (Big-endian and BigTIFF files go through the same page decoder:
// SliceLoader.SixteenBitGreyDecodesExactlyInEveryLayout.)
TEST_F(Stacks, PagesReadInAnyOrder) {
  const std::string path = file("stack.tif");
  ASSERT_TRUE(writeSixteenBitStack(path, 5, "ImageJ=1.53t\nimages=5\nslices=5\n"));
  TiffStack stack;
  std::string reason;
  ASSERT_TRUE(stack.open(path, &reason)) << reason;
  EXPECT_EQ(stack.pageCount(), 5);
  for (int32_t page : {4, 0, 2, 2, 1}) EXPECT_EQ(readSixteen(stack, page), pageValues(page, 24));
  DecodedImage image;
  EXPECT_FALSE(stack.readPage(5, 6, 4, &image, &reason));
  EXPECT_EQ(reason, "page 6: not in the file (5 pages)");
  EXPECT_FALSE(stack.readPage(0, 6, 5, &image, &reason));
  EXPECT_EQ(reason, "page 1: image is 6 x 4 pixels, expected 6 x 5");
}

// (A description that disagrees with the pages, a page cut short and a
// file that is not there are named through the program: StackInput.*.)
TEST_F(Stacks, NonTiffFilesAreNamedFaults) {
  TiffStack stack;
  std::string reason;
  ASSERT_TRUE(writeBytes(file("text.tif"), {'n', 'o', 't', ' ', 'a', ' ', 't', 'i', 'f', 'f'}));
  EXPECT_FALSE(stack.open(file("text.tif"), &reason));
  EXPECT_TRUE(reason.starts_with("not a readable TIFF")) << reason;
}

TEST_F(Stacks, LayoutOfPlainStacksAndOmeSizes) {
  ASSERT_TRUE(writeSixteenBitStack(file("plain.tif"), 6, ""));
  TiffStack stack;
  std::string reason;
  ASSERT_TRUE(stack.open(file("plain.tif"), &reason));
  StackLayout layout;
  ASSERT_TRUE(readStackLayout(stack, 3, &layout, &reason)) << reason;
  EXPECT_EQ(std::tuple(layout.slices, layout.frames), std::tuple(3, 2));
  ASSERT_TRUE(readStackLayout(stack, 0, &layout, &reason)) << reason;
  EXPECT_EQ(std::tuple(layout.slices, layout.frames), std::tuple(6, 1));
  EXPECT_FALSE(readStackLayout(stack, 4, &layout, &reason));
  EXPECT_EQ(reason, "the file has 6 pages, not a whole number of stacks of 4 slices");

  const std::string xml =
      "<OME><Image><Pixels SizeX=\"7\" SizeY=\"4\" SizeC=\"1\" SizeZ=\"3\" SizeT=\"2\" Type=\"uint16\" "
      "DimensionOrder=\"XYZCT\"/></Image></OME>";
  ASSERT_TRUE(writeSixteenBitStack(file("rec.ome.tif"), 6, xml));
  ASSERT_TRUE(stack.open(file("rec.ome.tif"), &reason));
  EXPECT_FALSE(readStackLayout(stack, 0, &layout, &reason));
  EXPECT_EQ(reason, "OME-XML says 7 x 4 pixels, the first page has 6 x 4");
}

// (Reading the planes of every layout and channel, frames counted from 1,
// and the layouts of the usual patterns:
// InputLayouts.EveryLayoutAndChannelGivesTheOutputOfSliceFiles.)
TEST_F(Stacks, ReaderNamesAMissingChannel) {
  ASSERT_TRUE(writeSixteenBitStack(file("hyper.tif"), 12,
                                   "ImageJ=1\nimages=12\nchannels=2\nslices=3\nframes=2\nhyperstack=true\n"));
  RecordingReader reader;
  std::string reason;
  ReaderSettings settings;
  settings.pattern = file("hyper.tif");
  settings.channel = 3;
  EXPECT_FALSE(reader.open(settings, &reason));
  const std::string expected = std::string("'").append(file("hyper.tif")).append("' has 2 channels, --channel 3 names none of them");
  EXPECT_EQ(reason, expected);
}

}  // namespace focustrack
