// The grey background of a result image drawn from a 16-bit slice: a linear
// stretch that maps the slice's 1st percentile to black and its 99th
// percentile to white, so that a camera's 12 to 16 bits fill the 8 bits of
// the picture whatever part of its range the recording uses.
#pragma once

#include <cstdint>
#include <vector>

namespace focustrack {

struct GreyStretch {
  uint16_t low = 0;   // this value and below: 0
  uint16_t high = 0;  // this value and above: 255
};

// The values at ranks floor(n / 100) and n - 1 - floor(n / 100) of the n
// samples in ascending order. `histogram` is the caller's scratch (65536
// counts, sized on first use).
GreyStretch percentileStretch(const uint16_t* samples, int32_t n, std::vector<uint32_t>& histogram);

// round((value - low) x 255 / (high - low)), half up, clamped to 0..255.
uint8_t stretchedGrey(uint16_t value, GreyStretch stretch);

}  // namespace focustrack
