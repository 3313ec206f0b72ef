#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/parallel.h"
#include "contents/contents.h"
#include "contents/fit_candidates.h"
#include "contents/nucleus_score.h"
#include "frame/map_markers.h"

namespace focustrack {

namespace {

using namespace nucleus;

// What one ray of a blob meets, read once for all its candidates and only
// as far as one of them needs. A candidate's level only decides where along
// these values each phase ends: the running minimum, and so every rise test,
// is the same for all of them. The candidates of a blob come from its
// highest level down, and a lower level ends each phase at the same pixel or
// further out, so the searches go on from where the candidate before
// stopped.
struct RayProfile {
  const int32_t* offset;  // the path, from the seed
  int8_t count;           // pixels on the path
  int8_t read;            // values read so far
  bool edge;              // the pixel at `read` is an edge pixel: nothing more to read
  int8_t innerEnd;        // search state: where the candidate before ended its nucleolus
  int8_t outerEnd;        // ... and its nucleus
  double runningMin;      // of the seed and the values read
  double lowest;          // of the values read; not-a-number skipped
  bool innerRise[kRayStepsMax];   // rises more than kInnerRise over the running minimum before it
  bool outerRise[kRayStepsMax];   // rises more than the tolerance
  double lowestAt[kRayStepsMax];  // lowest of indices 0..n
};

// Ray k stays where it stands, with the ends and radii the worker holds for
// it, at a level above stayAbove[k] whose nucleus level (kOuterDrop lower)
// is above nucleusStayAbove[k]. Minus infinity: at any level (a rise ends
// the phase there); infinity: at none (the worker's ends are of another
// state, or a search would read on). Kept apart from the rays' values, so
// that testing a ray that stays reads two numbers. A ray that is taken not
// to stay is searched, and its search gives the ends it has: only a ray taken
// to stay must stay.
struct BlobProfile {
  RayProfile ray[kDirections];
  double stayAbove[kDirections];
  double nucleusStayAbove[kDirections];
};

constexpr double kAtAnyLevel = -std::numeric_limits<double>::infinity();
constexpr double kAtNoLevel = std::numeric_limits<double>::infinity();

void forgetStay(BlobProfile& p, int32_t k) {
  p.stayAbove[k] = kAtNoLevel;
  p.nucleusStayAbove[k] = kAtNoLevel;
}

// Both searches of ray k would stop at once where they stand while the values
// at both ends are read already and each ends its phase at the level:
// phaseEnds would then give the ends it gave last time.
void noteStay(BlobProfile& p, int32_t k) {
  const RayProfile& r = p.ray[k];
  const int32_t n = r.innerEnd;
  const int32_t m = r.outerEnd;
  if (n < r.read && m < r.read) {
    p.stayAbove[k] = r.innerRise[n] ? kAtAnyLevel : r.lowestAt[n];
    p.nucleusStayAbove[k] = r.outerRise[m] ? kAtAnyLevel : r.lowestAt[m];
  } else {
    forgetStay(p, k);
  }
}

// A level that is not a number, or minus infinity, stays nowhere.
inline bool stays(const BlobProfile& p, int32_t k, double level, double lowestLevel) {
  return level > p.stayAbove[k] && lowestLevel > p.nucleusStayAbove[k];
}

struct RayReader {
  const double* delta;
  const int32_t* edge;
  int32_t seed;
  double riseTolerance;
};

void startRay(const RayPath& path, double seedValue, RayProfile& r) {
  r.offset = path.offset;
  r.count = static_cast<int8_t>(path.count);
  r.read = 0;
  r.edge = false;
  r.innerEnd = 0;
  r.outerEnd = 0;
  r.runningMin = seedValue;
  r.lowest = std::numeric_limits<double>::infinity();
}

// Reads the next value; false when the path or an edge pixel ends the ray.
inline bool readNext(const RayReader& reader, RayProfile& r) {
  const int32_t n = r.read;
  if (n == r.count || r.edge) return false;
  const int32_t q = reader.seed + r.offset[n];
  if (reader.edge[q] == kEdgePixel) {
    r.edge = true;
    return false;
  }
  const double v = reader.delta[q];
  const double runningMin = r.runningMin;
  r.innerRise[n] = v > runningMin + kInnerRise;
  r.outerRise[n] = v > runningMin + reader.riseTolerance;
  r.lowest = v < r.lowest ? v : r.lowest;
  r.lowestAt[n] = r.lowest;
  r.runningMin = v < runningMin ? v : runningMin;
  r.read = static_cast<int8_t>(n + 1);
  return true;
}

// Where the two phases of a ray end for one candidate, as the walk would
// find them; false when the walk reaches an edge pixel first. The nucleolus
// ends at the first value below the level or rising too far; the nucleus at
// the first, from there on, below level - kOuterDrop or rising too far (no
// value before the nucleolus end lies below the level, so the running
// lowest value serves both).
inline bool phaseEnds(const RayReader& reader, RayProfile& r, double level, double lowestLevel, int32_t* inner,
                      int32_t* outer) {
  int32_t n = r.innerEnd;
  while ((n < r.read || readNext(reader, r)) && !r.innerRise[n] && !(r.lowestAt[n] < level)) ++n;
  r.innerEnd = static_cast<int8_t>(n);
  if (n == r.read) {  // no value ended the nucleolus
    if (r.edge) return false;
    *inner = *outer = r.count;
    return true;
  }
  int32_t m = std::max<int32_t>(r.outerEnd, n);
  while ((m < r.read || readNext(reader, r)) && !r.outerRise[m] && !(r.lowestAt[m] < lowestLevel)) ++m;
  r.outerEnd = static_cast<int8_t>(m);
  if (m == r.read) {
    if (r.edge) return false;
    m = r.count;
  }
  *inner = n;
  *outer = m;
  return true;
}

struct Best {
  double value;
  int32_t candidate;  // -1: the value the cell had before the stage
};

// One outline of the candidate before, measured as far as it was needed;
// its smoothed radii stay in the scratch table (scratchD inner, scratchC
// outer), which only the smoothing of that outline writes.
struct MeasuredOutline {
  bool known;           // smoothed, area measured
  bool perimeterKnown;  // perimeter and circularity too
  OutlineMeasures m;
};

// The pixels one candidate stamps, gathered to sum their values in the
// order of the cell's list without walking the list: every pixel of a cell
// knows its place in the list (the flood queue holds it during the stage),
// and the places are marked in a byte map read from the lowest up, which
// takes a pixel met by several rays once. A mark is a plain store, so the
// many rays through the pixels near the seed wait for nothing.
struct StampedPixels {
  std::vector<uint8_t> marks;  // kMarked or 0, one per place in the cell's list, whole groups of 64
};

constexpr uint8_t kMarked = 0x80;

// Bit j: place j of the 64 at `marks` is marked.
inline uint64_t markedPlaces(const uint8_t* marks) {
  uint64_t set = 0;
#if defined(__SSE2__)
  for (int32_t j = 0; j < 4; ++j) {
    const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i*>(marks + 16 * j));
    set |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(group))} << (16 * j);
  }
