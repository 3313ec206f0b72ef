#include "contents/contents.h"

#include <cmath>
#include <cstring>
#include <limits>
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

constexpr double kAtAnyLevel = std::numeric_limits<double>::infinity();
constexpr double kAtNoLevel = -std::numeric_limits<double>::infinity();

// What one ray of a blob meets, read once for all its candidates and only
// as far as one of them needs: the running maximum, and so the fall-back
// test, is the same for all of them; only where a value first exceeds the
// level depends on the candidate.
struct BasinRay {
  const int32_t* offset;  // the path, from the seed
  int8_t count;           // pixels on the path
  int8_t read;            // values read so far
  bool rejecting;         // the pixel at `read` rejects (an edge pixel, a value below the seed)
  int8_t above;           // search state: where the candidate before ended this ray
  double runningMax;      // of the seed and the values read
  double highest;         // of the values read; not-a-number skipped
  bool falls[kRayStepsMax];        // falls more than kFallBack below the running maximum before it
  double highestAt[kRayStepsMax];  // highest of indices 0..n
};

struct Fit {
  const RayPaths& paths;
  const double* delta;
  const int32_t* edge;
  AngleEntry* angles;
  int32_t width;
  int32_t height;
  BasinRay* rays;        // the current blob's, kDirections of them
  // Ray k stops at once where it ended for the candidate before, with the end
  // and radius the fit holds for it, at a level below stayBelow[k].
  // Infinity: at any level (a fall ends the ray there); minus infinity: at
  // none (the fit's end is of another state, or the search would read on).
  // Kept apart from the rays' values, so that testing a ray that stays reads
  // one number. A ray taken not to stay is searched, and its search gives the
  // end it has: only a ray taken to stay must stay.
  double* stayBelow;
  int32_t seed;          // the current blob's
  double seedValue;
  double level;          // of the blob's candidate before; not a number at a new blob
  double rejectedLevel;  // lowest level at which the blob was rejected; not a number when none
  bool earlierValid;     // the candidate before was not rejected; its ray ends follow
  int8_t earlier[kDirections];
  int8_t ends[kDirections];
  // A candidate whose rays are ended and whose raw radii wait in scratchA to
  // be smoothed beside the next one's; -1: none.
  int32_t waiting;
};

void startRay(const RayPath& path, double seedValue, BasinRay& r) {
  r.offset = path.offset;
  r.count = static_cast<int8_t>(path.count);
  r.read = 0;
  r.rejecting = false;
  r.above = 0;
  r.runningMax = seedValue;
  r.highest = -std::numeric_limits<double>::infinity();
}

// Reads the next value; false when the path ends or the pixel rejects.
inline bool readNext(const Fit& fit, BasinRay& r) {
  const int32_t n = r.read;
  if (n == r.count || r.rejecting) return false;
  const int32_t q = fit.seed + r.offset[n];
  const double v = fit.delta[q];
  if (fit.edge[q] == kEdgePixel || v < fit.seedValue) {
    r.rejecting = true;
    return false;
  }
  r.falls[n] = v < r.runningMax - kFallBack;
  if (v > r.highest) r.highest = v;
  r.highestAt[n] = r.highest;
  if (v > r.runningMax) r.runningMax = v;
  r.read = static_cast<int8_t>(n + 1);
  return true;
}

// For direction k: the ray runs while values stay between the seed
// value and the level and fall at most kFallBack below the highest value met;
// it ends at the first value above the level or the first fall, whichever
// comes first. A ray whose budget ends first records the budget. Returns
// false when the candidate is rejected: the ray met the cell edge or a value
// below the seed before it ended. A higher level ends every ray at the same
// index or further out, so the search goes on from where it stopped.
bool endRay(Fit& fit, int32_t k, double level) {
  // Most rays of a candidate stop at once where they ended for the one
  // before, reading nothing: their end and radius stay.
  if (level < fit.stayBelow[k]) return true;
  BasinRay& r = fit.rays[k];
  int32_t n = r.above;
  while ((n < r.read || readNext(fit, r)) && !r.falls[n] && !(r.highestAt[n] > level)) ++n;
  r.above = static_cast<int8_t>(n);
  if (n == r.read && r.rejecting) {
    fit.stayBelow[k] = kAtNoLevel;
    return false;
  }
  fit.stayBelow[k] = n == r.read ? kAtNoLevel : r.falls[n] ? kAtAnyLevel : r.highestAt[n];
  const RayPath& path = fit.paths.direction[k];
  fit.angles[k].scratchB = n < path.count ? path.travelled[n] : kRayBudget;
  fit.ends[k] = static_cast<int8_t>(n);
  return true;
}

