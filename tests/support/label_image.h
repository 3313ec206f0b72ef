// Reads the label images the tests compare: masks written with --masks and
// the truth images of focustrack-synth (16- or 32-bit, one sample a pixel).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/picture_files.h"

namespace focustrack {

using LabelImage = TiffPage;

// The first page; empty samples when the file could not be read.
inline LabelImage readLabelImage(const std::string& path) {
  std::vector<TiffPage> pages = readTiffPages(path);
  return pages.empty() ? TiffPage{} : std::move(pages[0]);
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
