#include "cells/adjust_cells.h"

#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "support/cell_fixture.h"
#include "cells/cells.h"

namespace focustrack {

namespace {

struct Point {
  int32_t x;
  int32_t y;
};

// Records as the measurement pass leaves them, for cells given by their
// pixel lists (in list order), numbered from 1.
void setCells(CellFrame& f, const std::vector<std::vector<Point>>& cells) {
  for (int32_t p = 0; p < f.b.pixelCount; ++p) f.b.cellMap[p] = -1;
  int32_t offset = 0;
  for (size_t i = 0; i < cells.size(); ++i) {
    CellRecord& r = f.b.currentCells[i + 1];
    r.pixelStart = offset;
    r.area = static_cast<int32_t>(cells[i].size());
    r.minX = f.width();
    r.minY = f.height();
    r.maxX = r.maxY = 0;
    r.deltaMin = 1.0;
    r.deltaMax = -1.0;
    for (const Point& q : cells[i]) {
      const int32_t p = f.at(q.x, q.y);
      f.b.cellPixels[offset++] = p;
      f.b.cellMap[p] = static_cast<int32_t>(i + 1);
      r.minX = std::min(r.minX, q.x);
      r.minY = std::min(r.minY, q.y);
      r.maxX = std::max(r.maxX, q.x);
      r.maxY = std::max(r.maxY, q.y);
      r.deltaMin = std::min(r.deltaMin, f.b.deltaMap[p]);
      r.deltaMax = std::max(r.deltaMax, f.b.deltaMap[p]);
    }
  }
  f.b.nextCellNumber = static_cast<int32_t>(cells.size()) + 1;
}

std::vector<Point> block(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  std::vector<Point> points;
  for (int32_t y = y0; y <= y1; ++y)
    for (int32_t x = x0; x <= x1; ++x) points.push_back({x, y});
  return points;
}

// Aspect and rescaled deltas where there is nothing to measure.
TEST(CellAspect, EmptySinglePixelAndSingleRowCells) {
  CellFrame f(20, 20);
  setCells(f, {{}, {{5, 5}}, block(3, 8, 12, 8)});
  adjustCells(f.settings, f.b);
  EXPECT_TRUE(std::isnan(f.b.currentCells[1].aspect));
  EXPECT_TRUE(std::isnan(f.b.currentCells[2].aspect));
  EXPECT_GT(f.b.currentCells[3].aspect, 1e10);
  // All deltas of a cell equal: its rescaled values are 0 / 0.
  EXPECT_TRUE(std::isnan(f.b.deltaMap[f.at(5, 8)]));
}

// Irregular cells from a fixed pseudo-random sequence: unions of ellipses at
// random angles, some touching the image edge, some overlapping others,
// measured by the completion stage.
void irregularFrame(CellFrame& f) {
  uint32_t state = 12345;
  const auto next = [&state](int32_t range) {
    state = state * 1664525u + 1013904223u;
    return static_cast<int32_t>((state >> 8) % static_cast<uint32_t>(range));
  };
  for (int32_t p = 0; p < f.b.pixelCount; ++p) f.b.deltaMap[p] = next(100000) / 100000.0;
  int32_t count = 0;
  for (int32_t gy = 0; gy < 6; ++gy) {
    for (int32_t gx = 0; gx < 6; ++gx) {
      ++count;
      for (int32_t part = 0; part < 3; ++part) {
        const double cx = gx * 50 + 10 + next(30), cy = gy * 50 + 10 + next(30);
        const double ra = 6 + next(20), rb = 4 + next(12), turn = next(360) * 3.14159 / 180;
        for (int32_t y = 0; y < f.height(); ++y) {
          for (int32_t x = 0; x < f.width(); ++x) {
            const double u = (x - cx) * std::cos(turn) + (y - cy) * std::sin(turn);
            const double v = (y - cy) * std::cos(turn) - (x - cx) * std::sin(turn);
            if (u * u / (ra * ra) + v * v / (rb * rb) <= 1.0) f.b.classMap[f.at(x, y)] = count;
          }
        }
      }
    }
  }
  f.setLabelsAsBuilt(count);
  f.sortPixels();
  completeCells(f.settings, f.b);
}

// With threads the cells are tasks handed out in any order; the result is
// still that of visiting every pixel on one thread.
TEST(CellAspect, SkippingPixelsWithThreadsAgreesBitForBitWithVisitingEveryPixel) {
  CellFrame fast(300, 300);
  CellFrame every(300, 300);
  irregularFrame(fast);
  irregularFrame(every);
#pragma omp parallel num_threads(4)
#pragma omp master
  adjustCells(fast.settings, fast.b);
  adjustCellsVisitingEveryPixel(every.settings, every.b);
  ASSERT_EQ(fast.b.nextCellNumber, every.b.nextCellNumber);
  int32_t measured = 0;
  for (int32_t k = 1; k < fast.b.nextCellNumber; ++k) {
    const double a = fast.b.currentCells[k].aspect;
    const double b = every.b.currentCells[k].aspect;
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "cell " << k << ": " << a << " vs " << b;
    if (fast.b.currentCells[k].area > 0) ++measured;
  }
  EXPECT_GT(measured, 20);
  EXPECT_EQ(std::memcmp(fast.b.deltaMap.data(), every.b.deltaMap.data(), sizeof(double) * 90000), 0);
}

}  // namespace

}  // namespace focustrack
