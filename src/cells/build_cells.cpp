#include "cells/cells.h"

#include <cstring>
#include <vector>

#include "base/pixel_grid.h"

namespace focustrack {

namespace {

// Seed map values (cellMap storage during this stage).
constexpr int32_t kNoSeed = 0;
constexpr int32_t kCoreSeed = 1;    // cell material
constexpr int32_t kThinSeed = 2;    // cell material on a one-pixel-wide line
constexpr int32_t kFirstRing = 3;   // border around the seeds
constexpr int32_t kSecondRing = 4;  // border around the first ring

constexpr int32_t kSmallRegion = 100;     // smaller regions merge freely while growing and are dropped
constexpr int32_t kFreeMergeBelow = 800;  // smaller regions merge with any neighbour in the second pass
constexpr int32_t kMinCellArea = 200;     // smallest region that becomes a cell

// Said once per frame when memory runs out while the tables grow.
constexpr char kRegionsFull[] = "out of memory for more regions; further regions dropped";
constexpr char kCellsFull[] = "out of memory for more cells; further cells dropped";

// The union-find is not balanced and never compresses its parent links; the
// only shortening is the writing back of roots into the label map.
int32_t root(const RegionRecord* regions, int32_t r) {
  while (regions[r].parent != r) r = regions[r].parent;
  return r;
}

void merge(RegionRecord* regions, int32_t into, int32_t from) {
  regions[into].size += regions[from].size;
  regions[from].parent = into;
  regions[from].size = 0;
}

// Positive cores and attached margins are cell material.
void markSeeds(const int32_t* classes, int32_t* seed, int32_t n) {
  for (int32_t p = 0; p < n; ++p) {
    const int32_t c = classes[p];
    seed[p] = (c == PositiveCore || c == AttachedMargin) ? kCoreSeed : kNoSeed;
  }
}

// Whole passes until one changes nothing.
void removeThinLines(int32_t* seed, int32_t width, int32_t height) {
  const auto isCore = [](int32_t v) { return v == kCoreSeed; };
  stripLines(seed, width, height, isCore, kThinSeed);
}

// One pass per ring; a pixel set to `ring` in this pass does not
// spread it further, so each ring is one pixel wide.
void addRing(int32_t* seed, int32_t width, int32_t height, int32_t ring) {
  for (int32_t y = 0; y < height; ++y) {
    int32_t* row = seed + static_cast<int64_t>(y) * width;
    for (int32_t x = 0; x < width; ++x) {
      if (row[x] == kNoSeed || row[x] == ring) continue;
      if (x > 0 && row[x - 1] == kNoSeed) row[x - 1] = ring;
      if (x < width - 1 && row[x + 1] == kNoSeed) row[x + 1] = ring;
      if (y > 0 && row[x - width] == kNoSeed) row[x - width] = ring;
      if (y < height - 1 && row[x + width] == kNoSeed) row[x + width] = ring;
    }
  }
}

void clearLabels(FrameBuffers& b, int32_t* label, int32_t n) {
  std::memset(label, 0, sizeof(int32_t) * static_cast<size_t>(n));
  b.regionTable[0] = RegionRecord{0, 0, 0};
}

// For one pixel: join the smallest neighbouring root, then merge the
// other neighbouring roots into it where the seeds and sizes allow.
void growPixel(FrameBuffers& b, int32_t p, int32_t s, int32_t* label, const int32_t* seed) {
  RegionRecord* regions = b.regionTable.data();
  const int32_t width = b.width;
  int32_t neighbours[4];
  const int32_t count = neighbourList(p, p % width, p / width, width, b.height, neighbours);
  int32_t m = 0;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t q = neighbours[i];
    const int32_t r = root(regions, label[q]);
    label[q] = r;
    if (r != 0 && (m == 0 || r < m)) m = r;
  }
  if (m == 0) {
    // Rings never open a region.
    if (s != kCoreSeed && s != kThinSeed) return;
    if (!makeRoom(b, b.regionTable, int64_t{b.regionCount} + 1)) {
      noteCapacity(b, kRegionsFull);
      return;
    }
    const int32_t r = ++b.regionCount;
    b.regionTable[r] = RegionRecord{r, 0, 1};  // the table may have moved
    label[p] = r;
    return;
  }
  label[p] = m;
  regions[m].size += 1;
  if (s > kFirstRing) return;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t q = neighbours[i];
    const int32_t d = label[q];  // the root written back above
    if (d == 0 || d == m || seed[q] > kFirstRing) continue;
    const bool coreContact = s == kCoreSeed && seed[q] == kCoreSeed;
    if (coreContact || regions[m].size < kSmallRegion || regions[d].size < kSmallRegion) {
      merge(regions, m, d);
    }
  }
}

