#include "mask/propose.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "io/tiff_writer.h"

namespace focustrack {

namespace {

using Counts = std::map<uint32_t, int64_t>;

Counts areas(const LabelMap& image) {
  Counts counts;
  for (uint32_t label : image.labels) {
    if (label != 0) ++counts[label];
  }
  return counts;
}

// The label of `later` that covers most of object `label` of `first`, with
// that overlap; 0 when none covers any of it.
uint32_t bestMatch(const LabelMap& first, uint32_t label, const LabelMap& later, int64_t* overlap) {
  Counts covered;
  for (size_t i = 0; i < first.labels.size(); ++i) {
    if (first.labels[i] == label && later.labels[i] != 0) ++covered[later.labels[i]];
  }
  uint32_t best = 0;
  *overlap = 0;
  for (const auto& [other, count] : covered) {
    if (count > *overlap) {
      best = other;
      *overlap = count;
    }
  }
  return best;
}

// Whether object `label` of the first frame stays put in every later frame;
// collects the matched label of each frame.
struct Stillness {
  double worstOverlap = 1.0;  // overlap / union, lowest over the later frames
  double sizeChange = 0.0;    // relative area change, first to last frame
};

Stillness measureStillness(const std::vector<LabelMap>& frames, const std::vector<Counts>& area,
                           uint32_t label, std::vector<uint32_t>* matches) {
  Stillness s;
  const int64_t firstArea = area[0].at(label);
  matches->assign(1, label);
  for (size_t f = 1; f < frames.size(); ++f) {
    int64_t overlap = 0;
    const uint32_t match = bestMatch(frames[0], label, frames[f], &overlap);
    if (match == 0) return {0.0, 1.0};
    const int64_t matchArea = area[f].at(match);
    const double iou = static_cast<double>(overlap) / static_cast<double>(firstArea + matchArea - overlap);
    s.worstOverlap = std::min(s.worstOverlap, iou);
    matches->push_back(match);
  }
  const int64_t lastArea = area.back().at(matches->back());
  s.sizeChange = std::abs(static_cast<double>(lastArea - firstArea)) / static_cast<double>(firstArea);
  return s;
}

// Every set pixel widened to the square of side 2 x grow + 1 around it.
std::vector<uint8_t> widen(const std::vector<uint8_t>& mask, int32_t width, int32_t height, int32_t grow) {
  std::vector<uint8_t> rows(mask.size(), 0);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      if (mask[static_cast<size_t>(y) * width + x] == 0) continue;
      const int32_t x0 = std::max(0, x - grow);
      const int32_t x1 = std::min(width - 1, x + grow);
      std::fill(rows.begin() + static_cast<ptrdiff_t>(y) * width + x0,
                rows.begin() + static_cast<ptrdiff_t>(y) * width + x1 + 1, uint8_t{255});
    }
  }
  std::vector<uint8_t> out(mask.size(), 0);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      if (rows[static_cast<size_t>(y) * width + x] == 0) continue;
      const int32_t y0 = std::max(0, y - grow);
      const int32_t y1 = std::min(height - 1, y + grow);
      for (int32_t v = y0; v <= y1; ++v) out[static_cast<size_t>(v) * width + x] = 255;
    }
  }
  return out;
}

}  // namespace

std::vector<uint8_t> proposeDeviceMask(const std::vector<LabelMap>& frames, const ProposalRules& rules,
                                       std::string* report) {
  if (frames.empty()) return {};
  const LabelMap& first = frames[0];
  std::vector<Counts> area;
  for (const LabelMap& frame : frames) area.push_back(areas(frame));
  std::vector<uint8_t> mask(first.labels.size(), 0);
  for (const auto& [label, size] : area[0]) {
    std::vector<uint32_t> matches;
    const Stillness s = measureStillness(frames, area, label, &matches);
    const bool device = s.worstOverlap >= rules.sameObject && s.sizeChange <= rules.sizeChange;
    if (report != nullptr) {
      char line[128];
      std::snprintf(line, sizeof line, "id %u: %lld pixels, overlap %.3f, size change %.3f: %s\n", label,
                    static_cast<long long>(size), s.worstOverlap, s.sizeChange, device ? "device" : "cell");
      *report += line;
    }
    if (!device) continue;
    for (size_t f = 0; f < frames.size(); ++f) {
      for (size_t i = 0; i < mask.size(); ++i) {
        if (frames[f].labels[i] == matches[f]) mask[i] = 255;
      }
    }
  }
  return widen(mask, first.width, first.height, rules.grow);
}

bool readLabelMap(const std::string& path, LabelMap* image, std::string* reason) {
  silenceLibtiff();
  std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.c_str(), "r"), [](TIFF* t) {
    if (t != nullptr) TIFFClose(t);
  });
  if (!tif) {
    *reason = "cannot read '" + path + "'";
    return false;
  }
  uint32_t width = 0, height = 0;
  uint16_t bits = 0, samples = 1;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  if ((bits != 8 && bits != 16 && bits != 32) || samples != 1 || TIFFIsTiled(tif.get()) || width == 0 || height == 0) {
    *reason = "'" + path + "' is not an 8-, 16- or 32-bit label image";
    return false;
  }
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->labels.assign(static_cast<size_t>(width) * height, 0);
  std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tif.get())));
  for (uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif.get(), row.data(), y) < 0 || row.size() < width * (bits / 8u)) {
      *reason = "cannot read row " + std::to_string(y) + " of '" + path + "'";
      return false;
    }
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t value = 0;
      if (bits == 8) {
        value = row[x];
      } else if (bits == 16) {
        uint16_t v;
        std::memcpy(&v, row.data() + 2 * x, 2);
        value = v;
      } else {
        std::memcpy(&value, row.data() + 4 * x, 4);
      }
      image->labels[static_cast<size_t>(y) * width + x] = value;
    }
  }
  return true;
}

}  // namespace focustrack