#else
  for (int32_t j = 0; j < 64; ++j) set |= uint64_t{marks[j] == kMarked} << j;
#endif
  return set;
}

// Everything one task needs: shared inputs, and its own scratch.
struct Worker {
  const RunSettings& settings;
  FrameBuffers& b;
  const RayPaths& paths;
  AngleEntry* angles;
  BlobProfile* profile;
  RayReader reader;
  double level;  // of the blob's candidate before; not a number at a new blob
  int8_t inner[kDirections];
  int8_t outer[kDirections];
  // Ray ends of the blob's candidate before, when it was not rejected.
  bool earlierValid;
  double rejectedLevel;  // highest level at which the blob was rejected; not a number when none
  int8_t earlierInner[kDirections];
  int8_t earlierOuter[kDirections];
  MeasuredOutline innerOutline;
  MeasuredOutline outerOutline;
  StampedPixels* stamped;
};

// An outline is a function of its side's ray ends: where they are those of
// the blob's candidate just before, so is its outline. When both are, the
// candidate stamps the same pixels and gets the same score: being later in
// the list, it cannot win (true).
bool sameAsEarlier(Worker& w) {
  const bool innerSame = w.earlierValid && std::memcmp(w.inner, w.earlierInner, kDirections) == 0;
  const bool outerSame = w.earlierValid && std::memcmp(w.outer, w.earlierOuter, kDirections) == 0;
  if (!innerSame) w.innerOutline.known = false;
  if (!outerSame) w.outerOutline.known = false;
  std::memcpy(w.earlierInner, w.inner, kDirections);
  std::memcpy(w.earlierOuter, w.outer, kDirections);
  w.earlierValid = true;
  return innerSame && outerSame;
}

