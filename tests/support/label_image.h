// Reads the label images the tests compare: masks written with --masks and
// the truth images of focustrack-synth (16- or 32-bit, one sample a pixel).
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
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

// Labels of `a` that overlap one label of `b` with an intersection over
// union of at least `least`; `b` may be smaller by a whole factor and is
// then read at the nearest pixel.
inline int32_t matchedLabels(const LabelImage& a, const LabelImage& b, double least) {
  if (a.samples.empty() || b.samples.empty()) return 0;
  std::map<uint32_t, int64_t> areaA, areaB;
  std::map<std::pair<uint32_t, uint32_t>, int64_t> both;
  for (uint32_t y = 0; y < a.height; ++y) {
    for (uint32_t x = 0; x < a.width; ++x) {
      const uint32_t la = a.samples[y * a.width + x];
      const uint32_t lb = b.samples[(y * b.height / a.height) * b.width + x * b.width / a.width];
      if (la != 0) ++areaA[la];
      if (lb != 0) ++areaB[lb];
      if (la != 0 && lb != 0) ++both[{la, lb}];
    }
  }
  int32_t matched = 0;
  for (const auto& [la, area] : areaA) {
    double best = 0.0;
    for (const auto& [pair, common] : both) {
      if (pair.first != la) continue;
      const double iou = static_cast<double>(common) / static_cast<double>(area + areaB[pair.second] - common);
      if (iou > best) best = iou;
    }
    if (best >= least) ++matched;
  }
  return matched;
}

}  // namespace focustrack
