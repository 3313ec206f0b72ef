#include "reduce/slice_range.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "base/processor.h"
#include "reduce/reduce.h"
#include "reduce/slope_map.h"

namespace focustrack {

namespace {

// The starting best energy: any finite mismatch energy beats it.
constexpr double kNoEnergyYet = DBL_MAX;

// Smallest and largest grey value of the reference slice, from the largest
// sample (255 or 65535) and 0.
template <class Sample>
void greyBounds(const Sample* plane, size_t n, double* gMin, double* gMax) {
  Sample low = std::numeric_limits<Sample>::max();
  Sample high = 0;
  for (size_t i = 0; i < n; ++i) {
    low = std::min(low, plane[i]);
    high = std::max(high, plane[i]);
  }
  *gMin = low;
  *gMax = high;
}

// The mismatch of one pixel: squared difference between its normalised
// reference grey value and the value its slope predicts (1 for the steepest
// fall, 0 for the steepest rise).
inline double mismatchOf(double normalised, double slope, double steepest) {
  const double predicted = (1.0 - slope / steepest) * 0.5;
  const double d = normalised - predicted;
  return d * d;
}

// Pixels whose exact numerators are worked out together.
constexpr size_t kExactBlock = 256;

// A candidate range and the largest magnitude of its slopes (0: the range
// has no slope at all).
struct Candidate {
  SlopeRange range;
  double steepest;
};

// The candidates in the order they are tried: fewer slices dropped at the
// start first, then fewer at the end. Ranges of fewer than two slices have
// no slope; bounding the drops to ranges of at least two slices leaves them
// out without visiting them, so a huge trim limit costs nothing.
std::vector<Candidate> candidateRanges(int32_t trim, int32_t sliceCount) {
  const int64_t dropsAllowed = std::min<int64_t>(trim, int64_t{sliceCount} - 2);
  std::vector<Candidate> candidates;
  for (int64_t dropFirst = 0; dropFirst <= dropsAllowed; ++dropFirst) {
    for (int64_t dropLast = 0; dropLast <= dropsAllowed - dropFirst; ++dropLast) {
      const auto first = static_cast<int32_t>(dropFirst);
      const auto last = static_cast<int32_t>(sliceCount - 1 - dropLast);
      candidates.push_back({slopeRange(first, last), 0.0});
    }
  }
  return candidates;
}

// The sums and the moments of the slices below each slice number, for the
// pixels begin .. begin + count - 1: sums[k x kExactBlock + j] is the sum of
// v_s over s < k, moments[...] the sum of s x v_s.
template <class Sample>
void blockPrefix(const Sample* stack, size_t n, int32_t sliceCount, size_t begin, size_t count, int32_t* sums,
                 int32_t* moments) {
  for (size_t j = 0; j < count; ++j) {
    sums[j] = 0;
    moments[j] = 0;
  }
  for (int32_t s = 0; s < sliceCount; ++s) {
    const Sample* v = stack + static_cast<size_t>(s) * n + begin;
    const size_t below = static_cast<size_t>(s) * kExactBlock;
    const size_t next = below + kExactBlock;
    for (size_t j = 0; j < count; ++j) {
      sums[next + j] = sums[below + j] + v[j];
      moments[next + j] = moments[below + j] + s * static_cast<int32_t>(v[j]);
    }
  }
}

// |T| of every pixel of the block over `range`.
void absoluteNumerators(const int32_t* sums, const int32_t* moments, const SlopeRange& range, size_t count,
                        int32_t* t) {
  const int32_t ends = range.first + range.last;
  const size_t low = static_cast<size_t>(range.first) * kExactBlock;
  const size_t high = static_cast<size_t>(range.last + 1) * kExactBlock;
  for (size_t j = 0; j < count; ++j) {
    const int32_t value = 2 * (moments[high + j] - moments[low + j]) - ends * (sums[high + j] - sums[low + j]);
    t[j] = value < 0 ? -value : value;
  }
}

inline int32_t largestOf(const int32_t* t, size_t count) {
  int32_t most = 0;
  for (size_t j = 0; j < count; ++j) most = t[j] > most ? t[j] : most;
  return most;
}

// True when every |T| and prefix sum fits in 32 bits.
template <class Sample>
bool exactNumeratorsFit(int32_t sliceCount) {
  const double largest = std::numeric_limits<Sample>::max();
  return 3.0 * largest * sliceCount * sliceCount < 2147483647.0;
}

// Every candidate's steepest slope, without a map of its slopes.
//
// Twice a pixel's slope numerator taken without rounding,
// T = sum over the range of v_s (2s - first - last), is an integer. The
// numerator as computed differs from T / 2 by at most about
// slices^3 x largest sample x 2^-52, far below a quarter whenever the sums
// fit in 32 bits, so a pixel whose |T| is below the largest |T| of the
// candidate cannot have a computed slope of larger magnitude than a pixel
// at the largest |T|: a pass finds the largest |T| of each candidate, a
// second works out the slopes of the pixels that reach it. A candidate
// whose every |T| is 0 may still have tiny computed slopes: its whole map
// decides. The prefix sums of a block serve every candidate.
template <class Sample>
__attribute__((always_inline)) inline void steepestSlopesOf(FrameBuffers& buffers, const Sample* stack,
                                                            std::vector<Candidate>& candidates) {
  const size_t n = static_cast<size_t>(buffers.pixelCount);
  const int32_t sliceCount = buffers.sliceCount;
  if (!exactNumeratorsFit<Sample>(sliceCount)) {
    for (Candidate& c : candidates) c.steepest = slopeMap(buffers, c.range.first, c.range.last);
    return;
  }
  std::vector<int32_t> sums(static_cast<size_t>(sliceCount + 1) * kExactBlock);
  std::vector<int32_t> moments(sums.size());
  int32_t t[kExactBlock];
  const size_t blocks = (n + kExactBlock - 1) / kExactBlock;
  const size_t lanes = candidates.size();
  std::vector<int32_t> largest(lanes, 0);
  std::vector<int32_t> blockLargest(blocks * lanes);  // candidate c of block k at k x lanes + c
  for (size_t k = 0; k < blocks; ++k) {
    const size_t begin = k * kExactBlock;
    const size_t count = std::min(kExactBlock, n - begin);
    blockPrefix(stack, n, sliceCount, begin, count, sums.data(), moments.data());
    for (size_t c = 0; c < lanes; ++c) {
      absoluteNumerators(sums.data(), moments.data(), candidates[c].range, count, t);
      blockLargest[k * lanes + c] = largestOf(t, count);
      largest[c] = std::max(largest[c], blockLargest[k * lanes + c]);
    }
  }
  // No |T| exceeds the largest; the blocks whose largest falls short of it
  // are passed over.
  const auto reaches = [&](size_t k, size_t c) {
    return largest[c] != 0 && blockLargest[k * lanes + c] == largest[c];
  };
  for (size_t k = 0; k < blocks; ++k) {
    bool any = false;
    for (size_t c = 0; c < lanes; ++c) any = any || reaches(k, c);
    if (!any) continue;
    const size_t begin = k * kExactBlock;
    const size_t count = std::min(kExactBlock, n - begin);
    blockPrefix(stack, n, sliceCount, begin, count, sums.data(), moments.data());
    for (size_t c = 0; c < lanes; ++c) {
      if (!reaches(k, c)) continue;
      absoluteNumerators(sums.data(), moments.data(), candidates[c].range, count, t);
      const int32_t most = largest[c];
      for (size_t j = 0; j < count; ++j) {
        if (t[j] != most) continue;
        double slope = 0.0;
        slopesOf(buffers, candidates[c].range, begin + j, 1, &slope);
        if (std::fabs(slope) > candidates[c].steepest) candidates[c].steepest = std::fabs(slope);
      }
    }
  }
  for (size_t c = 0; c < candidates.size(); ++c) {
    const SlopeRange& range = candidates[c].range;
    if (largest[c] == 0) candidates[c].steepest = slopeMap(buffers, range.first, range.last);
  }
}

// The steepest slopes, in their AVX2 version where the processor has it.
template <class Sample>
FOCUSTRACK_AVX2 void steepestSlopesWide(FrameBuffers& buffers, const Sample* stack,
                                        std::vector<Candidate>& candidates) {
  steepestSlopesOf(buffers, stack, candidates);
}

template <class Sample>
void steepestSlopes(FrameBuffers& buffers, const Sample* stack, std::vector<Candidate>& candidates) {
  if (processorHasAvx2()) {
    steepestSlopesWide(buffers, stack, candidates);
  } else {
    steepestSlopesOf(buffers, stack, candidates);
  }
}

// Four doubles, worked on lane by lane with the same IEEE operations as
// scalars.
using Four = double __attribute__((vector_size(32)));

// Four prefix sums.
template <class Sum>
struct FourSums;
template <>
struct FourSums<int32_t> {
  using Type = int32_t __attribute__((vector_size(16)));
};
template <>
struct FourSums<int64_t> {
  using Type = int64_t __attribute__((vector_size(32)));
};

// Pixels of a row whose slopes are made together, their running numerators
// staying in registers.
constexpr size_t kPixelBlock = 16;
constexpr size_t kFours = kPixelBlock / 4;

// The mismatches of the kPixelBlock pixels from column x0 over one
// candidate, lane u of the `stride` lanes of each pixel in `out`. Each slope
// is made as slopeMap makes it: the exact sum divided by the slice count for
// the mean, then the deviations times the offsets added in slice order to 0,
// divided by the spread.
template <class Sum>
__attribute__((always_inline)) inline void blockMismatches(const double* samples, const Sum* sums,
                                                          const double* grey, size_t width, size_t x0,
                                                          const Candidate& candidate, size_t u, size_t stride,
                                                          double* out) {
  const SlopeRange& range = candidate.range;
  const double sliceNumber = static_cast<double>(range.last - range.first + 1);
  const Sum* low = sums + static_cast<size_t>(range.first) * width + x0;
  const Sum* high = sums + static_cast<size_t>(range.last + 1) * width + x0;
  Four mean[kFours];
  Four numerator[kFours];
  for (size_t k = 0; k < kFours; ++k) {
    typename FourSums<Sum>::Type h;
    typename FourSums<Sum>::Type l;
    std::memcpy(&h, high + 4 * k, sizeof h);
    std::memcpy(&l, low + 4 * k, sizeof l);
    mean[k] = __builtin_convertvector(h - l, Four) / sliceNumber;
    numerator[k] = Four{};
  }
  for (int32_t s = range.first; s <= range.last; ++s) {
    const double* v = samples + static_cast<size_t>(s) * width + x0;
    const double offset = static_cast<double>(s) - range.meanSlice;
    for (size_t k = 0; k < kFours; ++k) {
      Four sample;
      std::memcpy(&sample, v + 4 * k, sizeof sample);
      numerator[k] += (sample - mean[k]) * offset;
    }
  }
  for (size_t k = 0; k < kFours; ++k) {
    const Four predicted = (1.0 - numerator[k] / range.spread / candidate.steepest) * 0.5;
    Four normalised;
    std::memcpy(&normalised, grey + x0 + 4 * k, sizeof normalised);
    const Four d = normalised - predicted;
    const Four mismatch = d * d;
    for (size_t j = 0; j < 4; ++j) out[(x0 + 4 * k + j) * stride + u] = mismatch[j];
  }
}

// The same for one pixel.
template <class Sum>
inline void pixelMismatch(const double* samples, const Sum* sums, const double* grey, size_t width, size_t x,
                          const Candidate& candidate, size_t u, size_t stride, double* out) {
  const SlopeRange& range = candidate.range;
  const double sliceNumber = static_cast<double>(range.last - range.first + 1);
  const Sum total =
      sums[static_cast<size_t>(range.last + 1) * width + x] - sums[static_cast<size_t>(range.first) * width + x];
  const double mean = static_cast<double>(total) / sliceNumber;
  double numerator = 0.0;
  for (int32_t s = range.first; s <= range.last; ++s) {
    numerator += (samples[static_cast<size_t>(s) * width + x] - mean) * (static_cast<double>(s) - range.meanSlice);
  }
  out[x * stride + u] = mismatchOf(grey[x], numerator / range.spread, candidate.steepest);
}

// The mismatches of a row, candidate u of `used` at x * stride + u of `out`
// (a stride of at least used.size()).
// `samples` holds the row's samples as doubles, plane s at s x width, and
// `sums` their prefix sums, sums[k x width + x] the sum of the samples below
// slice k.
template <class Sum>
__attribute__((always_inline)) inline void rowMismatchesOf(const double* samples, const Sum* sums,
                                                          const double* grey, size_t width,
                                                          const std::vector<const Candidate*>& used, size_t stride,
                                                          double* out) {
  const size_t lanes = used.size();
  size_t x0 = 0;
  for (; x0 + kPixelBlock <= width; x0 += kPixelBlock) {
    for (size_t u = 0; u < lanes; ++u) blockMismatches(samples, sums, grey, width, x0, *used[u], u, stride, out);
  }
  for (; x0 < width; ++x0) {
    for (size_t u = 0; u < lanes; ++u) pixelMismatch(samples, sums, grey, width, x0, *used[u], u, stride, out);
  }
}

template <class Sum>
FOCUSTRACK_AVX2 void rowMismatchesWide(const double* samples, const Sum* sums, const double* grey, size_t width,
                                       const std::vector<const Candidate*>& used, size_t stride, double* out) {
  rowMismatchesOf(samples, sums, grey, width, used, stride, out);
}

// Lanes of energies kept in registers through a row.
constexpr size_t kEnergyBlock = 16;

// Adds the terms of one row to the energies of V x 4 lanes from lane u0:
// the mismatch of lane u at column x is at x * stride + u, `above` holds
// the row above (none on the first row). Each lane takes its terms in pixel
// order, the left one before the upper one; the lanes' sums stay in
// registers for the whole row.
template <size_t V, bool HasAbove>
__attribute__((always_inline)) inline void addEnergyBlock(const double* here, const double* above, size_t width,
                                                         size_t stride, size_t u0, double* energy) {
  Four e[V];
  for (size_t v = 0; v < V; ++v) std::memcpy(&e[v], energy + u0 + 4 * v, sizeof(Four));
  if constexpr (HasAbove) {
    for (size_t v = 0; v < V; ++v) {
      Four m;
      Four up;
      std::memcpy(&m, here + u0 + 4 * v, sizeof m);
      std::memcpy(&up, above + u0 + 4 * v, sizeof up);
      const Four upper = m - up;
      e[v] += upper * upper;
    }
  }
  for (size_t x = 1; x < width; ++x) {
    const double* at = here + x * stride + u0;
    for (size_t v = 0; v < V; ++v) {
      Four m;
      Four left;
      std::memcpy(&m, at + 4 * v, sizeof m);
      std::memcpy(&left, at - stride + 4 * v, sizeof left);
      const Four l = m - left;
      e[v] += l * l;
      if constexpr (HasAbove) {
        Four up;
        std::memcpy(&up, above + x * stride + u0 + 4 * v, sizeof up);
        const Four o = m - up;
        e[v] += o * o;
      }
    }
  }
  for (size_t v = 0; v < V; ++v) std::memcpy(energy + u0 + 4 * v, &e[v], sizeof(Four));
}

template <bool HasAbove>
__attribute__((always_inline)) inline void addRowEnergiesIn(const double* here, const double* above, size_t width,
                                                            size_t stride, double* energy) {
  for (size_t u0 = 0; u0 < stride; u0 += kEnergyBlock) {
    switch ((stride - u0) / 4) {
      case 1: addEnergyBlock<1, HasAbove>(here, above, width, stride, u0, energy); break;
      case 2: addEnergyBlock<2, HasAbove>(here, above, width, stride, u0, energy); break;
      case 3: addEnergyBlock<3, HasAbove>(here, above, width, stride, u0, energy); break;
      default: addEnergyBlock<4, HasAbove>(here, above, width, stride, u0, energy); break;
    }
  }
}

// The terms of one row added to every lane's energy, kEnergyBlock lanes at a
// time; `stride` is a multiple of 4.
__attribute__((always_inline)) inline void addRowEnergiesOf(const double* here, const double* above, size_t width,
                                                            size_t stride, double* energy) {
  if (above != nullptr) {
    addRowEnergiesIn<true>(here, above, width, stride, energy);
  } else {
    addRowEnergiesIn<false>(here, above, width, stride, energy);
  }
}

FOCUSTRACK_AVX2 void addRowEnergiesWide(const double* here, const double* above, size_t width, size_t stride,
                                        double* energy) {
  addRowEnergiesOf(here, above, width, stride, energy);
}

// The samples of one row of every slice as doubles, plane s at s x width,
// and their prefix sums, sums[k x width + x] the sum of the samples below
// slice k (the first plane of sums stays 0).
template <class Sample, class Sum>
__attribute__((always_inline)) inline void rowSamplesOf(const Sample* row, size_t n, size_t slices, size_t width,
                                                       double* samples, Sum* sums) {
  for (size_t s = 0; s < slices; ++s) {
    const Sample* v = row + s * n;
    for (size_t x = 0; x < width; ++x) {
      samples[s * width + x] = v[x];
      sums[(s + 1) * width + x] = sums[s * width + x] + v[x];
    }
  }
}

template <class Sample, class Sum>
FOCUSTRACK_AVX2 void rowSamplesWide(const Sample* row, size_t n, size_t slices, size_t width, double* samples,
                                    Sum* sums) {
  rowSamplesOf(row, n, slices, width, samples, sums);
}

// The mismatches of row y, added to the energies; in the AVX2 version of
// the kernels where the processor has it.
template <class Sample, class Sum>
void addRowToEnergies(const Sample* stack, size_t n, size_t slices, size_t y, const double* grey, size_t width,
                      const std::vector<const Candidate*>& used, size_t stride, double* samples, Sum* sums,
                      double* current, const double* above, double* energy) {
  const Sample* row = stack + y * width;
  if (processorHasAvx2()) {
    rowSamplesWide(row, n, slices, width, samples, sums);
    rowMismatchesWide(samples, sums, grey, width, used, stride, current);
    addRowEnergiesWide(current, above, width, stride, energy);
  } else {
    rowSamplesOf(row, n, slices, width, samples, sums);
    rowMismatchesOf(samples, sums, grey, width, used, stride, current);
    addRowEnergiesOf(current, above, width, stride, energy);
  }
}

// The neighbour energy of every candidate's mismatch map, (a - p)^2 with
// a = (g - gMin) / (gMax - gMin) from the reference grey value and
// p = (1 - slope / steepest) x 0.5. The maps are made a row at a time, all
// candidates side by side, and every energy is summed in pixel order with
// the left term before the upper one, exactly as over a whole map; the
// candidates' sums are independent, so they run in parallel lanes. The lanes
// of a pixel are padded to a multiple of 4 with lanes of no candidate,
// whose mismatches stay 0 and whose energies are dropped.
template <class Sum, class Sample, class Normalise>
std::vector<double> mismatchEnergies(const FrameBuffers& buffers, const Sample* stack, const Sample* reference,
                                     Normalise normalised, const std::vector<const Candidate*>& used) {
  const size_t n = static_cast<size_t>(buffers.pixelCount);
  const size_t width = static_cast<size_t>(buffers.width);
  const size_t height = n / width;
  const size_t slices = static_cast<size_t>(buffers.sliceCount);
  const size_t stride = (used.size() + 3) / 4 * 4;
  std::vector<double> energy(stride, 0.0);
  std::vector<double> grey(width);
  std::vector<double> samples(slices * width);
  std::vector<Sum> sums((slices + 1) * width, 0);
  std::vector<double> above(width * stride, 0.0);
  std::vector<double> current(width * stride, 0.0);
  for (size_t y = 0; y < height; ++y) {
    const Sample* row = reference + y * width;
    for (size_t x = 0; x < width; ++x) grey[x] = normalised(row[x]);
    addRowToEnergies(stack, n, slices, y, grey.data(), width, used, stride, samples.data(), sums.data(),
                     current.data(), y > 0 ? above.data() : nullptr, energy.data());
    above.swap(current);
  }
  energy.resize(used.size());
  return energy;
}

// The energies with the prefix sums of each row in 32 bits where they fit.
template <class Sample, class Normalise>
std::vector<double> candidateEnergies(const FrameBuffers& buffers, const Sample* stack, const Sample* reference,
                                     Normalise normalised, const std::vector<const Candidate*>& used) {
  const double largestSum = static_cast<double>(buffers.sliceCount) * std::numeric_limits<Sample>::max();
  if (largestSum < 2147483647.0) return mismatchEnergies<int32_t>(buffers, stack, reference, normalised, used);
  return mismatchEnergies<int64_t>(buffers, stack, reference, normalised, used);
}

// ---- Estimates: the search needs only the candidate of least energy.
//
// A candidate's energy can be estimated from each pixel's exact slope
// numerator T (from the prefix sums, in a few operations whatever the slice
// count) with a known bound on how far the energy the exact kernel gives can
// lie from the estimate. A candidate whose estimate lies beyond that reach of
// the lowest cannot have the least energy; where several stay within reach,
// their exact energies decide.

// The mismatches of one row for one candidate: p = 0.5 - T x `scale`, with
// scale 1 / (4 x spread x steepest). `sums` and `moments` hold the prefix
// sums of the row, plane k at k x width.
__attribute__((always_inline)) inline void estimateRowOf(const int32_t* sums, const int32_t* moments,
                                                         const double* grey, size_t width, const SlopeRange& range,
                                                         double scale, double* mismatch) {
  const int32_t* sumLow = sums + static_cast<size_t>(range.first) * width;
  const int32_t* sumHigh = sums + static_cast<size_t>(range.last + 1) * width;
  const int32_t* momentLow = moments + static_cast<size_t>(range.first) * width;
  const int32_t* momentHigh = moments + static_cast<size_t>(range.last + 1) * width;
  const int32_t ends = range.first + range.last;
  for (size_t x = 0; x < width; ++x) {
    const int32_t t = 2 * (momentHigh[x] - momentLow[x]) - ends * (sumHigh[x] - sumLow[x]);
    const double d = grey[x] - (0.5 - static_cast<double>(t) * scale);
    mismatch[x] = d * d;
  }
}

// The terms of one row, with the row above when there is one, summed in
// any order.
__attribute__((always_inline)) inline double estimateTermsOf(const double* here, const double* above,
                                                             size_t width) {
  Four lanes{};
  size_t x = 1;
  for (; x + 4 <= width; x += 4) {
    Four m;
    Four left;
    std::memcpy(&m, here + x, sizeof m);
    std::memcpy(&left, here + x - 1, sizeof left);
    const Four d = m - left;
    lanes += d * d;
  }
  double sum = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
  for (; x < width; ++x) sum += (here[x] - here[x - 1]) * (here[x] - here[x - 1]);
  if (above == nullptr) return sum;
  lanes = Four{};
  x = 0;
  for (; x + 4 <= width; x += 4) {
    Four m;
    Four up;
    std::memcpy(&m, here + x, sizeof m);
    std::memcpy(&up, above + x, sizeof up);
    const Four d = m - up;
    lanes += d * d;
  }
  sum += (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
  for (; x < width; ++x) sum += (here[x] - above[x]) * (here[x] - above[x]);
  return sum;
}

// One row's prefix sums, then every candidate's mismatches and terms.
template <class Sample>
__attribute__((always_inline)) inline void estimateRowsOf(const Sample* row, size_t n, size_t slices, size_t width,
                                                          const double* grey,
                                                          const std::vector<const Candidate*>& used,
                                                          const double* scale, int32_t* sums, int32_t* moments,
                                                          double* here, const double* above, double* energy) {
  for (size_t s = 0; s < slices; ++s) {
    const Sample* v = row + s * n;
    const int32_t slice = static_cast<int32_t>(s);
    for (size_t x = 0; x < width; ++x) {
      sums[(s + 1) * width + x] = sums[s * width + x] + v[x];
      moments[(s + 1) * width + x] = moments[s * width + x] + slice * static_cast<int32_t>(v[x]);
    }
  }
  for (size_t u = 0; u < used.size(); ++u) {
    double* mismatch = here + u * width;
    estimateRowOf(sums, moments, grey, width, used[u]->range, scale[u], mismatch);
    energy[u] += estimateTermsOf(mismatch, above == nullptr ? nullptr : above + u * width, width);
  }
}

template <class Sample>
FOCUSTRACK_AVX2 void estimateRowsWide(const Sample* row, size_t n, size_t slices, size_t width,
                                      const double* grey, const std::vector<const Candidate*>& used,
                                      const double* scale, int32_t* sums, int32_t* moments, double* here,
                                      const double* above, double* energy) {
  estimateRowsOf(row, n, slices, width, grey, used, scale, sums, moments, here, above, energy);
}

// How far the exact energy of a candidate can lie from an estimate of
// `energy` over `terms` terms, with u the unit roundoff. The exact slope
// differs from T / (2 x spread) by the rounding of the mean, of each
// deviation and product, and of each partial sum: less than (slices + 6) u x
// largest sample x the sum of |offset| / spread. p moves by half that over
// the steepest slope, plus the rounding of either formula; a mismatch (both
// operands within 0..1) by at most 2.01 x its p's error, a term by at most
// 4.1 x its mismatches' errors; and each order of summing adds less than
// terms x u of the sum. Every factor is rounded up.
double estimateReach(const SlopeRange& range, double steepest, double largestSample, double terms, double energy) {
  constexpr double u = DBL_EPSILON / 2;
  double offsets = 0.0;
  for (int32_t s = range.first; s <= range.last; ++s) offsets += std::fabs(static_cast<double>(s) - range.meanSlice);
  const double slices = static_cast<double>(range.last - range.first + 1);
  const double slopeError = (slices + 8) * u * largestSample * offsets / range.spread;
  const double mismatchError = 0.5 * slopeError / steepest + 32 * u;
  const double drift = terms * (9 * mismatchError + 32 * u);
  return 2 * drift + 4 * terms * u * (energy + drift);
}

template <class Sample, class Normalise>
std::vector<RangeEstimate> estimateEnergies(const FrameBuffers& buffers, const Sample* stack, const Sample* reference,
                                            Normalise normalised, const std::vector<const Candidate*>& used) {
  const size_t n = static_cast<size_t>(buffers.pixelCount);
  const size_t width = static_cast<size_t>(buffers.width);
  const size_t height = n / width;
  const size_t slices = static_cast<size_t>(buffers.sliceCount);
  std::vector<double> scale(used.size());
  for (size_t u = 0; u < used.size(); ++u) scale[u] = 1.0 / (4.0 * used[u]->range.spread * used[u]->steepest);
  std::vector<double> energy(used.size(), 0.0);
  std::vector<double> grey(width);
  std::vector<int32_t> sums((slices + 1) * width, 0);
  std::vector<int32_t> moments(sums.size(), 0);
  std::vector<double> above(used.size() * width);
  std::vector<double> here(above.size());
  for (size_t y = 0; y < height; ++y) {
    const Sample* row = reference + y * width;
    for (size_t x = 0; x < width; ++x) grey[x] = normalised(row[x]);
    const double* previous = y > 0 ? above.data() : nullptr;
    if (processorHasAvx2()) {
      estimateRowsWide(stack + y * width, n, slices, width, grey.data(), used, scale.data(), sums.data(),
                       moments.data(), here.data(), previous, energy.data());
    } else {
      estimateRowsOf(stack + y * width, n, slices, width, grey.data(), used, scale.data(), sums.data(),
                     moments.data(), here.data(), previous, energy.data());
    }
    above.swap(here);
  }
  const double terms = static_cast<double>((width - 1) * height + width * (height - 1));
  const double largestSample = std::numeric_limits<Sample>::max();
  std::vector<RangeEstimate> estimates;
  for (size_t u = 0; u < used.size(); ++u) {
    const SlopeRange& range = used[u]->range;
    const double reach = estimateReach(range, used[u]->steepest, largestSample, terms, energy[u]);
    estimates.push_back({range.first, range.last, energy[u], reach});
  }
  return estimates;
}

// The candidates that may have the least exact energy, in their order: those
// whose estimate lies within reach of the lowest. Every one when an estimate
// is not a number.
std::vector<const Candidate*> withinReach(const std::vector<const Candidate*>& used,
                                          const std::vector<RangeEstimate>& estimates) {
  size_t lowest = 0;
  for (size_t u = 1; u < used.size(); ++u) {
    if (estimates[u].energy < estimates[lowest].energy) lowest = u;
  }
  const double bound = estimates[lowest].energy + estimates[lowest].reach;
  std::vector<const Candidate*> kept;
  for (size_t u = 0; u < used.size(); ++u) {
    if (!(estimates[u].energy - estimates[u].reach > bound)) kept.push_back(used[u]);
  }
  return kept;
}

// What the energies and the search share: the candidates with a slope, and
// the reference slice with its grey values normalised to 0..1. Calls
// body(used, reference, normalised) and answers what it answers, or `none`
// when no candidate is tried.
template <class Sample, class Body, class Result>
Result withCandidates(const RunSettings& settings, const Sample* stack, FrameBuffers& buffers, Result none,
                      Body body) {
  const int32_t trim = settings.sliceTrimLimit;
  if (trim <= 0 || buffers.width < 1 || buffers.pixelCount < 1) return none;
  const size_t n = static_cast<size_t>(buffers.pixelCount);
  // Without a chosen slice the first one is the reference.
  const int32_t referenceSlice = buffers.referenceSlice < 0 ? 0 : buffers.referenceSlice;
  const Sample* reference = stack + static_cast<size_t>(referenceSlice) * n;
  double gMin = 0.0;
  double gMax = 0.0;
  greyBounds(reference, n, &gMin, &gMax);
  // A uniform reference slice leaves every mismatch undefined: no candidate.
  if (gMax == gMin) return none;

  std::vector<Candidate> candidates = candidateRanges(trim, buffers.sliceCount);
  steepestSlopes(buffers, stack, candidates);
  std::vector<const Candidate*> used;
  for (const Candidate& c : candidates) {
    if (c.steepest != 0.0) used.push_back(&c);
  }
  if constexpr (sizeof(Sample) == 1) {
    // The normalised value depends on the grey value alone; the table holds
    // the very quotients a per-pixel division would give.
    double table[256];
    for (int32_t g = 0; g < 256; ++g) table[g] = (static_cast<double>(g) - gMin) / (gMax - gMin);
    return body(used, reference, [&table](uint8_t g) { return table[g]; });
  } else {
    return body(used, reference, [gMin, gMax](Sample g) { return (static_cast<double>(g) - gMin) / (gMax - gMin); });
  }
}

std::vector<RangeEnergy> rangesWith(const std::vector<const Candidate*>& used, const std::vector<double>& energy) {
  std::vector<RangeEnergy> ranges;
  for (size_t u = 0; u < used.size(); ++u) ranges.push_back({used[u]->range.first, used[u]->range.last, energy[u]});
  return ranges;
}

template <class Sample>
std::vector<RangeEnergy> rangeEnergies(const RunSettings& settings, const Sample* stack, FrameBuffers& buffers) {
  return withCandidates(settings, stack, buffers, std::vector<RangeEnergy>{},
                        [&](const std::vector<const Candidate*>& used, const Sample* reference, auto normalised) {
                          return rangesWith(used, candidateEnergies(buffers, stack, reference, normalised, used));
                        });
}

template <class Sample>
std::vector<RangeEstimate> rangeEstimates(const RunSettings& settings, const Sample* stack, FrameBuffers& buffers) {
  return withCandidates(settings, stack, buffers, std::vector<RangeEstimate>{},
                        [&](const std::vector<const Candidate*>& used, const Sample* reference, auto normalised) {
                          if (!exactNumeratorsFit<Sample>(buffers.sliceCount)) return std::vector<RangeEstimate>{};
                          return estimateEnergies(buffers, stack, reference, normalised, used);
                        });
}

// The candidates that may win, with their exact energies: the estimates
// leave out those that cannot.
template <class Sample>
std::vector<RangeEnergy> contendersOf(const RunSettings& settings, const Sample* stack, FrameBuffers& buffers) {
  return withCandidates(
      settings, stack, buffers, std::vector<RangeEnergy>{},
      [&](const std::vector<const Candidate*>& used, const Sample* reference, auto normalised) {
        std::vector<const Candidate*> kept = used;
        if (used.size() > 1 && exactNumeratorsFit<Sample>(buffers.sliceCount)) {
          kept = withinReach(used, estimateEnergies(buffers, stack, reference, normalised, used));
        }
        // A lone contender wins whatever its energy (always finite).
        if (kept.size() <= 1) return rangesWith(kept, std::vector<double>(kept.size(), 0.0));
        return rangesWith(kept, candidateEnergies(buffers, stack, reference, normalised, kept));
      });
}

}  // namespace

std::vector<RangeEnergy> sliceRangeEnergies(const RunSettings& settings, FrameBuffers& buffers) {
  if (buffers.sampleBits == 16) return rangeEnergies(settings, buffers.sliceStack16.data(), buffers);
  return rangeEnergies(settings, buffers.sliceStack.data(), buffers);
}

std::vector<RangeEstimate> sliceRangeEstimates(const RunSettings& settings, FrameBuffers& buffers) {
  if (buffers.sampleBits == 16) return rangeEstimates(settings, buffers.sliceStack16.data(), buffers);
  return rangeEstimates(settings, buffers.sliceStack.data(), buffers);
}

void searchSliceRange(const RunSettings& settings, FrameBuffers& buffers) {
  const std::vector<RangeEnergy> contenders = buffers.sampleBits == 16
                                                  ? contendersOf(settings, buffers.sliceStack16.data(), buffers)
                                                  : contendersOf(settings, buffers.sliceStack.data(), buffers);
  // The strict comparison keeps the first of equally good ranges.
  double bestEnergy = kNoEnergyYet;
  for (const RangeEnergy& range : contenders) {
    if (range.energy < bestEnergy) {
      bestEnergy = range.energy;
      buffers.rangeFirst = range.first;
      buffers.rangeLast = range.last;
    }
  }
}

}  // namespace focustrack
