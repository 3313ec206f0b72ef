// Reading back what the program writes: 24-bit BMP and RGB PNG pictures as
// top-down RGB pixels, and every page of a TIFF file through libtiff.
#pragma once

#include <png.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace focustrack {

struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;  // red, green, blue per pixel, top row first

  bool operator==(const Picture&) const = default;
  const uint8_t* at(int32_t x, int32_t y) const { return rgb.data() + 3 * (size_t(y) * size_t(width) + size_t(x)); }
};

// An uncompressed 24-bit BMP with rows bottom to top; empty when not one.
inline Picture readBmpPicture(const std::string& path) {
  const std::vector<uint8_t> bytes = readBytes(path);
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return {};
  const auto little32 = [&bytes](size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
  };
  const int32_t width = static_cast<int32_t>(little32(18));
  const int32_t height = static_cast<int32_t>(little32(22));
  const size_t rowBytes = (size_t(width) * 3 + 3) / 4 * 4;
  if (width <= 0 || height <= 0 || bytes.size() != 54 + rowBytes * size_t(height)) return {};
  Picture picture{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 3)};
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = bytes.data() + 54 + size_t(height - 1 - y) * rowBytes;
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* out = picture.rgb.data() + 3 * (size_t(y) * size_t(width) + size_t(x));
      for (int c = 0; c < 3; ++c) out[c] = row[3 * x + 2 - c];
    }
  }
  return picture;
}

// Any PNG libpng reads, delivered as 8-bit RGB; empty when it cannot be read.
inline Picture readPngPicture(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  return {static_cast<int32_t>(image.width), static_cast<int32_t>(image.height), std::move(rgb)};
}

// One page of a TIFF file as unsigned samples, with the tags the tests read.
struct TiffPage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bits = 0;
  uint16_t format = 0;
  uint64_t firstStripOffset = 0;
  std::string description;       // empty when the page has none
  float xResolution = 0.0f;      // 0 when the page has none
  float yResolution = 0.0f;
  std::vector<uint32_t> samples;
};

// Every page of an 8-, 16- or 32-bit single-channel TIFF file, in order.
inline std::vector<TiffPage> readTiffPages(const std::string& path) {
  std::vector<TiffPage> pages;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return pages;
  do {
    TiffPage page;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &page.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &page.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &page.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &page.format);
    char* text = nullptr;
    if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text) == 1 && text != nullptr) page.description = text;
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &page.xResolution);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &page.yResolution);
    uint64_t* offsets = nullptr;
    if (TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) == 1 && offsets) page.firstStripOffset = offsets[0];
    std::vector<unsigned char> row(TIFFScanlineSize(tif));
    const uint32_t bytes = page.bits / 8;
    for (uint32_t y = 0; y < page.height && TIFFReadScanline(tif, row.data(), y, 0) == 1; ++y) {
      for (uint32_t x = 0; x < page.width; ++x) {
        uint32_t v = 0;  // little-endian host: the low bytes come first
        std::memcpy(&v, row.data() + bytes * x, bytes);
        page.samples.push_back(v);
      }
    }
    pages.push_back(std::move(page));
  } while (TIFFReadDirectory(tif) == 1);
  TIFFClose(tif);
  return pages;
}

inline int tiffComplaintCount = 0;
inline void countTiffComplaint(const char*, const char*, va_list) { ++tiffComplaintCount; }

// readTiffPages, with the errors and warnings libtiff reports on the way
// counted into `complaints` instead of printed: a sound file has none.
inline std::vector<TiffPage> readTiffPagesStrictly(const std::string& path, int* complaints) {
  tiffComplaintCount = 0;
  const TIFFErrorHandler error = TIFFSetErrorHandler(countTiffComplaint);
  const TIFFErrorHandler warning = TIFFSetWarningHandler(countTiffComplaint);
  std::vector<TiffPage> pages = readTiffPages(path);
  TIFFSetErrorHandler(error);
  TIFFSetWarningHandler(warning);
  *complaints = tiffComplaintCount;
  return pages;
}

}  // namespace focustrack
