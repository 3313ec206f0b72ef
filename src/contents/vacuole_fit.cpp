#include "contents/contents.h"

#include <cmath>
#include <memory>
#include <vector>

#include "contents/fit_candidates.h"
#include "contents/ray_march.h"
#include "frame/map_markers.h"
#include "base/angles.h"
#include "base/parallel.h"

namespace focustrack {

namespace {

constexpr double kFallBack = 0.1;         // drop below the highest value met that ends a ray
constexpr double kRoundFrom = 0.95;       // circularity above which an outline scores
constexpr double kRadiusFrom = 2.0;       // mean radius above which an outline scores
constexpr double kContrastFrom = 0.2;     // ring rise over the seed above which it scores

// The seed of a backward blob is its lowest pixel.
using Candidate = FitCandidate;

struct Fit {
  const RayPaths& paths;
  const double* delta;
  const int32_t* edge;
  AngleEntry* angles;
  int32_t width;
  int32_t height;
  RejectionMemory* rejections;
};

// For direction k: the ray runs while values stay between the seed
// value and the level and fall at most kFallBack below the highest value met.
// A ray whose budget ends first records the budget. Returns false when the
// candidate is rejected: the ray met the cell edge or a value below the seed.
bool walkRay(const Fit& fit, const Candidate& cand, int32_t k) {
  const RayPath& path = fit.paths.direction[k];
  double runningMax = cand.seedValue;
  for (int32_t n = 0; n < path.count; ++n) {
    const int32_t q = cand.seed + path.offset[n];
    if (fit.edge[q] == kEdgePixel) return false;
    const double v = fit.delta[q];
    if (v < cand.seedValue) return false;
    if (v > cand.level || v < runningMax - kFallBack) {
      fit.angles[k].scratchB = path.travelled[n];
      return true;
    }
    if (v > runningMax) runningMax = v;
  }
  fit.angles[k].scratchB = kRayBudget;
  return true;
}

// A rejection of the same blob at a level at most as high rejects this
// candidate too: all candidates of a blob share the seed and with it every
// ray's pixels and their running maximum, a higher level ends each ray at the
// same pixel or further out, and what rejects (an edge pixel, a value below
// the seed) does not change during the stage.
bool rejectedBefore(const Fit& fit, const Candidate& cand) {
  const Rejection* r = fit.rejections->find(cand.blob);
  return r != nullptr && cand.level >= r->level;
}

// Nothing a rejected candidate writes is read again, so its remaining
// directions are not walked.
bool walkRays(const Fit& fit, const Candidate& cand) {
  if (rejectedBefore(fit, cand)) return false;
  for (int32_t k = 0; k < kDirections; ++k) {
    if (!walkRay(fit, cand, k)) {
      fit.rejections->remember({cand.blob, 0, cand.level});
      return false;
    }
  }
  return true;
}

struct Point {
  double x;
  double y;
};

// Outline point k around the seed at (seedX, seedY).
inline Point outlinePoint(const AngleEntry& a, double seedX, double seedY) {
  return {a.scratchD * a.cosK + seedX, a.scratchD * a.sinK + seedY};
}

// The centre of the outline's bounding box.
Point outlineCentre(const Fit& fit, double seedX, double seedY) {
  double minX = fit.width;
  double minY = fit.height;
  double maxX = 0;
  double maxY = 0;
  for (int32_t k = 0; k < kDirections; ++k) {
    const Point p = outlinePoint(fit.angles[k], seedX, seedY);
    if (p.x < minX) minX = p.x;
    if (p.x > maxX) maxX = p.x;
    if (p.y < minY) minY = p.y;
    if (p.y > maxY) maxY = p.y;
  }
  return {(maxX + minX) * 0.5, (maxY + minY) * 0.5};
}

double meanRadius(const Fit& fit, double seedX, double seedY, Point centre) {
  double sum = 0.0;
  for (int32_t k = 0; k < kDirections; ++k) {
    const Point p = outlinePoint(fit.angles[k], seedX, seedY);
    const double dx = p.x - centre.x;
    const double dy = p.y - centre.y;
    sum += std::sqrt(dx * dx + dy * dy);
  }
  return sum / 120.0;
}

// Samples of a circle of the mean radius around the centre, each kept
// inside the image.
double ringMean(const Fit& fit, double radius, Point centre) {
  double sum = 0.0;
  for (int32_t k = 0; k < kDirections; ++k) {
    const AngleEntry& a = fit.angles[k];
    int32_t column = static_cast<int32_t>(radius * a.cosK + centre.x + 0.5);
    int32_t row = static_cast<int32_t>(radius * a.sinK + centre.y + 0.5);
    if (column < 0) column = 0;
    if (column > fit.width - 1) column = fit.width - 1;
    if (row < 0) row = 0;
    if (row > fit.height - 1) row = fit.height - 1;
    sum += fit.delta[static_cast<int64_t>(row) * fit.width + column];
  }
  return sum / 120.0;
}

// max(x, 0) that lets not-a-number pass.
double atLeastZero(double x) {
  if (x < 0) x = 0;
  return x;
}

void keepBest(FrameBuffers& b, const Fit& fit, const Candidate& cand, double score, double radius) {
  BlobRecord& blob = b.blobTable[cand.blob];
  if (!(score > blob.vacuoleScore)) return;
  blob.vacuoleScore = score;
  blob.vacuoleCentre = cand.seed;
  blob.vacuoleArea = radius * radius * kPi;
  for (int32_t k = 0; k < kDirections; ++k) blob.vacuoleRadius[k] = fit.angles[k].scratchD;
}

// A zero factor leaves the score 0 or not a number, and neither
// ever beats a kept score (0 or more), so the rest is skipped then.
void fitCandidate(FrameBuffers& b, const Fit& fit, int32_t i) {
  const Candidate cand = fitCandidateAt(b, i);
  if (!walkRays(fit, cand)) return;
  smoothOutline(fit.angles, &AngleEntry::scratchB, &AngleEntry::scratchD);
  const double circ = atLeastZero(measureOutline(fit.angles, &AngleEntry::scratchD).circularity - kRoundFrom);
  if (circ == 0) return;
  const double seedX = cand.seed % fit.width;
  const double seedY = cand.seed / fit.width;
  const Point centre = outlineCentre(fit, seedX, seedY);
  const double radius = meanRadius(fit, seedX, seedY, centre);
  const double a = atLeastZero(radius - kRadiusFrom);
  if (a == 0) return;
  const double contrast = atLeastZero(ringMean(fit, radius, centre) - cand.seedValue - kContrastFrom);
  keepBest(b, fit, cand, circ * a * contrast, radius);
}

}  // namespace

// A blob lies in one cell, and the cells' candidates follow one another in
// the list: with threads, runs of cells are tasks, each with its own scratch
// table and rejection memory. Nothing the fit writes is read by another
// cell, and the edge map stays as the flood left it.
void fitVacuoles(const RunSettings&, FrameBuffers& b) {
  RayPaths paths;
  traceRayPaths(b.angleTable.data(), b.width, paths);
  std::vector<int32_t> starts;
  const int32_t* candidates = b.candidatePixels();
  for (int32_t i = 0; i < b.candidateCount; ++i) {
    if (i == 0 || b.cellMap[candidates[i]] != b.cellMap[candidates[i - 1]]) starts.push_back(i);
  }
  starts.push_back(b.candidateCount);
  const bool apart = threadsAvailable();
  forRanges(0, static_cast<int64_t>(starts.size()) - 1, 1, [&](int64_t firstCell, int64_t endCell) {
    std::vector<AngleEntry> ownAngles;
    if (apart) ownAngles.assign(b.angleTable.data(), b.angleTable.data() + kAngleEntries);
    auto rejections = std::make_unique<RejectionMemory>();
    const Fit fit{paths,    b.deltaMap.data(), b.edgeMap(),     apart ? ownAngles.data() : b.angleTable.data(),
                  b.width,  b.height,          rejections.get()};
    // Candidates in list order: within a blob the lower level first, so of
    // equal scores the first one stays.
    for (int32_t i = starts[firstCell]; i < starts[endCell]; ++i) fitCandidate(b, fit, i);
  });
}

}  // namespace focustrack
