#include "contents/ray_march.h"
#include "base/angles.h"
#include "base/processor.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace focustrack {

namespace {

constexpr int32_t kSmoothReach = 10;                    // directions on each side of the mean
constexpr double kSmoothWidth = 2 * kSmoothReach + 1;   // 21 directions per mean

// Slot of direction j, taken modulo 120 (j from -120 to 239).
inline int32_t wrapDirection(int32_t j) {
  if (j < 0) return j + kDirections;
  return j >= kDirections ? j - kDirections : j;
}

}  // namespace

void traceRayPaths(const AngleEntry* angleTable, int32_t width, RayPaths& paths) {
  for (int32_t k = 0; k < kDirections; ++k) {
    RayPath& path = paths.direction[k];
    path.count = 0;
    marchRay(angleTable[k], 0, width, kRayBudget, [&path](int32_t offset, double travelled) {
      path.offset[path.count] = offset;
      path.travelled[path.count] = travelled;
      ++path.count;
      return true;
    });
  }
}

void smoothOutline(AngleEntry* angleTable, double AngleEntry::*source, double AngleEntry::*target) {
  // The running sum starts at 0.0 and takes raw[-11] .. raw[9] in this order;
  // every later value adds one slot before it drops one, so the rounding of
  // each mean depends on this exact sequence. target[120] is the running
  // value at k = 120, equal to target[0] only up to rounding.
  double sum = 0.0;
  for (int32_t j = -kSmoothReach - 1; j < kSmoothReach; ++j) {
    sum += angleTable[wrapDirection(j)].*source;
  }
  for (int32_t k = 0; k <= kDirections; ++k) {
    sum += angleTable[wrapDirection(k + kSmoothReach)].*source;
    sum -= angleTable[wrapDirection(k - kSmoothReach - 1)].*source;
    angleTable[k].*target = sum / kSmoothWidth;
  }
}

namespace {

template <int32_t N>
void smoothWithAreas(AngleEntry* a, const OutlineRadii* outlines, double* areas) {
  double sum[N];
  double area[N];
  double previousX[N];
  double previousY[N];
  for (int32_t i = 0; i < N; ++i) {
    sum[i] = 0.0;
    area[i] = 0.0;
  }
  for (int32_t d = -kSmoothReach - 1; d < kSmoothReach; ++d) {
    for (int32_t i = 0; i < N; ++i) sum[i] += a[wrapDirection(d)].*outlines[i].raw;
  }
  for (int32_t k = 0; k <= kDirections; ++k) {
    const AngleEntry& added = a[wrapDirection(k + kSmoothReach)];
    const AngleEntry& dropped = a[wrapDirection(k - kSmoothReach - 1)];
    for (int32_t i = 0; i < N; ++i) {
      sum[i] += added.*outlines[i].raw;
      sum[i] -= dropped.*outlines[i].raw;
      const double radius = sum[i] / kSmoothWidth;
      a[k].*outlines[i].smoothed = radius;
      const double x = radius * a[k].cosK;
      const double y = radius * a[k].sinK;
      if (k > 0) area[i] += 0.5 * std::fabs(previousY[i] * x - previousX[i] * y);
      previousX[i] = x;
      previousY[i] = y;
    }
  }
  for (int32_t i = 0; i < N; ++i) areas[i] = area[i];
}

#if defined(__SSE2__)
// smoothWithAreas<2> with the two outlines in the lanes of one register:
// each lane takes the same IEEE operations in the same order, and the two
// divisions of a direction are one instruction.
void smoothPairWithAreas(AngleEntry* a, const OutlineRadii* outlines, double* areas) {
  const auto radii = [outlines](const AngleEntry& e) {
    return _mm_set_pd(e.*outlines[1].raw, e.*outlines[0].raw);
  };
  __m128d sum = _mm_setzero_pd();
  for (int32_t d = -kSmoothReach - 1; d < kSmoothReach; ++d) sum = _mm_add_pd(sum, radii(a[wrapDirection(d)]));
  const __m128d width = _mm_set1_pd(kSmoothWidth);
  const __m128d half = _mm_set1_pd(0.5);
  const __m128d signBit = _mm_set1_pd(-0.0);
  __m128d area = _mm_setzero_pd();
  __m128d previousX = _mm_setzero_pd();
  __m128d previousY = _mm_setzero_pd();
  for (int32_t k = 0; k <= kDirections; ++k) {
    sum = _mm_add_pd(sum, radii(a[wrapDirection(k + kSmoothReach)]));
    sum = _mm_sub_pd(sum, radii(a[wrapDirection(k - kSmoothReach - 1)]));
    const __m128d radius = _mm_div_pd(sum, width);
    _mm_storel_pd(&(a[k].*outlines[0].smoothed), radius);
    _mm_storeh_pd(&(a[k].*outlines[1].smoothed), radius);
    const __m128d x = _mm_mul_pd(radius, _mm_set1_pd(a[k].cosK));
    const __m128d y = _mm_mul_pd(radius, _mm_set1_pd(a[k].sinK));
    if (k > 0) {
      const __m128d cross = _mm_sub_pd(_mm_mul_pd(previousY, x), _mm_mul_pd(previousX, y));
      area = _mm_add_pd(area, _mm_mul_pd(half, _mm_andnot_pd(signBit, cross)));
    }
    previousX = x;
    previousY = y;
  }
  _mm_storel_pd(&areas[0], area);
  _mm_storeh_pd(&areas[1], area);
}
#endif

}  // namespace

