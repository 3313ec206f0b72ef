#include "reduce/slope_map.h"

#include <cmath>
#include <cstddef>

#include "base/processor.h"

namespace focustrack {

namespace {

// Pixels whose slopes are computed together: their sums and means stay in
// the first-level cache while every plane of the range passes by once.
constexpr int32_t kSlopeBlock = 512;

// Largest absolute value, replaced only by a strictly larger one. Slopes are
// never not-a-number, so the largest value does not depend on the visiting
// order; four running maxima let the loop run in parallel lanes.
__attribute__((always_inline)) inline double largestMagnitude(const double* values, int32_t count) {
  double lane[4] = {0.0, 0.0, 0.0, 0.0};
  int32_t j = 0;
  for (; j + 4 <= count; j += 4) {
    for (int32_t k = 0; k < 4; ++k) {
      const double magnitude = std::fabs(values[j + k]);
      lane[k] = magnitude > lane[k] ? magnitude : lane[k];
    }
  }
  for (; j < count; ++j) {
    const double magnitude = std::fabs(values[j]);
    if (magnitude > lane[0]) lane[0] = magnitude;
  }
  double largest = lane[0];
  for (int32_t k = 1; k < 4; ++k) {
    if (lane[k] > largest) largest = lane[k];
  }
  return largest;
}

// Slopes of pixels begin..begin + count - 1; answers their largest absolute
// value. Each pixel's sums run in slice order, exactly as one pixel at a time
// would add them; only the loops are exchanged so that every plane is read
// row-wise. The mean must be known before the first deviation is added, so
// the planes pass by twice.
// `Sum` holds a pixel's sum over the range exactly: 32 bits for 8-bit
// samples, 64 bits for 16-bit ones.
template <class Sample, class Sum>
__attribute__((always_inline)) inline double slopeBlockOf(const Sample* stack, size_t planeSize, int32_t first,
                                                          int32_t last, double meanSlice, double spread,
                                                          size_t begin, int32_t count, double* slopes) {
  const double sliceNumber = static_cast<double>(last - first + 1);
  Sum sum[kSlopeBlock];
  double mean[kSlopeBlock];
  double numerator[kSlopeBlock];
  for (int32_t j = 0; j < count; ++j) sum[j] = 0;
  for (int32_t s = first; s <= last; ++s) {
    const Sample* v = stack + static_cast<size_t>(s) * planeSize + begin;
    for (int32_t j = 0; j < count; ++j) sum[j] += v[j];
  }
  // Integer sums of grey values (at most 255 per slice, so exact for up to
  // eight million slices; 16-bit values in 64 bits for any stack) equal the
  // double sum taken in slice order while it stays below 2^53.
  for (int32_t j = 0; j < count; ++j) {
    mean[j] = static_cast<double>(sum[j]) / sliceNumber;
    numerator[j] = 0.0;
  }
  for (int32_t s = first; s <= last; ++s) {
    const Sample* v = stack + static_cast<size_t>(s) * planeSize + begin;
    const double offset = static_cast<double>(s) - meanSlice;
    for (int32_t j = 0; j < count; ++j) {
      numerator[j] += (static_cast<double>(v[j]) - mean[j]) * offset;
    }
  }
  for (int32_t j = 0; j < count; ++j) slopes[j] = numerator[j] / spread;
  return largestMagnitude(slopes, count);
}

template <class Sample, class Sum>
FOCUSTRACK_AVX2 double slopeBlockWide(const Sample* stack, size_t planeSize, int32_t first, int32_t last,
                                      double meanSlice, double spread, size_t begin, int32_t count,
                                      double* slopes) {
  return slopeBlockOf<Sample, Sum>(stack, planeSize, first, last, meanSlice, spread, begin, count, slopes);
}

// The slopes of one block, in the AVX2 version where the processor has it.
template <class Sample, class Sum>
double slopeBlock(const Sample* stack, size_t planeSize, int32_t first, int32_t last, double meanSlice,
                  double spread, size_t begin, int32_t count, double* slopes) {
  if (processorHasAvx2()) {
    return slopeBlockWide<Sample, Sum>(stack, planeSize, first, last, meanSlice, spread, begin, count, slopes);
  }
  return slopeBlockOf<Sample, Sum>(stack, planeSize, first, last, meanSlice, spread, begin, count, slopes);
}

// The slopes of pixels begin..begin + count - 1, a block at a time;
// answers their largest magnitude.
template <class Sample, class Sum>
double slopeBlocks(const Sample* stack, size_t planeSize, const SlopeRange& range, size_t begin,
                   size_t count, double* slopes) {
  double largest = 0.0;
  for (size_t done = 0; done < count; done += kSlopeBlock) {
    const size_t left = count - done;
    const int32_t part = left < kSlopeBlock ? static_cast<int32_t>(left) : kSlopeBlock;
    const double blockLargest = slopeBlock<Sample, Sum>(stack, planeSize, range.first, range.last,
                                                        range.meanSlice, range.spread, begin + done,
                                                        part, slopes + done);
    if (blockLargest > largest) largest = blockLargest;
  }
  return largest;
}

}  // namespace

SlopeRange slopeRange(int32_t first, int32_t last) {
  SlopeRange range{first, last, static_cast<double>(first + last) / 2.0, 0.0};
  // The denominator is the same for every pixel; summed in slice order.
  for (int32_t s = first; s <= last; ++s) {
    const double offset = static_cast<double>(s) - range.meanSlice;
    range.spread += offset * offset;
  }
  return range;
}

double slopesOf(const FrameBuffers& buffers, const SlopeRange& range, size_t begin, size_t count,
                double* slopes) {
  const size_t n = static_cast<size_t>(buffers.pixelCount);
  if (buffers.sampleBits == 16) {
    return slopeBlocks<uint16_t, int64_t>(buffers.sliceStack16.data(), n, range, begin, count, slopes);
  }
  return slopeBlocks<uint8_t, int32_t>(buffers.sliceStack.data(), n, range, begin, count, slopes);
}

double slopeMap(FrameBuffers& buffers, int32_t first, int32_t last) {
  const size_t n = static_cast<size_t>(buffers.pixelCount);
  double* slopes = buffers.deltaMap.data();
  if (last - first + 1 < 2) {
    // No slope through fewer than two slices.
    for (size_t i = 0; i < n; ++i) slopes[i] = 0.0;
    return 0.0;
  }
  return slopesOf(buffers, slopeRange(first, last), 0, n, slopes);
}

}  // namespace focustrack
