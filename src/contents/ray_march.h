// Ray march and outline measures. Nuclei, nucleoli and vacuoles are described
// by their radius in 120 directions 3 degrees apart, measured from one origin
// pixel. A ray walks the pixel grid by 4-neighbour steps; its outline is the
// 120 raw ray lengths, smoothed circularly and measured as a fan of triangles.
#pragma once

#include <cstdint>

#include "frame/frame_buffers.h"

namespace focustrack {

// Path length of every measuring ray of the nucleus and vacuole fits.
constexpr double kRayBudget = 16.0;
// Most steps a ray of kRayBudget can take: at most 16 |cos| + 1 steps in x
// and 16 |sin| + 1 in y, below 16 x sqrt(2) + 2.
constexpr int32_t kRayStepsMax = 32;

// The walk of one ray: it crosses into the next pixel in x or in y, whichever
// crossing lies nearer along the ray; equal crossing distances step in x.
// fx and fy are the distances to the next crossing in x and in y, in pixel
// sides; both start at a whole pixel, so the first step travels at least 1.0.
// `remaining` is the unused path length.
struct RayWalk {
  double sinK;
  double cosK;
  double sx;         // +1 or -1; a zero component counts as positive
  double sy;
  double fx = 1.0;
  double fy = 1.0;
  double remaining;
  double tx = 0.0;   // path length to the next x crossing
  double ty = 0.0;   // path length to the next y crossing

  RayWalk(const AngleEntry& direction, double budget)
      : sinK(direction.sinK),
        cosK(direction.cosK),
        sx(direction.cosK < 0 ? -1.0 : 1.0),
        sy(direction.sinK < 0 ? -1.0 : 1.0),
        remaining(budget) {}

  // Crossing distances from the current position; a zero component gives
  // +infinity, so that axis never steps.
  void measureCrossings() {
    tx = fx * sx / cosK;
    ty = fy * sy / sinK;
  }
  bool nextStepInX() const { return ty >= tx; }
  void stepX() {
    remaining -= tx;
    fy -= tx * sy * sinK;
    fx = 1.0;
  }
  void stepY() {
    remaining -= ty;
    fx -= ty * sx * cosK;
    fy = 1.0;
  }
};

// Measuring mode. Walks direction `direction` from pixel `origin` on a grid
// of `width` columns while the budget reaches the next crossing. For every
// entered pixel calls enter(pixel, travelled), travelled = budget -
// remaining; enter returns true to go on, false to stop the ray there.
// Returns true when enter stopped the ray, false when the budget ended it.
// The caller guarantees that every entered pixel lies inside the grid.
template <class Enter>
inline bool marchRay(const AngleEntry& direction, int32_t origin, int32_t width, double budget,
                     Enter&& enter) {
  RayWalk walk(direction, budget);
  const int32_t pixelStepX = walk.sx < 0 ? -1 : 1;
  const int32_t pixelStepY = walk.sy < 0 ? -width : width;
  int32_t pixel = origin;
  for (;;) {
    walk.measureCrossings();
    if (walk.ty >= walk.tx && walk.remaining >= walk.tx) {
      walk.stepX();
      pixel += pixelStepX;
    } else if (walk.tx > walk.ty && walk.remaining >= walk.ty) {
      walk.stepY();
      pixel += pixelStepY;
    } else {
      return false;
    }
    if (!enter(pixel, budget - walk.remaining)) return true;
  }
}

// Drawing mode. Walks direction `direction` from (originX, originY) on a
// width x height grid without budget tests: every step is taken, and the walk
// ends after the first step that leaves the remaining length below 0, so it
// always enters at least one pixel and ends one step past `budget`. It also
// ends, before stepping, when the next pixel would lie outside the grid.
// Calls enter(pixel) for every entered pixel.
template <class Enter>
inline void drawRay(const AngleEntry& direction, int32_t originX, int32_t originY, int32_t width,
                    int32_t height, double budget, Enter&& enter) {
  RayWalk walk(direction, budget);
  const int32_t stepX = walk.sx < 0 ? -1 : 1;
  const int32_t stepY = walk.sy < 0 ? -1 : 1;
  int32_t x = originX;
  int32_t y = originY;
  do {
    walk.measureCrossings();
    if (walk.nextStepInX()) {
      if (x + stepX < 0 || x + stepX >= width) return;
      x += stepX;
      walk.stepX();
    } else {
      if (y + stepY < 0 || y + stepY >= height) return;
      y += stepY;
      walk.stepY();
    }
    enter(y * width + x);
  } while (walk.remaining >= 0);
}

// The entered pixels of one measuring ray of kRayBudget, as offsets from its
// origin, with the path length travelled up to each entry.
struct RayPath {
  int32_t count;
  int32_t offset[kRayStepsMax];
  double travelled[kRayStepsMax];
};

// The walk of a measuring ray depends only on its direction and the grid
// width, never on the origin: the fits trace the 120 paths once per frame and
// replay them for every candidate. A replayed path enters the same pixels
// with the same travelled lengths as marchRay.
struct RayPaths {
  RayPath direction[kDirections];
};

// Traces the paths of directions 0..119 for a grid of `width` columns.
void traceRayPaths(const AngleEntry* angleTable, int32_t width, RayPaths& paths);

// Circular smoothing: target[k] = mean of source[k - 10 .. k + 10] (indices
// modulo 120) for k = 0..120, by a running sum. Reads `source` of entries
// 0..119, writes `target` of entries 0..120.
void smoothOutline(AngleEntry* angleTable, double AngleEntry::*source, double AngleEntry::*target);

// The raw and the smoothed radii of one outline in the table.
struct OutlineRadii {
  double AngleEntry::*raw;
  double AngleEntry::*smoothed;
};

// smoothOutline of `count` outlines (1 or 2), each followed by the area of
// measureOutline over its smoothed radii, in areas[i]: every sum runs in the
// same order as there. The outlines' running sums are independent, so one
// pass keeps them all in flight.
void smoothOutlinesWithAreas(AngleEntry* angleTable, const OutlineRadii* outlines, int32_t count, double* areas);

struct OutlineMeasures {
  double area;
  double perimeter;
  double circularity;  // 1 for a circle
};

// Area, perimeter and circularity of the outline whose radii, directions
// 0..120, are in `radius` of the table.
OutlineMeasures measureOutline(const AngleEntry* angleTable, double AngleEntry::*radius);

// The radii of one outline in the table.
using OutlineRadius = double AngleEntry::*;

// The perimeter of measureOutline alone, in its AVX2 version where the
// processor has it.
double outlinePerimeter(const AngleEntry* angleTable, OutlineRadius radius);

// The perimeters of two outlines, out[0] of the first, in one pass that
// keeps both serial sums in flight.
void outlinePerimeters(const AngleEntry* angleTable, OutlineRadius first, OutlineRadius second, double* out);

}  // namespace focustrack
