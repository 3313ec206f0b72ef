#include "output/grey_stretch.h"

#include <cstddef>

namespace focustrack {

namespace {

constexpr int32_t kSampleValues = 65536;
constexpr int32_t kPercentileDivisor = 100;  // 1st and 99th percentile

// The value at `rank` (from 0) of the samples counted in `histogram`.
uint16_t valueAtRank(const std::vector<uint32_t>& histogram, int64_t rank) {
  int64_t seen = 0;
  for (int32_t v = 0; v < kSampleValues; ++v) {
    seen += histogram[static_cast<size_t>(v)];
    if (seen > rank) return static_cast<uint16_t>(v);
  }
  return static_cast<uint16_t>(kSampleValues - 1);
}

}  // namespace

GreyStretch percentileStretch(const uint16_t* samples, int32_t n, std::vector<uint32_t>& histogram) {
  GreyStretch stretch;
  if (n <= 0) return stretch;
  histogram.assign(kSampleValues, 0);
  for (int32_t p = 0; p < n; ++p) ++histogram[samples[p]];
  const int64_t cut = n / kPercentileDivisor;
  stretch.low = valueAtRank(histogram, cut);
  stretch.high = valueAtRank(histogram, int64_t{n} - 1 - cut);
  return stretch;
}

uint8_t stretchedGrey(uint16_t value, GreyStretch stretch) {
  if (value <= stretch.low) return 0;
  if (value >= stretch.high) return 255;
  const int64_t span = int64_t{stretch.high} - stretch.low;
  const int64_t scaled = (int64_t{value} - stretch.low) * 510 + span;
  return static_cast<uint8_t>(scaled / (2 * span));
}

}  // namespace focustrack
