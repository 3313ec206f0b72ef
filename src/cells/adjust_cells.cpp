#include "cells/adjust_cells.h"

#include <algorithm>
#include <cmath>

#include "base/angles.h"
#include "base/parallel.h"

namespace focustrack {

namespace {

constexpr int32_t kWidthDirections = 60;              // 3 degrees apart, half a turn
constexpr double kLargestFinite = 1.7976931348623157e308;  // start of the running minimum
constexpr int64_t kCellsPerTask = 4;

// Direction j at j x 3 degrees, evaluated in exactly this order.
void fillDirections(double theta[kWidthDirections]) {
  for (int32_t j = 0; j < kWidthDirections; ++j) theta[j] = static_cast<double>(j) * 3.0 / 180.0 * kPi;
}

void clearAccumulators(AngleEntry* angles) {
  for (int32_t j = 0; j < kWidthDirections; ++j) {
    angles[j].scratchA = 0.0;
    angles[j].scratchB = 0.0;
  }
}

// The signed distance of the pixel from the line through the box
// centre at each direction widens the largest (scratchA) and smallest
// (scratchB) extent of that direction.
void project(AngleEntry* angles, const double theta[kWidthDirections], double a, double r) {
  for (int32_t j = 0; j < kWidthDirections; ++j) {
    const double v = std::sin(a - theta[j]) * r;
    if (v > angles[j].scratchA) angles[j].scratchA = v;
    if (v < angles[j].scratchB) angles[j].scratchB = v;
  }
}

// A pixel whose four neighbours all belong to its cell is never the
// strict extreme of any direction: one neighbour lies further out along
// the direction's normal by at least |sin| or |cos| of the angle, never
// below 0.7 pixel, and the rounding of the projections is below 1e-11
// pixel. The extremes are the same values whichever order they arrive in,
// so skipping such pixels leaves every accumulator bit for bit as visiting
// all of them would.
bool isInner(const FrameBuffers& b, int32_t p, int32_t cell) {
  const int32_t width = b.width;
  const int32_t x = p % width;
  const int32_t y = p / width;
  if (x == 0 || y == 0 || x == width - 1 || y == b.height - 1) return false;
  const int32_t* map = b.cellMap.data();
  return map[p - 1] == cell && map[p + 1] == cell && map[p - width] == cell && map[p + width] == cell;
}

struct Directions {
  double theta[kWidthDirections];
  double cosTheta[kWidthDirections];
  double sinTheta[kWidthDirections];
};

// Calls visit(ddx, ddy) for every pixel of cell k, or with `outlineOnly` for
// those that are not inner, with the pixel's offset from the box centre.
// Where the cell's box keeps off the image border, every pixel has its four
// neighbours inside the image, and the inner ones are found without their
// row and column.
template <class Visit>
void forPixels(const FrameBuffers& b, int32_t k, bool outlineOnly, Visit visit) {
  const CellRecord& cell = b.currentCells[k];
  const int32_t* pixels = b.cellPixels.data() + cell.pixelStart;
  const int32_t* map = b.cellMap.data();
  const int32_t width = b.width;
  const bool offBorder = cell.minX > 0 && cell.minY > 0 && cell.maxX < width - 1 && cell.maxY < b.height - 1;
  const double cx = static_cast<double>(cell.minX + cell.maxX) * 0.5;
  const double cy = static_cast<double>(cell.minY + cell.maxY) * 0.5;
  for (int32_t i = 0; i < cell.area; ++i) {
    const int32_t p = pixels[i];
    if (outlineOnly) {
      const bool inner = offBorder ? map[p - 1] == k && map[p + 1] == k && map[p - width] == k && map[p + width] == k
                                   : isInner(b, p, k);
      if (inner) continue;
    }
    visit(cx - static_cast<double>(p % width), cy - static_cast<double>(p / width));
  }
}

void projectEveryPixel(const FrameBuffers& b, AngleEntry* angles, int32_t k, const Directions& d) {
  forPixels(b, k, false, [&](double ddx, double ddy) {
    project(angles, d.theta, std::atan2(ddy, ddx), std::sqrt(ddx * ddx + ddy * ddy));
  });
}

// The projection sin(a - theta) x r equals ddy cos theta - ddx sin theta;
// computed either way it is off by less than 1e-14 x r. So only outline
// pixels whose linear form lies within 1e-9 x (1 + |ddx| + |ddy|) of the
// direction's extreme linear form can give the extreme computed projection,
// and only those get the sine, with the a and r every pixel would get.
// Every pixel that can hold an extreme is still projected, so every
// accumulator ends at the same value as projecting every pixel.
void projectOutline(const FrameBuffers& b, AngleEntry* angles, int32_t k, const Directions& d) {
  double high[kWidthDirections];
  double low[kWidthDirections];
  std::fill(high, high + kWidthDirections, -kLargestFinite);
  std::fill(low, low + kWidthDirections, kLargestFinite);
  double reach = 0.0;
  forPixels(b, k, true, [&](double ddx, double ddy) {
    reach = std::max(reach, std::fabs(ddx) + std::fabs(ddy));
    for (int32_t j = 0; j < kWidthDirections; ++j) {
      const double linear = ddy * d.cosTheta[j] - ddx * d.sinTheta[j];
      high[j] = std::max(high[j], linear);
      low[j] = std::min(low[j], linear);
    }
  });
  const double margin = 1e-9 * (1.0 + reach);
  forPixels(b, k, true, [&](double ddx, double ddy) {
    bool polar = false;
    double a = 0.0;
    double r = 0.0;
    for (int32_t j = 0; j < kWidthDirections; ++j) {
      const double linear = ddy * d.cosTheta[j] - ddx * d.sinTheta[j];
      if (linear < high[j] - margin && linear > low[j] + margin) continue;
      if (!polar) {
        a = std::atan2(ddy, ddx);
        r = std::sqrt(ddx * ddx + ddy * ddy);
        polar = true;
      }
      const double v = std::sin(a - d.theta[j]) * r;
      if (v > angles[j].scratchA) angles[j].scratchA = v;
      if (v < angles[j].scratchB) angles[j].scratchB = v;
    }
  });
}

void rescaleValues(FrameBuffers& b, const CellRecord& cell) {
  double* delta = b.deltaMap.data();
  const int32_t* pixels = b.cellPixels.data() + cell.pixelStart;
  const double range = cell.deltaMax - cell.deltaMin;
  for (int32_t i = 0; i < cell.area; ++i) {
    const int32_t p = pixels[i];
    delta[p] = (delta[p] - cell.deltaMin) / range;
  }
}

// Largest over smallest width; strict comparisons, so a
// not-a-number width never replaces a running extreme.
double widthRatio(const AngleEntry* angles) {
  double largest = 0.0;
  double smallest = kLargestFinite;
  for (int32_t j = 0; j < kWidthDirections; ++j) {
    const double w = angles[j].scratchA - angles[j].scratchB;
    if (w > largest) largest = w;
    if (w < smallest) smallest = w;
  }
  return largest / smallest;
}

// Cells share nothing but the direction table's scratch: with threads, runs
// of cells are tasks with scratch of their own.
void adjust(FrameBuffers& b, bool everyPixel) {
  Directions d;
  fillDirections(d.theta);
  for (int32_t j = 0; j < kWidthDirections; ++j) {
    d.cosTheta[j] = std::cos(d.theta[j]);
    d.sinTheta[j] = std::sin(d.theta[j]);
  }
  const bool apart = threadsAvailable();
  forRanges(1, b.nextCellNumber, kCellsPerTask, [&](int64_t first, int64_t end) {
    AngleEntry own[kWidthDirections];
    AngleEntry* angles = apart ? own : b.angleTable.data();
    for (int64_t k = first; k < end; ++k) {
      CellRecord& cell = b.currentCells[k];
      clearAccumulators(angles);
      if (cell.area > 0) {
        if (everyPixel) {
          projectEveryPixel(b, angles, static_cast<int32_t>(k), d);
        } else {
          projectOutline(b, angles, static_cast<int32_t>(k), d);
        }
        rescaleValues(b, cell);
      }
      cell.aspect = widthRatio(angles);
    }
  });
}

}  // namespace

void adjustCells(const RunSettings&, FrameBuffers& b) { adjust(b, false); }

void adjustCellsVisitingEveryPixel(const RunSettings&, FrameBuffers& b) { adjust(b, true); }

}  // namespace focustrack
