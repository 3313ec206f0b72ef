#include "reduce/slice_range.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <limits>

#include "reduce/reduce.h"
#include "reduce/reference_slice.h"
#include "reduce/slope_map.h"

namespace focustrack {

namespace {

// The starting best energy: any finite mismatch energy beats it.
constexpr double kNoEnergyYet = DBL_MAX;

// Smallest and largest grey value of the reference slice, from the largest
// sample (255 or 65535) and 0.
template <class Sample>
void greyBounds(const Sample* plane, size_t n, double* gMin, double* gMax) {
  double low = static_cast<double>(std::numeric_limits<Sample>::max());
  double high = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double g = plane[i];
    if (g < low) low = g;
    if (g > high) high = g;
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

}  // namespace

namespace {

// The mismatch map and its energy; `normalised(g)` is (g - gMin) / (gMax - gMin).
template <class Sample, class Normalise>
double mismatchOfMap(const Sample* reference, Normalise normalised, double steepest, double* map,
                     int32_t width, int32_t pixelCount) {
  if (width < 1 || pixelCount < 1) return 0.0;
  // Each row's mismatches are made and summed in one sweep, in pixel order
  // with the left term before the upper one.
  const int32_t height = pixelCount / width;
  double energy = 0.0;
  double previous = mismatchOf(normalised(reference[0]), map[0], steepest);
  map[0] = previous;
  for (int32_t x = 1; x < width; ++x) {
    const double m = mismatchOf(normalised(reference[x]), map[x], steepest);
    map[x] = m;
    const double left = m - previous;
    energy += left * left;
    previous = m;
  }
  for (int32_t y = 1; y < height; ++y) {
    const size_t offset = static_cast<size_t>(y) * static_cast<size_t>(width);
    const Sample* grey = reference + offset;
    double* row = map + offset;
    const double* above = row - width;
    previous = mismatchOf(normalised(grey[0]), row[0], steepest);
    row[0] = previous;
    const double up = previous - above[0];
    energy += up * up;
    for (int32_t x = 1; x < width; ++x) {
      const double m = mismatchOf(normalised(grey[x]), row[x], steepest);
      row[x] = m;
      const double left = m - previous;
      energy += left * left;
      const double upper = m - above[x];
      energy += upper * upper;
      previous = m;
    }
  }
  return energy;
}

}  // namespace

double mismatchEnergy(const uint8_t* reference, double gMin, double gMax, double steepest,
                      double* map, int32_t width, int32_t pixelCount) {
  if (width < 1 || pixelCount < 1) return 0.0;
  // The normalised value depends on the grey value alone; the table holds
  // the very quotients a per-pixel division would give.
  double normalised[256];
  for (int32_t g = 0; g < 256; ++g) normalised[g] = (static_cast<double>(g) - gMin) / (gMax - gMin);
  return mismatchOfMap(reference, [&normalised](uint8_t g) { return normalised[g]; }, steepest, map,
                       width, pixelCount);
}

double mismatchEnergy(const uint16_t* reference, double gMin, double gMax, double steepest,
                      double* map, int32_t width, int32_t pixelCount) {
  // The same quotient as the 8-bit table's, taken per pixel.
  auto normalised = [gMin, gMax](uint16_t g) { return (static_cast<double>(g) - gMin) / (gMax - gMin); };
  return mismatchOfMap(reference, normalised, steepest, map, width, pixelCount);
}

namespace {

// For the candidate first..last: false when it has no slope at all,
// otherwise true with the energy of its mismatch map.
template <class Sample>
bool candidateEnergy(FrameBuffers& buffers, const Sample* reference, double gMin, double gMax,
                     int32_t first, int32_t last, double* energy) {
  const double steepest = slopeMap(buffers, first, last);
  if (steepest == 0.0) return false;
  *energy = mismatchEnergy(reference, gMin, gMax, steepest, buffers.deltaMap.data(), buffers.width,
                           buffers.pixelCount);
  return true;
}

template <class Sample>
void searchRange(const RunSettings& settings, const Sample* stack, FrameBuffers& buffers) {
  const int32_t trim = settings.sliceTrimLimit;
  if (trim <= 0) return;
  const size_t n = static_cast<size_t>(buffers.pixelCount);
  // Without a chosen slice the first one is the reference.
  const int32_t referenceSlice = buffers.referenceSlice < 0 ? 0 : buffers.referenceSlice;
  const Sample* reference = stack + static_cast<size_t>(referenceSlice) * n;
  double gMin = 0.0;
  double gMax = 0.0;
  greyBounds(reference, n, &gMin, &gMax);
  // A uniform reference slice leaves every mismatch undefined: no candidate.
  if (gMax == gMin) return;

  // Ranges of fewer than two slices have no slope and are skipped; bounding
  // the drops to ranges of at least two slices skips them without visiting
  // them, so a huge trim limit costs nothing.
  const int64_t dropsAllowed = std::min<int64_t>(trim, int64_t{buffers.sliceCount} - 2);
  double bestEnergy = kNoEnergyYet;
  // Candidates drop fewer slices at the start first, then fewer at the end;
  // the strict comparison keeps the first of equally good ranges.
  for (int64_t dropFirst = 0; dropFirst <= dropsAllowed; ++dropFirst) {
    for (int64_t dropLast = 0; dropLast <= dropsAllowed - dropFirst; ++dropLast) {
      const int32_t first = static_cast<int32_t>(dropFirst);
      const int32_t last = static_cast<int32_t>(buffers.sliceCount - 1 - dropLast);
      double energy = 0.0;
      if (!candidateEnergy(buffers, reference, gMin, gMax, first, last, &energy)) continue;
      if (energy < bestEnergy) {
        bestEnergy = energy;
        buffers.rangeFirst = first;
        buffers.rangeLast = last;
      }
    }
  }
}

}  // namespace

void searchSliceRange(const RunSettings& settings, FrameBuffers& buffers) {
  if (buffers.sampleBits == 16) {
    searchRange(settings, buffers.sliceStack16.data(), buffers);
  } else {
    searchRange(settings, buffers.sliceStack.data(), buffers);
  }
}

}  // namespace focustrack