// A rejection of the same blob at a level at most as high rejects this
// candidate too, and nothing a rejected candidate writes is read again. A
// candidate whose rays end where those of the candidate before ended has its
// outline and score, and being later cannot beat it: both stop here.
bool endRays(Fit& fit, const Candidate& cand) {
  if (cand.level >= fit.rejectedLevel) return false;
  if (!(cand.level >= fit.level)) {
    for (int32_t k = 0; k < kDirections; ++k) {
      fit.rays[k].above = 0;
      fit.stayBelow[k] = kAtNoLevel;
    }
  }
  fit.level = cand.level;
  for (int32_t k = 0; k < kDirections; ++k) {
    if (!endRay(fit, k, cand.level)) {
      if (!(cand.level >= fit.rejectedLevel)) fit.rejectedLevel = cand.level;
      fit.earlierValid = false;
      return false;
    }
  }
  const bool same = fit.earlierValid && std::memcmp(fit.ends, fit.earlier, kDirections) == 0;
  std::memcpy(fit.earlier, fit.ends, kDirections);
  fit.earlierValid = true;
  return !same;
}

struct Point {
  double x;
  double y;
};

// Outline point k around the seed at (seedX, seedY).
inline Point outlinePoint(const AngleEntry& a, OutlineRadius radius, double seedX, double seedY) {
  return {a.*radius * a.cosK + seedX, a.*radius * a.sinK + seedY};
}

// The centre of the outline's bounding box.
Point outlineCentre(const Fit& fit, OutlineRadius radius, double seedX, double seedY) {
  double minX = fit.width;
  double minY = fit.height;
  double maxX = 0;
  double maxY = 0;
  for (int32_t k = 0; k < kDirections; ++k) {
    const Point p = outlinePoint(fit.angles[k], radius, seedX, seedY);
    if (p.x < minX) minX = p.x;
    if (p.x > maxX) maxX = p.x;
    if (p.y < minY) minY = p.y;
    if (p.y > maxY) maxY = p.y;
  }
  return {(maxX + minX) * 0.5, (maxY + minY) * 0.5};
}

