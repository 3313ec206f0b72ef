#include "contents/contents.h"

#include <cmath>

#include "contents/fit_candidates.h"
#include "contents/nucleus_score.h"
#include "contents/ray_march.h"
#include "frame/map_markers.h"

namespace focustrack {

namespace {

using namespace nucleus;

// The seed of a forward blob is its highest pixel.
struct Candidate : FitCandidate {
  int32_t cell;
  int32_t innerStamp;  // edgeMap mark of the nucleolus pixels
  int32_t outerStamp;  // edgeMap mark of the ring pixels
};

// Where every ray of the current candidate ended: the index on its path of
// the pixel that ended the nucleolus phase and of the one that ended the
// nucleus phase; the path length when the budget ended the phase.
struct RayEnds {
  int8_t inner[kDirections];
  int8_t outer[kDirections];
};

struct Fit {
  const FrameBuffers& b;
  const RayPaths& paths;
  const double* delta;
  int32_t* edge;
  AngleEntry* angles;
  double riseTolerance;
  RayEnds* ends;
  RejectionMemory* rejections;
};

Candidate setUp(const FrameBuffers& b, int32_t i) {
  const FitCandidate base = fitCandidateAt(b, i);
  return {base, b.cellMap[base.pixel], i, i + b.candidateCount + kOuterStampGap};
}

// For direction k: the nucleolus phase runs while values stay at or
// above the level and rise at most kInnerRise over the lowest value met; the
// pixel that ends it is tested again by the nucleus phase. A ray whose budget
// ends first records the budget for the phase it is in and the phases after
// it. Returns false when the ray met the cell edge, with that pixel.
//
// The walk only decides; the stamps of the pixels it passed are written by
// stampRays, for the candidates whose means are needed. No walk reads a
// stamp: it looks for -2 only, and a stamp is never -2.
bool walkRay(const Fit& fit, const Candidate& cand, int32_t k, int32_t* edgePixel) {
  const RayPath& path = fit.paths.direction[k];
  AngleEntry& slot = fit.angles[k];
  const double lowest = cand.level - kOuterDrop;
  double runningMin = cand.seedValue;
  int32_t n = 0;
  for (; n < path.count; ++n) {
    const int32_t q = cand.seed + path.offset[n];
    if (fit.edge[q] == kEdgePixel) {
      *edgePixel = q;
      return false;
    }
    const double v = fit.delta[q];
    if (v < cand.level || v > runningMin + kInnerRise) break;
    if (v < runningMin) runningMin = v;
  }
  fit.ends->inner[k] = static_cast<int8_t>(n);
  slot.scratchB = n < path.count ? path.travelled[n] : kRayBudget;
  // The pixel that ended the nucleolus is tested again, without a second
  // edge test.
  for (bool retest = n < path.count; n < path.count; ++n, retest = false) {
    const int32_t q = cand.seed + path.offset[n];
    if (!retest && fit.edge[q] == kEdgePixel) {
      *edgePixel = q;
      return false;
    }
    const double v = fit.delta[q];
    if (v < lowest || v > runningMin + fit.riseTolerance) break;
    if (v < runningMin) runningMin = v;
  }
  fit.ends->outer[k] = static_cast<int8_t>(n);
  slot.scratchA = n < path.count ? path.travelled[n] : kRayBudget;
  return true;
}

// A rejection of the same blob at a level at least as high, by an edge pixel
// that is still one, rejects this candidate too: all candidates of a blob
// share the seed and with it every ray's pixels and their running minimum,
// and at a lower level each phase ends at the same pixel or further out, so
// every ray reaches at least as far as it did then.
bool rejectedBefore(const Fit& fit, const Candidate& cand) {
  const Rejection* r = fit.rejections->find(cand.blob);
  return r != nullptr && cand.level <= r->level && fit.edge[r->edgePixel] == kEdgePixel;
}

// The seed is stamped before the first ray, as the walk of every
// direction does; it is the only pixel whose -2 a stamp can replace. A
// rejected candidate's remaining directions are not walked: later candidates
// look only for their own stamps and for -2, and read no scratch value a
// rejected candidate left.
bool walkRays(const Fit& fit, const Candidate& cand) {
  fit.edge[cand.seed] = cand.innerStamp;
  if (rejectedBefore(fit, cand)) return false;
  for (int32_t k = 0; k < kDirections; ++k) {
    int32_t edgePixel = 0;
    if (!walkRay(fit, cand, k, &edgePixel)) {
      fit.rejections->remember({cand.blob, edgePixel, cand.level});
      return false;
    }
  }
  return true;
}

// The stamps: every pixel a ray passed in the nucleolus phase gets
// the inner stamp, every one it passed in the nucleus phase the outer stamp,
// directions in order, so a pixel entered by several rays keeps the stamp of
// the last one.
void stampRays(const Fit& fit, const Candidate& cand) {
  for (int32_t k = 0; k < kDirections; ++k) {
    const RayPath& path = fit.paths.direction[k];
    const int32_t inner = fit.ends->inner[k];
    const int32_t outer = fit.ends->outer[k];
    int32_t n = 0;
    for (; n < inner; ++n) fit.edge[cand.seed + path.offset[n]] = cand.innerStamp;
    for (; n < outer; ++n) fit.edge[cand.seed + path.offset[n]] = cand.outerStamp;
  }
}

Outlines measureOutlines(AngleEntry* angles) {
  smoothOutline(angles, &AngleEntry::scratchB, &AngleEntry::scratchD);
  const OutlineMeasures inner = measureOutline(angles, &AngleEntry::scratchD);
  smoothOutline(angles, &AngleEntry::scratchA, &AngleEntry::scratchC);
  const OutlineMeasures outer = measureOutline(angles, &AngleEntry::scratchC);
  return {inner, outer};
}

// Means in the cell's list order. False when no pixel carries the
// outer stamp.
bool meanValues(const Fit& fit, const Candidate& cand, double* innerMean, double* outerMean) {
  const CellRecord& cell = fit.b.currentCells[cand.cell];
  const int32_t* list = fit.b.cellPixels.data() + cell.pixelStart;
  double innerSum = 0.0;
  double outerSum = 0.0;
  int32_t innerCount = 0;
  int32_t outerCount = 0;
  for (int32_t j = 0; j < cell.area; ++j) {
    const int32_t q = list[j];
    const int32_t stamp = fit.edge[q];
    if (stamp == cand.innerStamp) {
      innerSum += fit.delta[q];
      ++innerCount;
    } else if (stamp == cand.outerStamp) {
      outerSum += fit.delta[q];
      ++outerCount;
    }
  }
  if (outerCount == 0) return false;
  *innerMean = innerSum / innerCount;
  *outerMean = outerSum / outerCount;
  return true;
}

void keepBest(FrameBuffers& b, const Fit& fit, const Candidate& cand, double score, const Outlines& o) {
  CellRecord& cell = b.currentCells[cand.cell];
  if (!(score > cell.nucleusValue)) return;
  storeNucleus(cell, score, o, cand.seed, fit.angles);
}

void fitCandidate(FrameBuffers& b, const Fit& fit, int32_t i) {
  const Candidate cand = setUp(b, i);
  if (!walkRays(fit, cand)) return;
  const Outlines outlines = measureOutlines(fit.angles);
  const ShapeFactors shape = shapeFactors(outlines);
  // The contrast factor is at most 1 and every factor is at least 0, so with
  // rounding monotone in each factor the score cannot exceed leading x f6.
  // When that bound cannot beat the cell's best, the stamps and the mean pass
  // are skipped (a bound that is not a number compares false and goes on).
  if (shape.leading * shape.innerSize <= b.currentCells[cand.cell].nucleusValue) return;
  stampRays(fit, cand);
  double innerMean = 0.0;
  double outerMean = 0.0;
  if (!meanValues(fit, cand, &innerMean, &outerMean)) return;
  const double f5 = contrastFactor(innerMean, outerMean);
  keepBest(b, fit, cand, shape.leading * f5 * shape.innerSize, outlines);
}

// A seed on a cell edge is the only pixel whose edge mark a candidate
// replaces (with its stamp), and the only way a ray gets out of its cell.
bool seedOnCellEdge(const FrameBuffers& b) {
  const int32_t* edge = b.edgeMap();
  for (int32_t i = 0; i < b.candidateCount; ++i) {
    if (edge[fitCandidateAt(b, i).seed] == kEdgePixel) return true;
  }
  return false;
}

}  // namespace

void fitNucleiByWalking(const RunSettings& settings, FrameBuffers& b) {
  RayPaths paths;
  traceRayPaths(b.angleTable.data(), b.width, paths);
  RayEnds ends;
  RejectionMemory rejections;
  const Fit fit{b,     paths, b.deltaMap.data(), b.edgeMap(), b.angleTable.data(), settings.riseTolerance,
                &ends, &rejections};
  // Candidates in list order: within a cell the higher level first, so of
  // equal scores the first one stays.
  for (int32_t i = 0; i < b.candidateCount; ++i) fitCandidate(b, fit, i);
}

void fitNuclei(const RunSettings& settings, FrameBuffers& b) {
  if (seedOnCellEdge(b)) {
    fitNucleiByWalking(settings, b);
  } else {
    fitNucleiByProfiles(settings, b);
  }
}

}  // namespace focustrack