// Ends ray k for the candidate and keeps its ends and radii; false when it
// runs into an edge pixel first.
bool traceRay(Worker& w, int32_t k, double level, double lowestLevel) {
  RayProfile& r = w.profile->ray[k];
  const RayPath& path = w.paths.direction[k];
  int32_t nIn = 0;
  int32_t nOut = 0;
  if (!phaseEnds(w.reader, r, level, lowestLevel, &nIn, &nOut)) {
    forgetStay(*w.profile, k);
    return false;
  }
  noteStay(*w.profile, k);
  w.inner[k] = static_cast<int8_t>(nIn);
  w.outer[k] = static_cast<int8_t>(nOut);
  w.angles[k].scratchB = nIn < path.count ? path.travelled[nIn] : kRayBudget;
  w.angles[k].scratchA = nOut < path.count ? path.travelled[nOut] : kRayBudget;
  return true;
}

// A ray that runs into an edge pixel at one level does so at every lower
// level of the blob: a rejection at a level at least as high rejects the
// candidate at once.
bool raysOf(Worker& w, double level, double lowestLevel) {
  if (level <= w.rejectedLevel) {
    w.earlierValid = false;
    return false;
  }
  // A level above the one before (or not a number) starts the searches over.
  if (!(level <= w.level)) {
    for (int32_t k = 0; k < kDirections; ++k) {
      w.profile->ray[k].innerEnd = w.profile->ray[k].outerEnd = 0;
      forgetStay(*w.profile, k);
    }
  }
  w.level = level;
  for (int32_t k = 0; k < kDirections; ++k) {
    // Most rays of a candidate end where they ended for the one before.
    if (stays(*w.profile, k, level, lowestLevel)) continue;
    if (!traceRay(w, k, level, lowestLevel)) {
      if (!(w.rejectedLevel >= level)) w.rejectedLevel = level;
      w.earlierValid = false;
      return false;
    }
  }
  return true;
}

// The outline measures of measureOutline in two steps, areas first: a ring
// share of 0 (or not a number) ends the candidate before any square root.
void completeMeasures(OutlineMeasures& m, double perimeter) {
  m.perimeter = perimeter;
  m.circularity = m.area * kFourPi / perimeter / perimeter;
}

// Smooths the outlines not known yet and measures their areas, both in one
// pass where both are new.
void smoothAndMeasureAreas(Worker& w) {
  OutlineRadii radii[2];
  MeasuredOutline* measured[2];
  int32_t count = 0;
  if (!w.innerOutline.known) {
    radii[count] = {&AngleEntry::scratchB, &AngleEntry::scratchD};
    measured[count++] = &w.innerOutline;
  }
  if (!w.outerOutline.known) {
    radii[count] = {&AngleEntry::scratchA, &AngleEntry::scratchC};
    measured[count++] = &w.outerOutline;
  }
  double areas[2];
  smoothOutlinesWithAreas(w.angles, radii, count, areas);
  for (int32_t i = 0; i < count; ++i) *measured[i] = {true, false, {areas[i], 0.0, 0.0}};
}

void measurePerimeter(const AngleEntry* angles, double AngleEntry::*smoothed, MeasuredOutline& outline) {
  if (outline.perimeterKnown) return;
  completeMeasures(outline.m, outlinePerimeter(angles, smoothed));
  outline.perimeterKnown = true;
}

