// Hand-made frames for the content stages: cells drawn straight into cellMap,
// deltaMap, cellPixels and the cell records, as completeCells and adjustCells would
// leave them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

namespace contents_test {

struct Scene {
  RunSettings settings;
  FrameBuffers b;
  bool allocated = false;

  Scene(int32_t width, int32_t height) {
    settings.width = width;
    settings.height = height;
    settings.pixelCount = width * height;
    settings.sliceCount = 1;
    settings.frameCount = 1;
    std::string why;
    allocated = allocateBuffers(settings, b, &why);
    if (!allocated) return;
    fillAngleTable(b.angleTable.data());
    std::fill_n(b.cellMap.data(), b.pixelCount, -1);
    std::fill_n(b.deltaMap.data(), b.pixelCount, 0.0);
    b.nextCellNumber = 1;
    b.cellPixelTotal = 0;
  }

  int32_t width() const { return b.width; }
  int32_t height() const { return b.height; }
  int32_t at(int32_t x, int32_t y) const { return y * b.width + x; }
  double& delta(int32_t x, int32_t y) { return b.deltaMap[at(x, y)]; }
  int32_t& cell(int32_t x, int32_t y) { return b.cellMap[at(x, y)]; }

  // Gives the next cell number to every free pixel where `inside` holds and
  // sets its value; returns the cell number.
  int32_t addCell(const std::function<bool(int32_t, int32_t)>& inside,
                  const std::function<double(int32_t, int32_t)>& value) {
    const int32_t c = b.nextCellNumber++;
    for (int32_t y = 0; y < height(); ++y) {
      for (int32_t x = 0; x < width(); ++x) {
        if (cell(x, y) == -1 && inside(x, y)) {
          cell(x, y) = c;
          delta(x, y) = value(x, y);
        }
      }
    }
    return c;
  }

  // A disc of radius `radius` around (cx, cy).
  int32_t addDisc(double cx, double cy, double radius,
                  const std::function<double(int32_t, int32_t)>& value) {
    return addCell(
        [=](int32_t x, int32_t y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius; },
        value);
  }

  // Builds the pixel lists (descending value, equal values in index order) and
  // the records as the cell stages leave them.
  void finishCells() {
    std::vector<std::vector<int32_t>> lists(b.nextCellNumber);
    for (int32_t p = 0; p < b.pixelCount; ++p) {
      if (b.cellMap[p] >= 1) lists[b.cellMap[p]].push_back(p);
    }
    int32_t offset = 0;
    for (int32_t c = 1; c < b.nextCellNumber; ++c) {
      std::vector<int32_t>& list = lists[c];
      std::stable_sort(list.begin(), list.end(),
                       [this](int32_t p, int32_t q) { return b.deltaMap[p] > b.deltaMap[q]; });
      CellRecord& r = b.currentCells[c];
      r = CellRecord{};
      r.pixelStart = offset;
      r.area = static_cast<int32_t>(list.size());
      r.excluded = list.empty() ? 1 : 0;
      for (int32_t p : list) {
        const int32_t x = p % width();
        const int32_t y = p / width();
        if (x == 0 || y == 0 || x == width() - 1 || y == height() - 1) r.excluded = 1;
        b.cellPixels[offset++] = p;
      }
    }
    b.cellPixelTotal = offset;
  }
};

// The fit stages as a single candidate: pixel `candidate` of blob 1 seeded at
// `seed`, edgeMap -1 everywhere; the scratch fields hold not-a-number.
inline void singleCandidate(Scene& s, int32_t seed, int32_t candidate) {
  std::fill_n(s.b.edgeMap(), s.b.pixelCount, -1);
  std::fill_n(s.b.blobMap(), s.b.pixelCount, 0);
  s.b.blobMap()[seed] = 1;
  s.b.blobMap()[candidate] = 1;
  s.b.blobTable[1].seedPixel = seed;
  s.b.blobTable[1].vacuoleScore = 0.0;
  s.b.blobCount = 1;
  s.b.candidatePixels()[0] = candidate;
  s.b.candidateCount = 1;
  for (int32_t k = 0; k < kAngleEntries; ++k) {
    AngleEntry& a = s.b.angleTable[k];
    a.scratchA = a.scratchB = a.scratchC = a.scratchD = std::numeric_limits<double>::quiet_NaN();
  }
}

// A bump of height 1 and width sigma around (cx, cy).
inline double gaussian(double x, double y, double cx, double cy, double sigma) {
  const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
  return std::exp(-d2 / (2 * sigma * sigma));
}

// Deterministic noise in -amplitude .. amplitude.
struct Noise {
  uint64_t state;
  explicit Noise(uint64_t seed) : state(seed * 2654435761u + 1) {}
  double next(double amplitude) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const double unit = static_cast<double>(state >> 11) / 9007199254740992.0;
    return (unit * 2 - 1) * amplitude;
  }
};

}  // namespace contents_test

}  // namespace focustrack