void smoothOutlinesWithAreas(AngleEntry* angleTable, const OutlineRadii* outlines, int32_t count, double* areas) {
  if (count == 2) {
#if defined(__SSE2__)
    smoothPairWithAreas(angleTable, outlines, areas);
#else
    smoothWithAreas<2>(angleTable, outlines, areas);
#endif
  } else if (count == 1) {
    smoothWithAreas<1>(angleTable, outlines, areas);
  }
}

OutlineMeasures measureOutline(const AngleEntry* angleTable, double AngleEntry::*radius) {
  double area = 0.0;
  double perimeter = 0.0;
  double previousX = angleTable[0].*radius * angleTable[0].cosK;
  double previousY = angleTable[0].*radius * angleTable[0].sinK;
  for (int32_t k = 1; k <= kDirections; ++k) {
    const double x = angleTable[k].*radius * angleTable[k].cosK;
    const double y = angleTable[k].*radius * angleTable[k].sinK;
    // One triangle of the fan around the origin.
    area += 0.5 * std::fabs(previousY * x - previousX * y);
    const double dx = x - previousX;
    const double dy = y - previousY;
    perimeter += std::sqrt(dx * dx + dy * dy);
    previousX = x;
    previousY = y;
  }
  return {area, perimeter, area * kFourPi / perimeter / perimeter};
}

namespace {

// The chords of each fan first, then their sums in direction order: only
// the sums run serially, side by side, and the square roots vectorise.
template <int32_t N>
__attribute__((always_inline)) inline void perimetersOf(const AngleEntry* a, const OutlineRadius* radius,
                                                       double* perimeters) {
  double chord[N][kDirections];
  for (int32_t i = 0; i < N; ++i) {
    double x[kDirections + 1];
    double y[kDirections + 1];
    for (int32_t k = 0; k <= kDirections; ++k) {
      x[k] = a[k].*radius[i] * a[k].cosK;
      y[k] = a[k].*radius[i] * a[k].sinK;
    }
    for (int32_t k = 1; k <= kDirections; ++k) {
      const double dx = x[k] - x[k - 1];
      const double dy = y[k] - y[k - 1];
      chord[i][k - 1] = std::sqrt(dx * dx + dy * dy);
    }
  }
  double sum[N];
  for (int32_t i = 0; i < N; ++i) sum[i] = 0.0;
  for (int32_t k = 0; k < kDirections; ++k) {
    for (int32_t i = 0; i < N; ++i) sum[i] += chord[i][k];
  }
  for (int32_t i = 0; i < N; ++i) perimeters[i] = sum[i];
}

template <int32_t N>
FOCUSTRACK_AVX2 void perimetersWide(const AngleEntry* a, const OutlineRadius* radius, double* perimeters) {
  perimetersOf<N>(a, radius, perimeters);
}

template <int32_t N>
void perimeters(const AngleEntry* a, const OutlineRadius* radius, double* out) {
  if (processorHasAvx2()) {
    perimetersWide<N>(a, radius, out);
  } else {
    perimetersOf<N>(a, radius, out);
  }
}

}  // namespace

double outlinePerimeter(const AngleEntry* angleTable, OutlineRadius radius) {
  double perimeter = 0.0;
  perimeters<1>(angleTable, &radius, &perimeter);
  return perimeter;
}

void outlinePerimeters(const AngleEntry* angleTable, OutlineRadius first, OutlineRadius second, double* out) {
  const OutlineRadius radius[2] = {first, second};
  perimeters<2>(angleTable, radius, out);
}

}  // namespace focustrack
