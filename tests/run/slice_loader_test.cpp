#include "run/slice_loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/image_files.h"

namespace {

using test_images::BmpSpec;
using test_images::PngSpec;
using test_images::TiffLayout;

// Fill of a plane before a load that must fail, to show it stays untouched.
constexpr uint8_t kUntouched = 0xA5;

// A pattern whose every row and column differs, so flips and shifts show.
std::vector<uint8_t> ramp(uint32_t width, uint32_t height) {
  std::vector<uint8_t> values(static_cast<size_t>(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) values[y * width + x] = (x * 7 + y * 31 + 3) & 0xFF;
  }
  return values;
}

// Values that deflate cannot shrink, so that cutting the file cuts pixel data.
std::vector<uint8_t> noise(size_t count) {
  std::vector<uint8_t> values(count);
  uint32_t state = 12345;
  for (uint8_t& value : values) {
    state = state * 1103515245u + 12345u;
    value = static_cast<uint8_t>(state >> 16);
  }
  return values;
}

void truncateFile(const std::string& path, size_t keep) {
  std::vector<uint8_t> bytes = test_images::readBytes(path);
  bytes.resize(keep);
  ASSERT_TRUE(test_images::writeBytes(path, bytes));
}

class SliceLoaderFixture : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.ok()); }

  std::string file(const std::string& name) const { return folder_.file(name); }

  // Loads a file that must load; returns the plane.
  std::vector<uint8_t> load(const std::string& path, int32_t width, int32_t height) {
    std::vector<uint8_t> plane(static_cast<size_t>(width) * height, kUntouched);
    std::string reason;
    EXPECT_TRUE(loadSlice(path, width, height, plane.data(), &reason)) << reason;
    return plane;
  }

  // Loads a file that must fail; checks that the plane is untouched and that
  // nothing is printed. Returns the reason.
  std::string loadFails(const std::string& path, int32_t width, int32_t height) {
    std::vector<uint8_t> plane(static_cast<size_t>(width) * height, kUntouched);
    std::string reason;
    ::testing::internal::CaptureStderr();
    const bool loaded = loadSlice(path, width, height, plane.data(), &reason);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(plane, std::vector<uint8_t>(plane.size(), kUntouched));
    return reason;
  }

 private:
  test_images::TempFolder folder_;
};

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// ---- Files and formats ----

class SliceLoaderFile : public SliceLoaderFixture {};

TEST_F(SliceLoaderFile, MissingFileIsNotFound) {
  EXPECT_EQ(loadFails(file("absent.tif"), 4, 4), "file not found");
}

TEST_F(SliceLoaderFile, UnreadableFileGivesSystemText) {
  const std::string folder = file("folder.tif");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  EXPECT_EQ(loadFails(folder, 4, 4), std::strerror(EISDIR));
}

TEST_F(SliceLoaderFile, EmptyAndUnknownContentAreNotImages) {
  ASSERT_TRUE(test_images::writeBytes(file("empty.tif"), {}));
  ASSERT_TRUE(test_images::writeBytes(file("text.tif"), {'h', 'e', 'l', 'l', 'o', '\n'}));
  // One byte short of each signature.
  ASSERT_TRUE(test_images::writeBytes(file("short.png"), {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}));
  ASSERT_TRUE(test_images::writeBytes(file("short.jpg"), {0xFF, 0xD8}));
  ASSERT_TRUE(test_images::writeBytes(file("short.tif"), {'I', 'I', 42}));
  for (const char* name : {"empty.tif", "text.tif", "short.png", "short.jpg", "short.tif"}) {
    EXPECT_EQ(loadFails(file(name), 4, 4), "not a TIFF, PNG, BMP or JPEG image") << name;
  }
}

TEST_F(SliceLoaderFile, ContentNotExtensionChoosesDecoder) {
  const std::vector<uint8_t> values = ramp(6, 4);
  ASSERT_TRUE(test_images::writePng(file("png.tif"), PngSpec{6, 4}, values));
  ASSERT_TRUE(test_images::writeTiff(file("tiff.bmp"), TiffLayout{6, 4}, values));
  EXPECT_EQ(load(file("png.tif"), 6, 4), values);
  EXPECT_EQ(load(file("tiff.bmp"), 6, 4), values);
}

