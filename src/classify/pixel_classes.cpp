// Pixel classification splits the delta map into cores, margins and the
// outside. A core is a connected patch grown from pixels of strong
// through-focus change (at or beyond the core threshold) inward to weaker
// ones; a margin is the unassigned band beside a core or an enclosed gap; the
// outside is every unassigned region that reaches the image border.
#include "classify/classify.h"
#include "classify/core_census.h"

#include <cstddef>

#include "base/pixel_grid.h"

namespace focustrack {

namespace {

// Image shape and the per-pixel arrays the steps share.
struct Grid {
  int32_t width;
  int32_t height;
  int32_t pixelCount;
  const double* delta;
  int32_t* classes;
  int32_t* queue;
};

// Existing 4-neighbours of pixel i in the fixed order left, right, up, down.
struct Neighbours {
  int32_t index[4];
  int32_t count;
  bool onBorder;  // one of the four is missing
};

Neighbours neighboursOf(const Grid& g, int32_t i) {
  const int32_t x = i % g.width;
  const int32_t y = i / g.width;
  Neighbours nb;
  nb.count = 0;
  if (x > 0) nb.index[nb.count++] = i - 1;
  if (x < g.width - 1) nb.index[nb.count++] = i + 1;
  if (y > 0) nb.index[nb.count++] = i - g.width;
  if (y < g.height - 1) nb.index[nb.count++] = i + g.width;
  nb.onBorder = nb.count < 4;
  return nb;
}

bool touchesClass(const Grid& g, int32_t i, int32_t pixelClass) {
  const Neighbours nb = neighboursOf(g, i);
  for (int32_t k = 0; k < nb.count; ++k) {
    if (g.classes[nb.index[k]] == pixelClass) return true;
  }
  return false;
}

void clearClasses(const Grid& g) {
  for (int32_t i = 0; i < g.pixelCount; ++i) g.classes[i] = Unassigned;
}

// First position in first..last - 1 of the sorted order whose delta meets
// `holds`, or `last` if none does. The order is ascending, so a test that
// once holds keeps holding, and halving finds the same position a scan from
// the start would, without touching every delta on the way.
template <class Test>
int32_t firstSortedWhere(const Grid& g, const int32_t* order, int32_t first, int32_t last,
                         Test holds) {
  while (first < last) {
    const int32_t middle = first + (last - first) / 2;
    if (holds(g.delta[order[middle]])) {
      last = middle;
    } else {
      first = middle + 1;
    }
  }
  return first;
}

// The number of leading pixels whose delta is not above 0; a delta of
// exactly 0 counts with the non-positive ones here.
int32_t splitPoint(const Grid& g, const int32_t* order) {
  return firstSortedWhere(g, order, 0, g.pixelCount, [](double d) { return d > 0.0; });
}

// From the largest value down, so a pixel below the threshold joins
// only through a neighbour visited before it. The pixels at or above the
// threshold are a tail of the sorted order and seed without any test.
void growPositiveCores(const Grid& g, const int32_t* order, int32_t split, double threshold) {
  const int32_t seeds = firstSortedWhere(g, order, split, g.pixelCount,
                                         [threshold](double d) { return d >= threshold; });
  for (int32_t k = g.pixelCount - 1; k >= seeds; --k) g.classes[order[k]] = PositiveCore;
  for (int32_t k = seeds - 1; k >= split; --k) {
    if (k >= kPrefetchAhead) prefetchRows(g.classes, order[k - kPrefetchAhead], g.width, g.pixelCount);
    const int32_t i = order[k];
    if (touchesClass(g, i, PositiveCore)) g.classes[i] = PositiveCore;
  }
}

// From the most negative value up; a delta of 0 may join a negative
// core but never seeds one while the threshold is above 0. The pixels at or
// below minus the threshold are a head of the sorted order.
void growNegativeCores(const Grid& g, const int32_t* order, int32_t split, double threshold) {
  const int32_t seeds =
      firstSortedWhere(g, order, 0, split, [threshold](double d) { return !(d <= -threshold); });
  for (int32_t k = 0; k < seeds; ++k) g.classes[order[k]] = NegativeCore;
  for (int32_t k = seeds; k < split; ++k) {
    if (k + kPrefetchAhead < split) prefetchRows(g.classes, order[k + kPrefetchAhead], g.width, g.pixelCount);
    const int32_t i = order[k];
    if (touchesClass(g, i, NegativeCore)) g.classes[i] = NegativeCore;
  }
}

// Margins beside a core of the pixel's own sign, a delta of 0 now
// counting as non-negative. Only core classes are read, so the visiting order
// does not matter; raster order is used.
void markCoreMargins(const Grid& g) {
  for (int32_t y = 0; y < g.height; ++y) {
    const int32_t rowStart = y * g.width;
    for (int32_t x = 0; x < g.width; ++x) {
      const int32_t i = rowStart + x;
      if (g.classes[i] != Unassigned) continue;
      const int32_t core = g.delta[i] < 0.0 ? NegativeCore : PositiveCore;
      const bool besideCore = (x > 0 && g.classes[i - 1] == core) ||
                              (x < g.width - 1 && g.classes[i + 1] == core) ||
                              (y > 0 && g.classes[i - g.width] == core) ||
                              (y < g.height - 1 && g.classes[i + g.width] == core);
      if (besideCore) g.classes[i] = Margin;
    }
  }
}

// Breadth-first fill from `start` over pixels that `collect` accepts; every
// pixel takes class `fill` when queued. Answers the region size (the region
// is then queue[0..size - 1]) and, through `noted`, whether `note` held for
// any collected pixel.
template <class Collect, class Note>
int32_t fillRegion(const Grid& g, int32_t start, int32_t fill, Collect collect, Note note,
                   bool* noted) {
  int32_t head = 0;
  int32_t tail = 0;
  g.queue[tail++] = start;
  g.classes[start] = fill;
  bool seen = false;
  while (head < tail) {
    const int32_t i = g.queue[head++];
    const Neighbours nb = neighboursOf(g, i);
    if (!seen && note(i, nb)) seen = true;
    for (int32_t k = 0; k < nb.count; ++k) {
      const int32_t j = nb.index[k];
      if (collect(j)) {
        g.classes[j] = fill;
        g.queue[tail++] = j;
      }
    }
  }
  *noted = seen;
  return tail;
}

// Unassigned regions that reach the border are outside, enclosed
// ones become margin.
void sortOutUnassignedRegions(const Grid& g) {
  auto unassigned = [&g](int32_t j) { return g.classes[j] == Unassigned; };
  auto border = [](int32_t, const Neighbours& nb) { return nb.onBorder; };
  for (int32_t start = 0; start < g.pixelCount; ++start) {
    if (g.classes[start] != Unassigned) continue;
    bool touchesBorder = false;
    const int32_t size = fillRegion(g, start, Outside, unassigned, border, &touchesBorder);
    if (touchesBorder) continue;
    for (int32_t k = 0; k < size; ++k) g.classes[g.queue[k]] = Margin;
  }
}

// Non-negative margin regions are attached when they touch a
// positive core, detached otherwise; negative margin pixels stay margin.
void splitMargins(const Grid& g) {
  auto nonNegativeMargin = [&g](int32_t j) { return g.classes[j] == Margin && g.delta[j] >= 0.0; };
  auto nextToCore = [&g](int32_t, const Neighbours& nb) {
    for (int32_t k = 0; k < nb.count; ++k) {
      if (g.classes[nb.index[k]] == PositiveCore) return true;
    }
    return false;
  };
  for (int32_t start = 0; start < g.pixelCount; ++start) {
    if (!nonNegativeMargin(start)) continue;
    bool touchesCore = false;
    const int32_t size =
        fillRegion(g, start, AttachedMargin, nonNegativeMargin, nextToCore, &touchesCore);
    if (touchesCore) continue;
    for (int32_t k = 0; k < size; ++k) g.classes[g.queue[k]] = DetachedMargin;
  }
}

}  // namespace

void classifyPixels(const RunSettings& settings, FrameBuffers& buffers) {
  const Grid g{buffers.width,           buffers.height,          buffers.pixelCount,
               buffers.deltaMap.data(), buffers.classMap.data(), buffers.floodQueue.data()};
  const int32_t* order = buffers.sortedPixels.data();
  const double threshold = settings.coreThreshold;
  clearClasses(g);
  const int32_t split = splitPoint(g, order);
  growPositiveCores(g, order, split, threshold);
  growNegativeCores(g, order, split, threshold);
  markCoreMargins(g);
  sortOutUnassignedRegions(g);
  splitMargins(g);
  takeCoreCensus(buffers);
}

}  // namespace focustrack
