// Label images (masks and synthetic truth) read back for whole-run tests, and
// the cells two of them share.
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
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> labels;
};

// A single-page 8-, 16- or 32-bit label TIFF; empty when it cannot be read.
inline LabelImage readLabels(const std::string& path) {
  LabelImage image;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return image;
  uint16_t bits = 8;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &image.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &image.height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  std::vector<unsigned char> row(static_cast<size_t>(TIFFScanlineSize(tif)));
  for (uint32_t y = 0; y < image.height && TIFFReadScanline(tif, row.data(), y, 0) == 1; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      uint32_t value = 0;
      if (bits == 8) value = row[x];
      if (bits == 16) {
        uint16_t v;
        std::memcpy(&v, row.data() + 2 * x, 2);
        value = v;
      }
      if (bits == 32) std::memcpy(&value, row.data() + 4 * x, 4);
      image.labels.push_back(value);
    }
  }
  TIFFClose(tif);
  return image;
}

// Labels of `a` that overlap one label of `b` with an intersection over
// union of at least `least`; `b` may be smaller by a whole factor and is
// then read at the nearest pixel.
inline int32_t matchedLabels(const LabelImage& a, const LabelImage& b, double least) {
  if (a.labels.empty() || b.labels.empty()) return 0;
  std::map<uint32_t, int64_t> areaA, areaB;
  std::map<std::pair<uint32_t, uint32_t>, int64_t> both;
  for (uint32_t y = 0; y < a.height; ++y) {
    for (uint32_t x = 0; x < a.width; ++x) {
      const uint32_t la = a.labels[y * a.width + x];
      const uint32_t lb = b.labels[(y * b.height / a.height) * b.width + x * b.width / a.width];
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
