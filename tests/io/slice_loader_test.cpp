#include "io/slice_loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/image_files.h"

namespace focustrack {

namespace {

using test_images::BmpSpec;
using test_images::PngSpec;
using test_images::TiffLayout;
using Bytes = std::vector<uint8_t>;
using Writer = std::function<bool(const std::string&)>;

// Fill of a plane before a load that must fail, to show it stays untouched.
constexpr uint8_t kUntouched = 0xA5;
const std::string kWantGrey = ", expected 8-bit grey or palette";

// A pattern whose every row and column differs, so flips and shifts show.
Bytes ramp(uint32_t width, uint32_t height) {
  Bytes values(static_cast<size_t>(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) values[y * width + x] = (x * 7 + y * 31 + 3) & 0xFF;
  }
  return values;
}

// Values that deflate cannot shrink, so that cutting the file cuts pixel data.
Bytes noise(size_t count) {
  Bytes values(count);
  uint32_t state = 12345;
  for (uint8_t& value : values) {
    state = state * 1103515245u + 12345u;
    value = static_cast<uint8_t>(state >> 16);
  }
  return values;
}

// Entry i is the colour (255 - i, i / 2, 7), blue first: never grey, so only
// indices can come back unchanged.
Bytes bmpPalette(int entries, int entryBytes) {
  Bytes palette;
  for (int i = 0; i < entries; ++i) {
    palette.insert(palette.end(), {7, static_cast<uint8_t>(i / 2), static_cast<uint8_t>(255 - i)});
    if (entryBytes == 4) palette.push_back(0);
  }
  return palette;
}

// 5 x 3 indices reaching the top of the range.
const Bytes kHighIndices = {0, 1, 2, 3, 4, 100, 128, 200, 250, 251, 252, 253, 254, 255, 17};

Writer raw(Bytes bytes) {
  return [bytes](const std::string& p) { return writeBytes(p, bytes); };
}
Writer tiff(TiffLayout layout, Bytes values, const char* mode = "w") {
  return [=](const std::string& p) { return test_images::writeTiff(p, layout, values, mode); };
}
Writer png(PngSpec layout, Bytes values) {
  return [=](const std::string& p) { return test_images::writePng(p, layout, values); };
}
Writer jpeg(uint32_t w, uint32_t h, int components, Bytes values) {
  return [=](const std::string& p) { return test_images::writeJpeg(p, w, h, components, 100, values); };
}
Writer bmp(BmpSpec layout, Bytes rows) { return raw(test_images::bmpBytes(layout, rows)); }

// Writes with `writer`, then changes the file's bytes with `edit`.
Writer edited(Writer writer, std::function<void(Bytes&)> edit) {
  return [=](const std::string& p) {
    if (!writer(p)) return false;
    Bytes bytes = readBytes(p);
    edit(bytes);
    return writeBytes(p, bytes);
  };
}

class SliceLoader : public ::testing::Test {
 protected:
  std::string file(const std::string& name) const { return folder_.file(name); }

  Bytes load(const std::string& path, int32_t width, int32_t height) {
    Bytes plane(static_cast<size_t>(width) * height, kUntouched);
    std::string reason;
    EXPECT_TRUE(loadSlice(path, width, height, plane.data(), &reason)) << reason;
    return plane;
  }

  // Loads a file that must fail; checks that the plane is untouched and that
  // nothing is printed. Returns the reason.
  std::string loadFails(const std::string& path, int32_t width, int32_t height) {
    Bytes plane(static_cast<size_t>(width) * height, kUntouched);
    std::string reason;
    ::testing::internal::CaptureStderr();
    const bool loaded = loadSlice(path, width, height, plane.data(), &reason);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(loaded);
    EXPECT_EQ(plane, Bytes(plane.size(), kUntouched));
    return reason;
  }

