// What both ways of fitting nuclei share: the phase limits of the rays, the
// score factors, and the cell's best candidate so far. The fits in
// nucleus_fit.cpp walk every candidate's rays in list order; those in
// nucleus_profiles.cpp read each blob's rays once and take its candidates
// together.
#pragma once

#include <cmath>
#include <cstdint>

#include "contents/ray_march.h"
#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

namespace nucleus {

constexpr int32_t kOuterStampGap = 10;    // keeps outer stamps clear of every inner stamp
constexpr double kInnerRise = 0.1;        // rise over the running minimum that ends the nucleolus
constexpr double kOuterDrop = 0.2;        // depth below the level that ends the nucleus

// Score factors, each clamped to 0..1.
constexpr double kRingShareFull = 0.3;    // f1 is 1 when the nucleolus covers 30 % or less
constexpr double kRingShareSpan = 0.4;    // ... and 0 from 70 % on
constexpr double kInnerRoundFrom = 0.85;  // f2: nucleolus circularity where it starts to count
constexpr double kInnerRoundSpan = 0.15;
constexpr double kOuterRoundFrom = 0.6;   // f3: nucleus circularity where it starts to count
constexpr double kOuterRoundGain = 4.0;   // ... full at 0.85
constexpr double kOuterSizeOffset = 12.0; // f4: half credit at area 0, full from area 144
constexpr double kOuterSizeSpan = 24.0;
constexpr double kContrastOffset = 0.2;   // f5: nucleolus mean against nucleus mean, -0.2 .. 0.2
constexpr double kContrastSpan = 0.4;
constexpr double kInnerSizeOffset = 5.5;  // f6: half credit at area 0, full from area 30.25
constexpr double kInnerSizeSpan = 11.0;

// Below 0 becomes 0, above 1 becomes 1; not-a-number passes unchanged.
inline double clampUnit(double x) {
  if (x < 0) x = 0;
  if (x > 1) x = 1;
  return x;
}

struct Outlines {
  OutlineMeasures inner;
  OutlineMeasures outer;
};

// Without the contrast: the product f2 x f1 x f3 x f4, and f6.
struct ShapeFactors {
  double leading;
  double innerSize;
};

inline double ringShare(const Outlines& o) {
  return clampUnit((1 - o.inner.area / o.outer.area - kRingShareFull) / kRingShareSpan);
}
inline double innerRoundness(const Outlines& o) {
  return clampUnit((o.inner.circularity - kInnerRoundFrom) / kInnerRoundSpan);
}
inline double outerRoundness(const Outlines& o) {
  return clampUnit((o.outer.circularity - kOuterRoundFrom) * kOuterRoundGain);
}

inline ShapeFactors shapeFactors(const Outlines& o) {
  const double f1 = ringShare(o);
  const double f2 = innerRoundness(o);
  const double f3 = outerRoundness(o);
  const double f4 = clampUnit((std::sqrt(o.outer.area) + kOuterSizeOffset) / kOuterSizeSpan);
  const double f6 = clampUnit((std::sqrt(o.inner.area) + kInnerSizeOffset) / kInnerSizeSpan);
  return {f2 * f1 * f3 * f4, f6};
}

inline double contrastFactor(double innerMean, double outerMean) {
  return clampUnit((innerMean - outerMean + kContrastOffset) / kContrastSpan);
}

// Stores a winning candidate in the cell: score, areas, origin, and the
// smoothed nucleus radii (scratchC of `angles`, directions 0..120).
inline void storeNucleus(CellRecord& cell, double score, const Outlines& o, int32_t seed,
                         const AngleEntry* angles) {
  cell.nucleusValue = score;
  cell.nucleusArea = o.outer.area;
  cell.nucleoliArea = o.inner.area;
  cell.nucleusCentre = seed;
  for (int32_t k = 0; k <= kDirections; ++k) cell.nucleusRadius[k] = angles[k].scratchC;
}

}  // namespace nucleus

// The fits one by one in candidate order, every ray walked over the edge map
// as it changes: a candidate stamps its seed, and a seed on a cell edge stops
// being an edge for the candidates after it. Used for frames where a seed
// lies on a cell edge.
void fitNucleiByWalking(const RunSettings& settings, FrameBuffers& buffers);

// The fits blob by blob, where no seed lies on a cell edge: then no ray
// leaves its cell and the edge map keeps its edges, so the cells are
// independent; with threads they run as tasks. Same results as the walk.
void fitNucleiByProfiles(const RunSettings& settings, FrameBuffers& buffers);

}  // namespace focustrack
