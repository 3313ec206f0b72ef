// Reads the label images the tests compare: masks written with --masks and
// the truth images of focustrack-synth (16- or 32-bit, one sample a pixel).
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace focustrack {

struct LabelImage {
  uint32_t width = 0, height = 0;
  uint16_t bits = 0, format = 0;
  std::vector<uint32_t> samples;  // empty when the file could not be read
};

inline LabelImage readLabelImage(const std::string& path) {
  LabelImage image;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return image;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &image.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &image.height);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &image.bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &image.format);
  std::vector<unsigned char> row(TIFFScanlineSize(tif));
  for (uint32_t y = 0; y < image.height && TIFFReadScanline(tif, row.data(), y, 0) == 1; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      uint32_t v = 0;  // little-endian host: the low bytes come first
      std::memcpy(&v, row.data() + image.bits / 8 * x, image.bits / 8);
      image.samples.push_back(v);
    }
  }
  TIFFClose(tif);
  return image;
}

}  // namespace focustrack