 private:
  TempFolder folder_;
};

TEST_F(SliceLoader, EveryLayoutLoadsExactly) {
  TiffLayout tiffPalette{.width = 16, .height = 16, .photometric = PHOTOMETRIC_PALETTE};
  PngSpec pngPalette{.width = 16, .height = 16, .colourType = PNG_COLOR_TYPE_PALETTE};
  Bytes indices(256);
  for (int i = 0; i < 256; ++i) {
    tiffPalette.colormap.push_back(static_cast<uint16_t>((255 - i) * 257));
    pngPalette.palette.push_back(png_color{static_cast<png_byte>(255 - i), static_cast<png_byte>(i / 2), 7});
    indices[i] = static_cast<uint8_t>(255 - i);
  }
  for (int i = 0; i < 256; ++i) tiffPalette.colormap.push_back(static_cast<uint16_t>((i / 2) * 257));
  tiffPalette.colormap.resize(3 * 256, 7 * 257);
  // A block of one value has no frequency terms, so at quality 100 it
  // decodes exactly; distinct blocks show rows and columns land in place.
  Bytes blocks(24 * 16);
  for (uint32_t i = 0; i < blocks.size(); ++i) blocks[i] = 20 + 40 * (i / 24 / 8 * 3 + i % 24 / 8);
  Bytes shownWhite = ramp(5, 3);
  for (uint8_t& v : shownWhite) v = static_cast<uint8_t>(255 - v);
  struct Case {
    const char* name;
    Writer write;
    int32_t width, height;
    Bytes expected;
  };
  const Case cases[] = {
      {"grey strips, short last strip.tif", tiff({.width = 7, .height = 5, .rowsPerStrip = 2}, ramp(7, 5)), 7, 5,
       ramp(7, 5)},
      {"tiled deflate, partial edge tiles.tif",
       tiff({.width = 40, .height = 23, .compression = COMPRESSION_ADOBE_DEFLATE, .tileSide = 16}, ramp(40, 23)),
       40, 23, ramp(40, 23)},
      {"palette gives indices.tif", tiff(tiffPalette, indices), 16, 16, indices},
      {"min-is-white gives the grey a viewer shows.tif",
       tiff({.width = 5, .height = 3, .photometric = PHOTOMETRIC_MINISWHITE}, ramp(5, 3)), 5, 3, shownWhite},
      {"content not extension chooses the decoder.bmp", tiff({.width = 6, .height = 4}, ramp(6, 4)), 6, 4, ramp(6, 4)},
      {"grey.png", png({.width = 7, .height = 5}, ramp(7, 5)), 7, 5, ramp(7, 5)},
      {"interlaced.png", png({.width = 13, .height = 11, .interlaced = true}, ramp(13, 11)), 13, 11, ramp(13, 11)},
      {"palette gives indices.png", png(pngPalette, indices), 16, 16, indices},
      {"uniform blocks.jpg", jpeg(24, 16, 1, blocks), 24, 16, blocks},
      {"bottom-up padded rows.bmp", bmp({5, 3, 8, 40, 0, bmpPalette(256, 4)}, kHighIndices), 5, 3, kHighIndices},
      {"top-down rows.bmp", bmp({5, -3, 8, 40, 0, bmpPalette(256, 4)}, kHighIndices), 5, 3, kHighIndices},
      {"core header, 3-byte entries.bmp", bmp({5, 3, 8, 12, 0, bmpPalette(256, 3)}, kHighIndices), 5, 3,
       kHighIndices},
      {"short palette still gives every index.bmp", bmp({5, 3, 8, 40, 0, bmpPalette(16, 4)}, kHighIndices), 5, 3,
       kHighIndices},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.write(file(c.name))) << c.name;
    EXPECT_EQ(load(file(c.name), c.width, c.height), c.expected) << c.name;
  }
}

TEST_F(SliceLoader, EveryFailureHasItsReason) {
  const Writer goodBmp = bmp({5, 3, 8, 40, 0, bmpPalette(256, 4)}, kHighIndices);
  PngSpec shortPalette{.width = 5, .height = 3, .bitDepth = 4, .colourType = PNG_COLOR_TYPE_PALETTE};
  shortPalette.palette.assign(16, png_color{1, 2, 3});
  struct Case {
    const char* name;
    Writer write;
    std::string reason;  // a reason ending in ": " is only the start of it
    int32_t side = 0;    // 0: loaded as 5 x 3, else as side x side
  };
  const Case cases[] = {
      {"folder.tif", [](const std::string& p) { return mkdir(p.c_str(), 0755) == 0; }, "not a regular file (a folder)"},
      {"fifo.tif", [](const std::string& p) { return mkfifo(p.c_str(), 0644) == 0; }, "not a regular file (a FIFO)"},
      {"empty.tif", raw({}), "not a TIFF, PNG, BMP or JPEG image"},
      // One byte short of the longest signature.
      {"short.png", raw({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}), "not a TIFF, PNG, BMP or JPEG image"},
      {"deep.tif", tiff({.width = 5, .height = 3, .bits = 16}, Bytes(30, 9)), "image is 16-bit grey" + kWantGrey},
      {"rgb.tif", tiff({.width = 5, .height = 3, .samples = 3, .photometric = PHOTOMETRIC_RGB}, Bytes(45, 9)),
       "image is 8-bit RGB with 3 samples per pixel" + kWantGrey},
      // libtiff writes the strip right after the 8-byte header.
      {"corrupt.tif",
       edited(tiff({.width = 64, .height = 64, .compression = COMPRESSION_ADOBE_DEFLATE}, noise(64 * 64)),
              [](Bytes& b) { std::fill(b.begin() + 8, b.begin() + 40, 0xFF); }),
       "TIFF decoding failed: ", 64},
      {"broken header.tif", raw({'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0x7F, 1, 2, 3}), "TIFF decoding failed: "},
      {"cut.png", edited(png({.width = 64, .height = 64}, noise(64 * 64)), [](Bytes& b) { b.resize(2000); }),
       "PNG decoding failed: file ends early", 64},
      // Other PNG depths and colour types are named.
      {"palette.png", png(shortPalette, Bytes(15, 1)), "image is 4-bit palette" + kWantGrey},
      {"rgb.png", png({.width = 5, .height = 3, .colourType = PNG_COLOR_TYPE_RGB}, Bytes(45, 1)),
       "image is 8-bit RGB" + kWantGrey},
      {"colour.jpg", jpeg(5, 3, 3, Bytes(45, 50)), "image is 3-channel colour JPEG" + kWantGrey},
      {"cut.jpg", edited(jpeg(64, 64, 1, noise(64 * 64)), [](Bytes& b) { b.resize(b.size() / 2); }),
       "JPEG decoding failed: Premature end of JPEG file", 64},
      {"no image.jpg", raw({0xFF, 0xD8, 0xFF, 0xD9}), "JPEG decoding failed: JPEG datastream contains no image"},
      {"rgb.bmp", bmp({5, 3, 24, 40, 0, {}}, Bytes(45, 3)), "image is 24-bit BMP" + kWantGrey},
      {"rle.bmp", bmp({5, 3, 8, 40, 1, bmpPalette(256, 4)}, kHighIndices), "RLE8-compressed BMP is not supported"},
      {"cut.bmp", edited(goodBmp, [](Bytes& b) { b.pop_back(); }), "BMP pixel data is truncated"},
      {"offset.bmp", edited(goodBmp, [](Bytes& b) { test_images::putLe(&b, 10, uint32_t(b.size() + 1), 4); }),
       "BMP header is corrupt: offsets lie outside the file"},
      {"tiny.bmp", raw({'B', 'M', 0, 0, 0}), "BMP header is truncated"},
      {"os2.bmp", edited(goodBmp, [](Bytes& b) { test_images::putLe(&b, 14, 16, 4); }),
       "BMP header size 16 is not supported"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.write(file(c.name))) << c.name;
    const std::string reason = loadFails(file(c.name), c.side ? c.side : 5, c.side ? c.side : 3);
    if (c.reason.ends_with(": ")) {
      EXPECT_TRUE(reason.starts_with(c.reason)) << c.name << ": " << reason;
    } else {
      EXPECT_EQ(reason, c.reason) << c.name;
    }
  }
}

// 16-bit values reaching both ends of the range, every row and column different.
std::vector<uint16_t> deepRamp(uint32_t width, uint32_t height) {
  std::vector<uint16_t> values(static_cast<size_t>(width) * height);
  for (uint32_t i = 0; i < values.size(); ++i) values[i] = static_cast<uint16_t>(i * 2311u + (i / width) * 7919u + 17u);
  values[0] = 0;
  values.back() = 65535;
  return values;
}

std::vector<uint16_t> decodeSixteen(const std::string& path, int32_t width, int32_t height) {
  DecodedImage image;
  std::string reason;
  EXPECT_TRUE(decodeSlice(path, width, height, &image, &reason)) << reason;
  EXPECT_EQ(image.bits, 16);
  std::vector<uint16_t> plane(static_cast<size_t>(width) * height, 0xA5A5);
  if (image.bits == 16) copyPlane(image, width, height, plane.data());
  return plane;
}

TEST_F(SliceLoader, SixteenBitGreyDecodesExactlyInEveryLayout) {
  using test_images::nativeBytes;
  const std::vector<uint16_t> values = deepRamp(40, 23);
  std::vector<uint16_t> inverted = values;
  for (uint16_t& v : inverted) v = static_cast<uint16_t>(65535 - v);
  // A 40 x 23 16-bit TIFF of `layout` holding `samples`.
  const auto deep = [](TiffLayout layout, const std::vector<uint16_t>& samples, const char* mode = "w") {
    layout.width = 40;
    layout.height = 23;
    layout.bits = 16;
    return tiff(layout, nativeBytes(samples), mode);
  };
  // Every file shows `values` (min-is-white by storing their inverse).
  const std::pair<const char*, Writer> files[] = {
      {"strips.tif", deep({.rowsPerStrip = 5}, values)},
      {"big-endian.tif", deep({}, values, "wb")},
      {"bigtiff.tif", deep({}, values, "w8")},
      {"tiled deflate.tif", deep({.compression = COMPRESSION_ADOBE_DEFLATE, .tileSide = 16}, values)},
      {"min-is-white.tif", deep({.photometric = PHOTOMETRIC_MINISWHITE}, inverted)},
      {"grey.png", png({.width = 40, .height = 23, .bitDepth = 16}, test_images::bigEndianBytes(values))},
  };
  for (const auto& [name, write] : files) {
    ASSERT_TRUE(write(file(name))) << name;
    EXPECT_EQ(decodeSixteen(file(name), 40, 23), values) << name;
  }
  // The 8-bit loader keeps refusing them (a TIFF: EveryFailureHasItsReason).
  EXPECT_EQ(loadFails(file("grey.png"), 40, 23), "image is 16-bit grey" + kWantGrey);
}

// (8-bit slices through decodeSlice: every run on the recordings.)
TEST_F(SliceLoader, DecodeSliceNamesWhatItRefuses) {
  DecodedImage image;
  std::string reason;
  const std::string wanted = ", expected 8-bit grey or palette, or 16-bit grey";
  ASSERT_TRUE(tiff({.width = 5, .height = 3, .bits = 32}, Bytes(60, 1))(file("deep.tif")));
  EXPECT_FALSE(decodeSlice(file("deep.tif"), 5, 3, &image, &reason));
  EXPECT_EQ(reason, "image is 32-bit grey" + wanted);
  PngSpec alpha{.width = 4, .height = 4, .bitDepth = 16, .colourType = PNG_COLOR_TYPE_GRAY_ALPHA};
  ASSERT_TRUE(test_images::writePng(file("alpha.png"), alpha, Bytes(4 * 4 * 4, 1)));
  EXPECT_FALSE(decodeSlice(file("alpha.png"), 4, 4, &image, &reason));
  EXPECT_EQ(reason, "image is 16-bit grey with alpha" + wanted);
}

TEST_F(SliceLoader, WrongSizeNamesFoundAndExpectedInEveryFormat) {
  const Bytes values = ramp(16, 8);
  ASSERT_TRUE(tiff({.width = 16, .height = 8}, values)(file("s.tif")));
  ASSERT_TRUE(png({.width = 16, .height = 8}, values)(file("s.png")));
  ASSERT_TRUE(jpeg(16, 8, 1, values)(file("s.jpg")));
  ASSERT_TRUE(bmp({16, 8, 8, 40, 0, {}}, values)(file("s.bmp")));
  for (const char* name : {"s.tif", "s.png", "s.jpg", "s.bmp"}) {
    EXPECT_EQ(loadFails(file(name), 8, 16), "image is 16 x 8 pixels, expected 8 x 16") << name;
    EXPECT_EQ(loadFails(file(name), 16, 9), "image is 16 x 8 pixels, expected 16 x 9") << name;
  }
}

TEST_F(SliceLoader, OnlyTheFirstTiffPageIsRead) {
  ASSERT_TRUE(test_images::writeTiffPages(file("pages.tif"), {{.width = 6, .height = 4}, {.width = 3, .height = 3}},
                                          {ramp(6, 4), Bytes(9, 200)}));
  EXPECT_EQ(load(file("pages.tif"), 6, 4), ramp(6, 4));
  EXPECT_EQ(loadFails(file("pages.tif"), 3, 3), "image is 6 x 4 pixels, expected 3 x 3");
}

// Only a file that does not exist is missing; everything else that fails is
// unreadable, and a loaded slice has no problem.
TEST_F(SliceLoader, ProblemSaysMissingOrUnreadable) {
  ASSERT_TRUE(png({.width = 3, .height = 2}, ramp(3, 2))(file("good.png")));
  ASSERT_TRUE(raw({'x'})(file("bad.png")));
  ASSERT_EQ(mkfifo(file("pipe.png").c_str(), 0644), 0);
  const std::pair<const char*, SliceProblem> cases[] = {{"good.png", SliceProblem::None},
                                                        {"gone.png", SliceProblem::Missing},
                                                        {"bad.png", SliceProblem::Unreadable},
                                                        {"pipe.png", SliceProblem::Unreadable},
                                                        {"good.png/slice.png", SliceProblem::Unreadable}};  // ENOTDIR
  for (const auto& [name, expected] : cases) {
    Bytes plane(6, kUntouched);
    std::string reason;
    SliceProblem problem = SliceProblem::Unreadable;
    EXPECT_EQ(loadSlice(file(name), 3, 2, plane.data(), &reason, &problem), expected == SliceProblem::None) << name;
    EXPECT_EQ(problem, expected) << name << ": " << reason;
  }
}

}  // namespace

}  // namespace focustrack