// A factor of 0 or not a number makes the score 0 or not a number, which
// never beats a kept value (0 or more): such candidates stop here.
bool measureUnlessHopeless(Worker& w, Outlines* o) {
  smoothAndMeasureAreas(w);
  o->inner = w.innerOutline.m;
  o->outer = w.outerOutline.m;
  if (!(ringShare(*o) > 0)) return false;
  measurePerimeter(w.angles, &AngleEntry::scratchD, w.innerOutline);
  o->inner = w.innerOutline.m;
  if (!(innerRoundness(*o) > 0)) return false;
  measurePerimeter(w.angles, &AngleEntry::scratchC, w.outerOutline);
  o->outer = w.outerOutline.m;
  return outerRoundness(*o) > 0;
}

struct PlaceSpan {
  int32_t lowest;
  int32_t highest;
};

// Stamps the candidate's pixels and marks their places in the cell's list;
// answers the lowest and the highest place marked.
PlaceSpan stampAndMark(Worker& w, int32_t seed, int32_t innerStamp, int32_t outerStamp) {
  int32_t* edge = w.b.edgeMap();
  uint8_t* marks = w.stamped->marks.data();
  const int32_t* listPlace = w.b.floodQueue.data();
  int32_t low = listPlace[seed];
  int32_t high = low;
  const auto stamp = [&](int32_t q, int32_t mark) {
    edge[q] = mark;
    const int32_t place = listPlace[q];
    marks[place] = kMarked;
    low = std::min(low, place);
    high = std::max(high, place);
  };
  stamp(seed, innerStamp);
  for (int32_t k = 0; k < kDirections; ++k) {
    const int32_t* offset = w.paths.direction[k].offset;
    int32_t n = 0;
    for (; n < w.inner[k]; ++n) stamp(seed + offset[n], innerStamp);
    for (; n < w.outer[k]; ++n) stamp(seed + offset[n], outerStamp);
  }
  return {low, high};
}

// Stamps the candidate's pixels, then takes the means over them in the
// order of the cell's list, as a pass over the whole list would add them.
// False when no pixel carries the outer stamp.
bool stampedMeans(Worker& w, const CellRecord& cell, int32_t seed, int32_t innerStamp, int32_t outerStamp,
                  double* innerMean, double* outerMean) {
  std::vector<uint8_t>& marks = w.stamped->marks;
  const size_t groups = static_cast<size_t>(cell.area) / 64 + 1;
  if (marks.size() < groups * 64) marks.resize(groups * 64, 0);
  const PlaceSpan span = stampAndMark(w, seed, innerStamp, outerStamp);
  const int32_t* list = w.b.cellPixels.data() + cell.pixelStart;
  const int32_t* edge = w.b.edgeMap();
  const double* delta = w.b.deltaMap.data();
  double innerSum = 0.0;
  double outerSum = 0.0;
  int32_t innerCount = 0;
  int32_t outerCount = 0;
  for (int32_t group = span.lowest >> 6; group <= (span.highest >> 6); ++group) {
    uint8_t* groupMarks = marks.data() + static_cast<size_t>(group) * 64;
    const uint64_t marked = markedPlaces(groupMarks);
    std::memset(groupMarks, 0, 64);
    for (uint64_t set = marked; set != 0; set &= set - 1) {
      const int32_t q = list[group * 64 + __builtin_ctzll(set)];
      if (edge[q] == innerStamp) {
        innerSum += delta[q];
        ++innerCount;
      } else if (edge[q] == outerStamp) {
        outerSum += delta[q];
        ++outerCount;
      }
    }
  }
  if (outerCount == 0) return false;
  *innerMean = innerSum / innerCount;
  *outerMean = outerSum / outerCount;
  return true;
}

// Candidates of one blob, taken out of list order: a candidate replaces the
// best when it scores higher, or equal and earlier in the list, which keeps
// what the list order keeps (the first of the highest scores).
bool beats(double score, int32_t i, const Best& best) {
  return score > best.value || (best.candidate >= 0 && score == best.value && i < best.candidate);
}