double meanRadius(const Fit& fit, OutlineRadius radius, double seedX, double seedY, Point centre) {
  double sum = 0.0;
  for (int32_t k = 0; k < kDirections; ++k) {
    const Point p = outlinePoint(fit.angles[k], radius, seedX, seedY);
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

void keepBest(FrameBuffers& b, const Fit& fit, OutlineRadius smoothed, const Candidate& cand, double score,
              double radius) {
  BlobRecord& blob = b.blobTable[cand.blob];
  if (!(score > blob.vacuoleScore)) return;
  blob.vacuoleScore = score;
  blob.vacuoleCentre = cand.seed;
  blob.vacuoleArea = radius * radius * kPi;
  double* outline = b.vacuoleOutlines[cand.blob].radius;
  for (int32_t k = 0; k < kDirections; ++k) outline[k] = fit.angles[k].*smoothed;
}

// The score of candidate i from its smoothed radii and the area and the
// perimeter of the outline they make. A zero factor leaves the score 0 or
// not a number, and neither ever beats a kept score (0 or more), so the rest
// is skipped then.
void scoreCandidate(FrameBuffers& b, const Fit& fit, int32_t i, OutlineRadius smoothed, double area,
                    double perimeter) {
  const double circularity = area * kFourPi / perimeter / perimeter;
  const double circ = atLeastZero(circularity - kRoundFrom);
  if (circ == 0) return;
  const Candidate cand = fitCandidateAt(b, i);
  const double seedX = cand.seed % fit.width;
  const double seedY = cand.seed / fit.width;
  const Point centre = outlineCentre(fit, smoothed, seedX, seedY);
  const double radius = meanRadius(fit, smoothed, seedX, seedY, centre);
  const double a = atLeastZero(radius - kRadiusFrom);
  if (a == 0) return;
  const double contrast = atLeastZero(ringMean(fit, radius, centre) - cand.seedValue - kContrastFrom);
  keepBest(b, fit, smoothed, cand, circ * a * contrast, radius);
}

constexpr OutlineRadii kWaitingRadii{&AngleEntry::scratchA, &AngleEntry::scratchC};
constexpr OutlineRadii kCurrentRadii{&AngleEntry::scratchB, &AngleEntry::scratchD};

// Smoothing an outline is one long chain of dependent additions. Candidates
// are taken in twos: the first waits with its raw radii set aside until the
// second's rays are ended, then both are smoothed in one pass, their chains
// side by side, and scored in list order. A candidate's score depends only
// on its own radii, so the scores and the order they are kept in are those
// of candidates taken one at a time.
void fitCandidate(FrameBuffers& b, Fit& fit, int32_t i) {
  if (!endRays(fit, fitCandidateAt(b, i))) return;
  if (fit.waiting < 0) {
    for (int32_t k = 0; k < kDirections; ++k) fit.angles[k].scratchA = fit.angles[k].scratchB;
    fit.waiting = i;
    return;
  }
  const OutlineRadii both[2] = {kWaitingRadii, kCurrentRadii};
  double areas[2];
  smoothOutlinesWithAreas(fit.angles, both, 2, areas);
  double perimeters[2];
  outlinePerimeters(fit.angles, kWaitingRadii.smoothed, kCurrentRadii.smoothed, perimeters);
  scoreCandidate(b, fit, fit.waiting, kWaitingRadii.smoothed, areas[0], perimeters[0]);
  scoreCandidate(b, fit, i, kCurrentRadii.smoothed, areas[1], perimeters[1]);
  fit.waiting = -1;
}

// The candidate left waiting at the end of a cell, smoothed alone.
void fitWaiting(FrameBuffers& b, Fit& fit) {
  if (fit.waiting < 0) return;
  double area = 0.0;
  smoothOutlinesWithAreas(fit.angles, &kWaitingRadii, 1, &area);
  const double perimeter = outlinePerimeter(fit.angles, kWaitingRadii.smoothed);
  scoreCandidate(b, fit, fit.waiting, kWaitingRadii.smoothed, area, perimeter);
  fit.waiting = -1;
}

// The candidates first..end - 1 of one cell, blob by blob, each blob's rays
// read once. Blobs share nothing, and within a blob the list order stays.
void fitCell(FrameBuffers& b, Fit& fit, int32_t first, int32_t end,
             BlobOrder& order) {
  orderByBlob(b, first, end, order);
  int32_t blob = -1;
  for (const auto& [candidateBlob, i] : order.pairs) {
    if (candidateBlob != blob) {
      blob = candidateBlob;
      const Candidate cand = fitCandidateAt(b, i);
      fit.seed = cand.seed;
      fit.seedValue = cand.seedValue;
      for (int32_t k = 0; k < kDirections; ++k) {
        startRay(fit.paths.direction[k], cand.seedValue, fit.rays[k]);
        fit.stayBelow[k] = kAtNoLevel;
      }
      fit.level = std::numeric_limits<double>::quiet_NaN();
      fit.rejectedLevel = std::numeric_limits<double>::quiet_NaN();
      fit.earlierValid = false;
    }
    fitCandidate(b, fit, i);
  }
  fitWaiting(b, fit);
}

}  // namespace

// A blob lies in one cell, and the cells' candidates follow one another in
// the list: with threads, tasks take the cells one at a time, each task with
// its own scratch table. Nothing the fit writes is read by another cell, and
// the edge map stays as the flood left it.
void fitVacuoles(const RunSettings&, FrameBuffers& b) {
  RayPaths paths;
  traceRayPaths(b.angleTable.data(), b.width, paths);
  std::vector<int32_t> starts;
  const bool apart = cellRuns(b, &starts) && threadsAvailable();
  const int64_t runs = static_cast<int64_t>(starts.size()) - 1;
  const auto fitRuns = [&](auto next) {
    std::vector<AngleEntry> ownAngles;
    if (apart) ownAngles.assign(b.angleTable.data(), b.angleTable.data() + kAngleEntries);
    std::vector<BasinRay> rays(kDirections);
    std::vector<double> stayBelow(kDirections);
    Fit fit{paths, b.deltaMap.data(), b.edgeMap(), apart ? ownAngles.data() : b.angleTable.data(),
            b.width, b.height, rays.data(), stayBelow.data(), 0, 0.0, 0.0, 0.0, false, {}, {}, -1};
    BlobOrder order;
    for (int64_t c = next(); c < runs; c = next()) fitCell(b, fit, starts[c], starts[c + 1], order);
  };
  forClaimed(0, runs, apart, fitRuns);
}

}  // namespace focustrack
