// A small hand-filled frame for stage tests: run settings and buffers
// allocated the way a run allocates them, released on destruction.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

class SmallFrame {
 public:
  SmallFrame(int32_t width, int32_t height, int32_t sliceCount) {
    settings.width = width;
    settings.height = height;
    settings.sliceCount = sliceCount;
    settings.frameCount = 1;
    settings.pixelCount = width * height;
    std::string why;
    allocated = allocateBuffers(settings, buffers, &why);
    EXPECT_TRUE(allocated) << why;
    buffers.rangeFirst = 0;
    buffers.rangeLast = sliceCount - 1;
  }
  ~SmallFrame() { releaseBuffers(buffers); }
  SmallFrame(const SmallFrame&) = delete;
  SmallFrame& operator=(const SmallFrame&) = delete;

  size_t n() const { return static_cast<size_t>(settings.pixelCount); }
  uint8_t* plane(int32_t s) { return buffers.sliceStack.data() + static_cast<size_t>(s) * n(); }
  // Columns x0..x1 and rows y0..y1 of classMap, both inclusive.
  void paint(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t pixelClass) {
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x) buffers.classMap[static_cast<size_t>(y * settings.width + x)] = pixelClass;
  }

  // Grey values drawn uniformly from low..high in every slice.
  void fillRandom(uint32_t seed, int low = 0, int high = 255) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> grey(low, high);
    for (size_t i = 0; i < n() * static_cast<size_t>(settings.sliceCount); ++i) {
      buffers.sliceStack[i] = static_cast<uint8_t>(grey(random));
    }
  }
  void fillDelta(double value) {
    for (size_t i = 0; i < n(); ++i) buffers.deltaMap[i] = value;
  }

  RunSettings settings;
  FrameBuffers buffers;
  bool allocated = false;
};

// The reference the fast energy sums are compared with: pixel by pixel, the
// left term before the upper one.
inline double plainEnergy(const std::vector<double>& v, int32_t width) {
  const size_t w = static_cast<size_t>(width);
  double energy = 0.0;
  for (size_t i = 0; i < v.size(); ++i) {
    if (i % w > 0) energy += (v[i] - v[i - 1]) * (v[i] - v[i - 1]);
    if (i / w > 0) energy += (v[i] - v[i - w]) * (v[i] - v[i - w]);
  }
  return energy;
}

}  // namespace focustrack