void fitCandidate(Worker& w, int32_t i, Best& best) {
  const FitCandidate cand = fitCandidateAt(w.b, i);
  if (!raysOf(w, cand.level, cand.level - kOuterDrop) || sameAsEarlier(w)) return;
  Outlines outlines{};
  if (!measureUnlessHopeless(w, &outlines)) return;
  const ShapeFactors shape = shapeFactors(outlines);
  // The contrast factor is at most 1 and every factor at least 0, so with
  // rounding monotone in each factor the score cannot exceed leading x f6;
  // when that bound cannot win, neither can the score, and the stamps and the
  // mean pass are skipped. (A bound that is not a number makes the score not
  // a number too.)
  if (!beats(shape.leading * shape.innerSize, i, best)) return;
  const int32_t innerStamp = i;
  const int32_t outerStamp = i + w.b.candidateCount + kOuterStampGap;
  const CellRecord& cell = w.b.currentCells[w.b.cellMap[cand.pixel]];
  double innerMean = 0.0;
  double outerMean = 0.0;
  if (!stampedMeans(w, cell, cand.seed, innerStamp, outerStamp, &innerMean, &outerMean)) return;
  const double score = shape.leading * contrastFactor(innerMean, outerMean) * shape.innerSize;
  if (!beats(score, i, best)) return;
  best = {score, i};
  storeNucleus(w.b.currentCells[w.b.cellMap[cand.pixel]], score, outlines, cand.seed, w.angles);
}

// The candidates first..end - 1 all belong to one cell: blob by blob, each
// blob's rays read once.
void fitCell(Worker& w, int32_t first, int32_t end, BlobOrder& order) {
  const int32_t* candidates = w.b.candidatePixels();
  orderByBlob(w.b, first, end, order);
  const CellRecord& cell = w.b.currentCells[w.b.cellMap[candidates[first]]];
  Best best{cell.nucleusValue, -1};
  int32_t blob = -1;
  for (const auto& [candidateBlob, i] : order.pairs) {
    if (candidateBlob != blob) {
      blob = candidateBlob;
      const FitCandidate cand = fitCandidateAt(w.b, i);
      w.reader.seed = cand.seed;
      for (int32_t k = 0; k < kDirections; ++k) {
        startRay(w.paths.direction[k], cand.seedValue, w.profile->ray[k]);
        forgetStay(*w.profile, k);
      }
      w.level = std::numeric_limits<double>::quiet_NaN();
      w.earlierValid = false;
      w.rejectedLevel = std::numeric_limits<double>::quiet_NaN();
    }
    fitCandidate(w, i, best);
  }
}

// Every pixel of cell c gets its place in the cell's list.
void placeInList(FrameBuffers& b, int32_t c) {
  const CellRecord& cell = b.currentCells[c];
  const int32_t* list = b.cellPixels.data() + cell.pixelStart;
  int32_t* listPlace = b.floodQueue.data();
  for (int32_t j = 0; j < cell.area; ++j) listPlace[list[j]] = j;
}

}  // namespace

void fitNucleiByProfiles(const RunSettings& settings, FrameBuffers& b) {
  RayPaths paths;
  traceRayPaths(b.angleTable.data(), b.width, paths);
  std::vector<int32_t> starts;
  const bool apart = cellRuns(b, &starts) && threadsAvailable();
  const int32_t* candidates = b.candidatePixels();
  const int64_t runs = static_cast<int64_t>(starts.size()) - 1;
  const auto fitRuns = [&](auto next) {
    std::vector<AngleEntry> ownAngles;
    if (apart) ownAngles.assign(b.angleTable.data(), b.angleTable.data() + kAngleEntries);
    auto profile = std::make_unique<BlobProfile>();
    auto stamped = std::make_unique<StampedPixels>();
    const RayReader reader{b.deltaMap.data(), b.edgeMap(), 0, settings.riseTolerance};
    Worker w{settings, b,  paths, apart ? ownAngles.data() : b.angleTable.data(), profile.get(), reader, 0.0, {}, {},
             false,    0.0, {},    {},    {},    {},    stamped.get()};
    BlobOrder order;
    for (int64_t c = next(); c < runs; c = next()) {
      placeInList(b, b.cellMap[candidates[starts[c]]]);
      fitCell(w, starts[c], starts[c + 1], order);
    }
  };
  forClaimed(0, runs, apart, fitRuns);
}

}  // namespace focustrack