TEST_F(SliceLoaderFile, PathLongerThan255CharactersLoads) {
  std::string folder = file("");
  for (char letter : {'a', 'b', 'c'}) {
    folder += std::string(100, letter) + "/";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  }
  const std::string path = folder + "slice.png";
  ASSERT_GT(path.size(), 300u);
  const std::vector<uint8_t> values = ramp(3, 2);
  ASSERT_TRUE(test_images::writePng(path, PngSpec{3, 2}, values));
  EXPECT_EQ(load(path, 3, 2), values);
}

TEST_F(SliceLoaderFile, WrongSizeNamesFoundAndExpectedInEveryFormat) {
  const std::vector<uint8_t> values = ramp(16, 8);
  ASSERT_TRUE(test_images::writeTiff(file("s.tif"), TiffLayout{16, 8}, values));
  ASSERT_TRUE(test_images::writePng(file("s.png"), PngSpec{16, 8}, values));
  ASSERT_TRUE(test_images::writeJpeg(file("s.jpg"), 16, 8, 1, 100, values));
  ASSERT_TRUE(test_images::writeBytes(file("s.bmp"),
                                      test_images::bmpBytes(BmpSpec{16, 8, 8, 40, 0, {}}, values)));
  for (const char* name : {"s.tif", "s.png", "s.jpg", "s.bmp"}) {
    EXPECT_EQ(loadFails(file(name), 8, 16), "image is 16 x 8 pixels, expected 8 x 16") << name;
    EXPECT_EQ(loadFails(file(name), 16, 9), "image is 16 x 8 pixels, expected 16 x 9") << name;
    EXPECT_EQ(load(file(name), 16, 8).size(), 128u) << name;
  }
}

// ---- TIFF ----

class SliceLoaderTiff : public SliceLoaderFixture {};

TEST_F(SliceLoaderTiff, GreyStripsWithShortLastStrip) {
  TiffLayout layout{7, 5};
  layout.rowsPerStrip = 2;
  const std::vector<uint8_t> values = ramp(7, 5);
  ASSERT_TRUE(test_images::writeTiff(file("grey.tif"), layout, values));
  EXPECT_EQ(load(file("grey.tif"), 7, 5), values);
}

TEST_F(SliceLoaderTiff, TiledDeflateWithPartialEdgeTiles) {
  ASSERT_TRUE(TIFFIsCODECConfigured(COMPRESSION_ADOBE_DEFLATE));
  TiffLayout layout{40, 23};
  layout.tileSide = 16;
  layout.compression = COMPRESSION_ADOBE_DEFLATE;
  const std::vector<uint8_t> values = ramp(40, 23);
  ASSERT_TRUE(test_images::writeTiff(file("tiled.tif"), layout, values));
  EXPECT_EQ(load(file("tiled.tif"), 40, 23), values);
}

TEST_F(SliceLoaderTiff, LzwStrips) {
  ASSERT_TRUE(TIFFIsCODECConfigured(COMPRESSION_LZW));
  TiffLayout layout{9, 6};
  layout.compression = COMPRESSION_LZW;
  layout.rowsPerStrip = 4;
  const std::vector<uint8_t> values = ramp(9, 6);
  ASSERT_TRUE(test_images::writeTiff(file("lzw.tif"), layout, values));
  EXPECT_EQ(load(file("lzw.tif"), 9, 6), values);
}

TEST_F(SliceLoaderTiff, BigTiffAndBigEndian) {
  TiffLayout layout{6, 4};
  layout.bigTiff = true;
  const std::vector<uint8_t> values = ramp(6, 4);
  ASSERT_TRUE(test_images::writeTiff(file("big.tif"), layout, values));
  EXPECT_EQ(test_images::readBytes(file("big.tif"))[2], 43);
  EXPECT_EQ(load(file("big.tif"), 6, 4), values);

  TIFF* tif = TIFFOpen(file("motorola.tif").c_str(), "wb");
  ASSERT_NE(tif, nullptr);
  const bool written = test_images::writeTiffPage(tif, TiffLayout{6, 4}, values);
  TIFFClose(tif);
  ASSERT_TRUE(written);
  EXPECT_EQ(test_images::readBytes(file("motorola.tif"))[0], 'M');
  EXPECT_EQ(load(file("motorola.tif"), 6, 4), values);
}

