// Small hand-made frames for the cell stages: a FrameBuffers of a few
// thousand pixels, painted rectangle by rectangle.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

struct CellFrame {
  RunSettings settings;
  FrameBuffers b;

  CellFrame(int32_t width, int32_t height) {
    settings.width = width;
    settings.height = height;
    settings.pixelCount = width * height;
    settings.sliceCount = 1;
    settings.frameCount = 3;
    std::string why;
    const bool ok = allocateBuffers(settings, b, &why);
    EXPECT_TRUE(ok) << why;
    fillRunTables(b);
    b.nextTrackId = 1;
    b.previousCellNumberEnd = 0;
    b.frameOrdinal = 1;
    clear(0, 0.0);
  }
  ~CellFrame() { releaseBuffers(b); }

  int32_t width() const { return b.width; }
  int32_t height() const { return b.height; }
  int32_t at(int32_t x, int32_t y) const { return y * b.width + x; }

  // Every pixel gets `value` in classMap and `delta` in deltaMap.
  void clear(int32_t value, double delta) {
    for (int32_t p = 0; p < b.pixelCount; ++p) {
      b.classMap[p] = value;
      b.deltaMap[p] = delta;
    }
  }
  // Columns x0..x1 and rows y0..y1, both inclusive.
  void paint(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t value) {
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x) b.classMap[at(x, y)] = value;
  }
  void paintDelta(int32_t x0, int32_t y0, int32_t x1, int32_t y1, double delta) {
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x) b.deltaMap[at(x, y)] = delta;
  }
  // Both at once: `value` in classMap and `delta` in deltaMap.
  void paint(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t value, double delta) {
    paint(x0, y0, x1, y1, value);
    paintDelta(x0, y0, x1, y1, delta);
  }
  // sortedPixels ascending by deltaMap, as the pixel ordering stage leaves it.
  void sortPixels() {
    for (int32_t p = 0; p < b.pixelCount; ++p) b.sortedPixels[p] = p;
    b.sorter.sort(b.sortedPixels.data(), b.deltaMap.data(), b.pixelCount - 1);
  }

  // The state buildCells hands on: classMap holds cell numbers 1..count.
  void setLabelsAsBuilt(int32_t count) {
    b.nextCellNumber = count + 1;
    for (int32_t k = 1; k <= count; ++k) {
      b.currentCells[k].area = 0;
      b.currentCells[k].trackId = k;
      b.currentCells[k].linkCount = 0;
      b.currentCells[k].partner = 0;
    }
  }
  // A previous frame given by hand: `cells` is a cell map (cell number or -1)
  // of this frame's size; track ids are 100 + cell number.
  void setPrevious(const std::vector<int32_t>& cells, int32_t count) {
    b.previousCellNumberEnd = count + 1;
    for (int32_t k = 1; k <= count; ++k) {
      b.previousCells[k].area = 0;
      b.previousCells[k].trackId = 100 + k;
      b.previousCells[k].linkCount = 7;
      b.previousCells[k].partner = 7;
    }
    for (int32_t p = 0; p < b.pixelCount; ++p) {
      b.previousCellMap[p] = cells[p];
      if (cells[p] > 0) b.previousCells[cells[p]].area += 1;
    }
  }
  int32_t pair(int32_t prev, int32_t cur) const { return b.linkPairCounts[prev * b.nextCellNumber + cur]; }
};

// A cell map of the given size, -1 everywhere, with rectangles painted in.
struct MapPainter {
  int32_t width;
  std::vector<int32_t> cells;
  MapPainter(int32_t w, int32_t h) : width(w), cells(static_cast<size_t>(w) * h, -1) {}
  MapPainter& rect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t value) {
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x) cells[static_cast<size_t>(y) * width + x] = value;
    return *this;
  }
};

}  // namespace focustrack