// Highest delta first; pixels of equal value keep the order the sort
// left them in.
void growRegions(FrameBuffers& b, int32_t* label, const int32_t* seed) {
  const int32_t* sorted = b.sortedPixels.data();
  for (int32_t k = b.pixelCount - 1; k >= 0; --k) {
    if (k >= kPrefetchAhead) {
      const int32_t ahead = sorted[k - kPrefetchAhead];
      __builtin_prefetch(seed + ahead);
      prefetchRows(label, ahead, b.width, b.pixelCount);
    }
    const int32_t p = sorted[k];
    const int32_t s = seed[p];
    if (s == kNoSeed) continue;
    growPixel(b, p, s, label, seed);
  }
}

void removeSmallRegions(FrameBuffers& b, int32_t* label) {
  const RegionRecord* regions = b.regionTable.data();
  for (int32_t p = 0; p < b.pixelCount; ++p) {
    const int32_t r = root(regions, label[p]);
    label[p] = regions[r].size >= kSmallRegion ? r : 0;
  }
}

// The pixels of regions below kFreeMergeBelow and their neighbours (the
// labels hold roots). Regions only grow, so a merge of the pass below, which
// needs a region below that size, joins two regions at a contact of such
// pixels: only these need a visit.
std::vector<uint8_t> nearSmallRegions(const FrameBuffers& b, const int32_t* label) {
  const RegionRecord* regions = b.regionTable.data();
  const int32_t width = b.width;
  const int32_t height = b.height;
  const size_t n = static_cast<size_t>(b.pixelCount);
  std::vector<uint8_t> small(n);
  for (size_t p = 0; p < n; ++p) small[p] = label[p] != 0 && regions[label[p]].size < kFreeMergeBelow;
  std::vector<uint8_t> near(n);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = small.data() + static_cast<size_t>(y) * width;
    uint8_t* out = near.data() + static_cast<size_t>(y) * width;
    for (int32_t x = 0; x < width; ++x) {
      out[x] = row[x] | (x > 0 && row[x - 1]) | (x < width - 1 && row[x + 1]) | (y > 0 && row[x - width]) |
               (y < height - 1 && row[x + width]);
    }
  }
  return near;
}

// The visited pixel's region absorbs every touching region while
// either of the two is below 800 pixels.
void mergeSmallNeighbours(FrameBuffers& b, int32_t* label) {
  RegionRecord* regions = b.regionTable.data();
  const int32_t* sorted = b.sortedPixels.data();
  const int32_t width = b.width;
  const std::vector<uint8_t> near = nearSmallRegions(b, label);
  int32_t neighbours[4];
  for (int32_t k = b.pixelCount - 1; k >= 0; --k) {
    const int32_t p = sorted[k];
    if (near[static_cast<size_t>(p)] == 0 || label[p] == 0) continue;
    const int32_t r = root(regions, label[p]);
    label[p] = r;
    const int32_t count = neighbourList(p, p % width, p / width, width, b.height, neighbours);
    for (int32_t i = 0; i < count; ++i) {
      const int32_t q = neighbours[i];
      if (label[q] == 0) continue;
      const int32_t d = root(regions, label[q]);
      label[q] = d;
      if (d != r && (regions[r].size < kFreeMergeBelow || regions[d].size < kFreeMergeBelow)) {
        merge(regions, r, d);
      }
    }
  }
}

// Cells are numbered in the order their regions were opened.
void createCells(FrameBuffers& b) {
  RegionRecord* regions = b.regionTable.data();
  regions[0].cellNumber = 0;
  for (int32_t r = 1; r <= b.regionCount; ++r) {
    regions[r].cellNumber = 0;
    if (regions[r].size < kMinCellArea) continue;
    if (!makeRoom(b, b.currentCells, b.nextCellNumber)) {
      noteCapacity(b, kCellsFull);
      continue;
    }
    const int32_t k = b.nextCellNumber++;
    regions[r].cellNumber = k;
    CellRecord& cell = b.currentCells[k];
    cell.area = 0;
    cell.trackId = k;  // union-find parent until the track ids are given
    cell.linkCount = 0;
    cell.partner = 0;
  }
}

void relabel(FrameBuffers& b, int32_t* label) {
  const RegionRecord* regions = b.regionTable.data();
  for (int32_t p = 0; p < b.pixelCount; ++p) label[p] = regions[root(regions, label[p])].cellNumber;
}

}  // namespace

void buildCells(const RunSettings&, FrameBuffers& b) {
  b.regionCount = 0;
  b.nextCellNumber = 1;
  const int32_t n = b.pixelCount;
  int32_t* seed = b.cellMap.data();
  int32_t* label = b.labelMap();
  markSeeds(b.classMap.data(), seed, n);
  removeThinLines(seed, b.width, b.height);
  addRing(seed, b.width, b.height, kFirstRing);
  addRing(seed, b.width, b.height, kSecondRing);
  clearLabels(b, label, n);
  growRegions(b, label, seed);
  removeSmallRegions(b, label);
  mergeSmallNeighbours(b, label);
  createCells(b);
  relabel(b, label);
}

}  // namespace focustrack