TEST_F(SliceLoaderTiff, PaletteGivesIndicesNotColours) {
  TiffLayout layout{16, 16};
  layout.photometric = PHOTOMETRIC_PALETTE;
  layout.colormap.resize(3 * 256);
  for (int i = 0; i < 256; ++i) {
    layout.colormap[i] = static_cast<uint16_t>((255 - i) * 257);
    layout.colormap[256 + i] = static_cast<uint16_t>((i / 2) * 257);
    layout.colormap[512 + i] = 7 * 257;
  }
  std::vector<uint8_t> indices(256);
  for (int i = 0; i < 256; ++i) indices[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(test_images::writeTiff(file("palette.tif"), layout, indices));
  EXPECT_EQ(load(file("palette.tif"), 16, 16), indices);
}

TEST_F(SliceLoaderTiff, MinIsWhiteGivesTheGreyAViewerShows) {
  TiffLayout layout{5, 3};
  layout.photometric = PHOTOMETRIC_MINISWHITE;
  const std::vector<uint8_t> samples = ramp(5, 3);
  ASSERT_TRUE(test_images::writeTiff(file("white.tif"), layout, samples));
  std::vector<uint8_t> shown(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) shown[i] = static_cast<uint8_t>(255 - samples[i]);
  EXPECT_EQ(load(file("white.tif"), 5, 3), shown);
}

TEST_F(SliceLoaderTiff, OnlyTheFirstPageIsRead) {
  const std::vector<uint8_t> first = ramp(6, 4);
  const std::vector<uint8_t> second(9, 200);
  const TiffLayout secondSpec{3, 3};
  ASSERT_TRUE(
      test_images::writeTiff(file("pages.tif"), TiffLayout{6, 4}, first, &secondSpec, &second));
  EXPECT_EQ(load(file("pages.tif"), 6, 4), first);
  EXPECT_EQ(loadFails(file("pages.tif"), 3, 3), "image is 6 x 4 pixels, expected 3 x 3");
}

TEST_F(SliceLoaderTiff, SixteenBitGreyIsRejected) {
  TiffLayout layout{4, 4};
  layout.bits = 16;
  ASSERT_TRUE(test_images::writeTiff(file("deep.tif"), layout, std::vector<uint8_t>(32, 9)));
  EXPECT_EQ(loadFails(file("deep.tif"), 4, 4),
            "image is 16-bit grey, expected 8-bit grey or palette");
}

TEST_F(SliceLoaderTiff, RgbIsRejected) {
  TiffLayout layout{4, 4};
  layout.samples = 3;
  layout.photometric = PHOTOMETRIC_RGB;
  ASSERT_TRUE(test_images::writeTiff(file("rgb.tif"), layout, std::vector<uint8_t>(48, 9)));
  EXPECT_EQ(loadFails(file("rgb.tif"), 4, 4),
            "image is 8-bit RGB with 3 samples per pixel, expected 8-bit grey or palette");
}

TEST_F(SliceLoaderTiff, CorruptCompressedDataFailsSilently) {
  TiffLayout layout{64, 64};
  layout.compression = COMPRESSION_ADOBE_DEFLATE;
  ASSERT_TRUE(test_images::writeTiff(file("bad.tif"), layout, noise(64 * 64)));
  // libtiff writes the strip right after the 8-byte header.
  std::vector<uint8_t> bytes = test_images::readBytes(file("bad.tif"));
  for (size_t i = 8; i < 40; ++i) bytes[i] = 0xFF;
  ASSERT_TRUE(test_images::writeBytes(file("bad.tif"), bytes));
  const std::string reason = loadFails(file("bad.tif"), 64, 64);
  EXPECT_TRUE(startsWith(reason, "TIFF decoding failed: ")) << reason;
}

TEST_F(SliceLoaderTiff, BrokenHeaderFailsSilently) {
  ASSERT_TRUE(test_images::writeBytes(file("header.tif"),
                                      {'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0x7F, 1, 2, 3}));
  const std::string reason = loadFails(file("header.tif"), 4, 4);
  EXPECT_TRUE(startsWith(reason, "TIFF decoding failed: ")) << reason;
}

// ---- PNG ----

class SliceLoaderPng : public SliceLoaderFixture {};

TEST_F(SliceLoaderPng, Grey) {
  const std::vector<uint8_t> values = ramp(7, 5);
  ASSERT_TRUE(test_images::writePng(file("grey.png"), PngSpec{7, 5}, values));
  EXPECT_EQ(load(file("grey.png"), 7, 5), values);
}

TEST_F(SliceLoaderPng, InterlacedGrey) {
  PngSpec layout{13, 11};
  layout.interlaced = true;
  const std::vector<uint8_t> values = ramp(13, 11);
  ASSERT_TRUE(test_images::writePng(file("adam7.png"), layout, values));
  EXPECT_EQ(load(file("adam7.png"), 13, 11), values);
}

TEST_F(SliceLoaderPng, PaletteGivesIndicesNotColours) {
  PngSpec layout{16, 16};
  layout.colourType = PNG_COLOR_TYPE_PALETTE;
  for (int i = 0; i < 256; ++i) {
    layout.palette.push_back(
        png_color{static_cast<png_byte>(255 - i), static_cast<png_byte>(i / 2), 7});
  }
  std::vector<uint8_t> indices(256);
  for (int i = 0; i < 256; ++i) indices[i] = static_cast<uint8_t>(255 - i);
  ASSERT_TRUE(test_images::writePng(file("palette.png"), layout, indices));
  EXPECT_EQ(load(file("palette.png"), 16, 16), indices);
}

TEST_F(SliceLoaderPng, OtherDepthsAndChannelsAreRejected) {
  struct Case {
    int bitDepth;
    int colourType;
    const char* found;
  };
  const Case cases[] = {{16, PNG_COLOR_TYPE_GRAY, "16-bit grey"},
                        {4, PNG_COLOR_TYPE_GRAY, "4-bit grey"},
                        {4, PNG_COLOR_TYPE_PALETTE, "4-bit palette"},
                        {8, PNG_COLOR_TYPE_GRAY_ALPHA, "8-bit grey with alpha"},
                        {8, PNG_COLOR_TYPE_RGB, "8-bit RGB"},
                        {8, PNG_COLOR_TYPE_RGB_ALPHA, "8-bit RGBA"}};
  for (const Case& c : cases) {
    PngSpec layout{4, 4, c.bitDepth, c.colourType};
    if (c.colourType == PNG_COLOR_TYPE_PALETTE) layout.palette.assign(16, png_color{1, 2, 3});
    ASSERT_TRUE(test_images::writePng(file("other.png"), layout,
                                      std::vector<uint8_t>(4 * test_images::pngRowBytes(layout), 1)));
    EXPECT_EQ(loadFails(file("other.png"), 4, 4),
              std::string("image is ") + c.found + ", expected 8-bit grey or palette");
  }
}

TEST_F(SliceLoaderPng, TruncatedPixelDataFailsAfterAGoodHeader) {
  ASSERT_TRUE(test_images::writePng(file("cut.png"), PngSpec{64, 64}, noise(64 * 64)));
  truncateFile(file("cut.png"), 2000);
  EXPECT_EQ(loadFails(file("cut.png"), 64, 64), "PNG decoding failed: file ends early");
}

TEST_F(SliceLoaderPng, CorruptChunkFails) {
  ASSERT_TRUE(test_images::writePng(file("crc.png"), PngSpec{8, 8}, ramp(8, 8)));
  std::vector<uint8_t> bytes = test_images::readBytes(file("crc.png"));
  bytes[16] ^= 0x01;  // inside IHDR: its checksum no longer matches
  ASSERT_TRUE(test_images::writeBytes(file("crc.png"), bytes));
  const std::string reason = loadFails(file("crc.png"), 8, 8);
  EXPECT_TRUE(startsWith(reason, "PNG decoding failed: ")) << reason;
}

// ---- JPEG ----

class SliceLoaderJpeg : public SliceLoaderFixture {};

// A block of one value has no frequency terms, so at quality 100 it decodes
// exactly; distinct blocks show the rows and columns land in place.
TEST_F(SliceLoaderJpeg, UniformBlocksDecodeExactly) {
  const uint32_t width = 24;
  const uint32_t height = 16;
  std::vector<uint8_t> values(width * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) values[y * width + x] = 20 + 40 * (y / 8 * 3 + x / 8);
  }
  ASSERT_TRUE(test_images::writeJpeg(file("blocks.jpg"), width, height, 1, 100, values));
  EXPECT_EQ(load(file("blocks.jpg"), width, height), values);
}

TEST_F(SliceLoaderJpeg, ColourIsRejected) {
  ASSERT_TRUE(
      test_images::writeJpeg(file("colour.jpg"), 8, 8, 3, 90, std::vector<uint8_t>(192, 50)));
  EXPECT_EQ(loadFails(file("colour.jpg"), 8, 8),
            "image is 3-channel colour JPEG, expected 8-bit grey or palette");
}

TEST_F(SliceLoaderJpeg, TruncatedFileFailsInsteadOfPadding) {
  ASSERT_TRUE(test_images::writeJpeg(file("cut.jpg"), 64, 64, 1, 100, noise(64 * 64)));
  truncateFile(file("cut.jpg"), test_images::readBytes(file("cut.jpg")).size() / 2);
  EXPECT_EQ(loadFails(file("cut.jpg"), 64, 64), "JPEG decoding failed: Premature end of JPEG file");
}

TEST_F(SliceLoaderJpeg, StreamWithoutImageFails) {
  ASSERT_TRUE(test_images::writeBytes(file("empty.jpg"), {0xFF, 0xD8, 0xFF, 0xD9}));
  EXPECT_EQ(loadFails(file("empty.jpg"), 8, 8),
            "JPEG decoding failed: JPEG datastream contains no image");
}

// ---- BMP ----

class SliceLoaderBmp : public SliceLoaderFixture {};

// Entry i is the colour (255 - i, i / 2, 7): never grey, so only indices can
// come back unchanged.
std::vector<uint8_t> colourPalette(int entries, int entryBytes) {
  std::vector<uint8_t> palette;
  for (int i = 0; i < entries; ++i) {
    palette.push_back(7);                              // blue
    palette.push_back(static_cast<uint8_t>(i / 2));    // green
    palette.push_back(static_cast<uint8_t>(255 - i));  // red
    if (entryBytes == 4) palette.push_back(0);
  }
  return palette;
}

// 5 x 3 indices reaching the top of the range.
std::vector<uint8_t> highIndices() {
  return {0, 1, 2, 3, 4, 100, 128, 200, 250, 251, 252, 253, 254, 255, 17};
}

TEST_F(SliceLoaderBmp, BottomUpPaddedRowsGiveIndices) {
  const BmpSpec layout{5, 3, 8, 40, 0, colourPalette(256, 4)};
  ASSERT_TRUE(test_images::writeBytes(file("up.bmp"), test_images::bmpBytes(layout, highIndices())));
  EXPECT_EQ(load(file("up.bmp"), 5, 3), highIndices());
}

TEST_F(SliceLoaderBmp, TopDownRowsGiveIndices) {
  const BmpSpec layout{5, -3, 8, 40, 0, colourPalette(256, 4)};
  ASSERT_TRUE(
      test_images::writeBytes(file("down.bmp"), test_images::bmpBytes(layout, highIndices())));
  EXPECT_EQ(load(file("down.bmp"), 5, 3), highIndices());
}

TEST_F(SliceLoaderBmp, CoreHeaderWithThreeByteEntries) {
  const BmpSpec layout{5, 3, 8, 12, 0, colourPalette(256, 3)};
  ASSERT_TRUE(
      test_images::writeBytes(file("core.bmp"), test_images::bmpBytes(layout, highIndices())));
  EXPECT_EQ(load(file("core.bmp"), 5, 3), highIndices());
}

TEST_F(SliceLoaderBmp, ShortPaletteStillGivesEveryIndex) {
  const BmpSpec layout{5, 3, 8, 40, 0, colourPalette(16, 4)};
  ASSERT_TRUE(
      test_images::writeBytes(file("short.bmp"), test_images::bmpBytes(layout, highIndices())));
  EXPECT_EQ(load(file("short.bmp"), 5, 3), highIndices());
}

TEST_F(SliceLoaderBmp, TwentyFourBitIsRejected) {
  const BmpSpec layout{4, 4, 24, 40, 0, {}};
  ASSERT_TRUE(test_images::writeBytes(file("rgb.bmp"),
                                      test_images::bmpBytes(layout, std::vector<uint8_t>(48, 3))));
  EXPECT_EQ(loadFails(file("rgb.bmp"), 4, 4),
            "image is 24-bit BMP, expected 8-bit grey or palette");
}

TEST_F(SliceLoaderBmp, RunLengthCodingIsRejected) {
  const BmpSpec layout{4, 4, 8, 40, 1, colourPalette(256, 4)};
  ASSERT_TRUE(test_images::writeBytes(file("rle.bmp"),
                                      test_images::bmpBytes(layout, std::vector<uint8_t>(16, 3))));
  EXPECT_EQ(loadFails(file("rle.bmp"), 4, 4), "RLE8-compressed BMP is not supported");
}

TEST_F(SliceLoaderBmp, TruncatedPixelDataIsRejected) {
  const BmpSpec layout{5, 3, 8, 40, 0, colourPalette(256, 4)};
  std::vector<uint8_t> bytes = test_images::bmpBytes(layout, highIndices());
  bytes.pop_back();
  ASSERT_TRUE(test_images::writeBytes(file("cut.bmp"), bytes));
  EXPECT_EQ(loadFails(file("cut.bmp"), 5, 3), "BMP pixel data is truncated");
}

TEST_F(SliceLoaderBmp, OffsetsOutsideTheFileAreRejected) {
  const BmpSpec layout{5, 3, 8, 40, 0, colourPalette(256, 4)};
  std::vector<uint8_t> bytes = test_images::bmpBytes(layout, highIndices());
  test_images::putLe(&bytes, 10, static_cast<uint32_t>(bytes.size() + 1), 4);
  ASSERT_TRUE(test_images::writeBytes(file("offset.bmp"), bytes));
  EXPECT_EQ(loadFails(file("offset.bmp"), 5, 3),
            "BMP header is corrupt: offsets lie outside the file");

  bytes = test_images::bmpBytes(layout, highIndices());
  test_images::putLe(&bytes, 14, 0x7FFFFFF0, 4);  // info header longer than the file
  ASSERT_TRUE(test_images::writeBytes(file("info.bmp"), bytes));
  EXPECT_EQ(loadFails(file("info.bmp"), 5, 3),
            "BMP header is corrupt: offsets lie outside the file");

  ASSERT_TRUE(test_images::writeBytes(file("tiny.bmp"), {'B', 'M', 0, 0, 0}));
  EXPECT_EQ(loadFails(file("tiny.bmp"), 5, 3), "BMP header is truncated");
}

TEST_F(SliceLoaderBmp, UnknownHeaderSizeIsRejected) {
  const BmpSpec layout{5, 3, 8, 40, 0, colourPalette(256, 4)};
  std::vector<uint8_t> bytes = test_images::bmpBytes(layout, highIndices());
  test_images::putLe(&bytes, 14, 16, 4);
  ASSERT_TRUE(test_images::writeBytes(file("os2.bmp"), bytes));
  EXPECT_EQ(loadFails(file("os2.bmp"), 5, 3), "BMP header size 16 is not supported");
}

// ---- Real data ----

TEST(SliceLoaderSharedData, ReadsARealSlice) {
  const std::string path = std::string(FOCUSTRACK_SHARED_DATA) + "/traps-234/t0001_z001.tif";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no shared data at " << path;
  std::vector<uint8_t> plane(234 * 234, kUntouched);
  std::string reason;
  ASSERT_TRUE(loadSlice(path, 234, 234, plane.data(), &reason)) << reason;
  const std::set<uint8_t> distinct(plane.begin(), plane.end());
  EXPECT_GT(distinct.size(), 20u);
}

}  // namespace
