// Stack reduction turns a frame's z-stack into one map of how strongly every
// pixel changes through focus (its through-focus slope). The reference slice
// is the slice with the most fine detail; it anchors the slice range search
// and is the grey background of the result image.
#include "reduce/reference_slice.h"

#include <cstddef>

#include "base/processor.h"
#include "reduce/reduce.h"

namespace focustrack {

namespace {

// Sum of squared differences of one row towards its left neighbours. With
// 16-bit samples a term is below 2^32, so 64-bit sums stay exact for images
// of up to 2^31 neighbour pairs.
template <class Sample>
int64_t horizontalTerms(const Sample* row, int32_t width) {
  int64_t sum = 0;
  for (int32_t x = 1; x < width; ++x) {
    const int64_t d = int64_t{row[x]} - int64_t{row[x - 1]};
    sum += d * d;
  }
  return sum;
}

// Sum of squared differences of one row towards the row above.
template <class Sample>
int64_t verticalTerms(const Sample* row, const Sample* above, int32_t width) {
  int64_t sum = 0;
  for (int32_t x = 0; x < width; ++x) {
    const int64_t d = int64_t{row[x]} - int64_t{above[x]};
    sum += d * d;
  }
  return sum;
}

// The terms of one 8-bit row in 32 bits: each is below 2^16, so a row of
// fewer than kNarrowRow pixels (two terms a pixel) cannot overflow.
constexpr int32_t kNarrowRow = 1 << 14;

__attribute__((always_inline)) inline int32_t narrowRowTermsOf(const uint8_t* row, const uint8_t* above,
                                                              int32_t width) {
  int32_t sum = 0;
  for (int32_t x = 1; x < width; ++x) {
    const int32_t d = int32_t{row[x]} - int32_t{row[x - 1]};
    sum += d * d;
  }
  if (above != nullptr) {
    for (int32_t x = 0; x < width; ++x) {
      const int32_t d = int32_t{row[x]} - int32_t{above[x]};
      sum += d * d;
    }
  }
  return sum;
}

FOCUSTRACK_AVX2 int32_t narrowRowTermsWide(const uint8_t* row, const uint8_t* above, int32_t width) {
  return narrowRowTermsOf(row, above, width);
}

// Both kinds of term of one row; `above` is null on the first row.
template <class Sample>
int64_t rowTerms(const Sample* row, const Sample* above, int32_t width) {
  if constexpr (sizeof(Sample) == 1) {
    if (width < kNarrowRow) {
      return processorHasAvx2() ? narrowRowTermsWide(row, above, width) : narrowRowTermsOf(row, above, width);
    }
  }
  return horizontalTerms(row, width) + (above != nullptr ? verticalTerms(row, above, width) : 0);
}

template <class Sample>
int64_t sampleEnergy(const Sample* values, int32_t width, int32_t pixelCount) {
  // Integer sums are exact, so rows may be summed term kind by term kind.
  if (width < 1 || pixelCount < 1) return 0;
  const int32_t height = pixelCount / width;
  int64_t energy = 0;
  for (int32_t y = 0; y < height; ++y) {
    const Sample* row = values + static_cast<size_t>(y) * static_cast<size_t>(width);
    energy += rowTerms(row, y > 0 ? row - width : nullptr, width);
  }
  return energy;
}

// The slice of highest energy in the range, the lowest index of equals.
template <class Sample>
void chooseReference(const Sample* stack, FrameBuffers& buffers) {
  // Strictly greater: of equally detailed slices the lowest index wins, and
  // a uniform slice (energy 0) is never chosen.
  const size_t n = static_cast<size_t>(buffers.pixelCount);
  int64_t bestEnergy = 0;
  buffers.referenceSlice = -1;
  for (int32_t s = buffers.rangeFirst; s <= buffers.rangeLast; ++s) {
    const Sample* plane = stack + static_cast<size_t>(s) * n;
    const int64_t energy = sampleEnergy(plane, buffers.width, buffers.pixelCount);
    if (energy > bestEnergy) {
      bestEnergy = energy;
      buffers.referenceSlice = s;
    }
  }
  // A stack of uniform slices still needs a slice to compare against and to
  // paint; the first one serves.
  if (buffers.referenceSlice < 0) buffers.referenceSlice = 0;
}

}  // namespace

int64_t neighbourEnergy(const uint8_t* values, int32_t width, int32_t pixelCount) {
  return sampleEnergy(values, width, pixelCount);
}

int64_t neighbourEnergy(const uint16_t* values, int32_t width, int32_t pixelCount) {
  return sampleEnergy(values, width, pixelCount);
}

double neighbourEnergy(const double* values, int32_t width, int32_t pixelCount) {
  // Rounding makes the order matter: pixel order, and within a pixel the
  // left term before the upper one.
  if (width < 1 || pixelCount < 1) return 0.0;
  const int32_t height = pixelCount / width;
  double energy = 0.0;
  for (int32_t x = 1; x < width; ++x) {
    const double d = values[x] - values[x - 1];
    energy += d * d;
  }
  for (int32_t y = 1; y < height; ++y) {
    const double* row = values + static_cast<size_t>(y) * static_cast<size_t>(width);
    const double* above = row - width;
    const double first = row[0] - above[0];
    energy += first * first;
    for (int32_t x = 1; x < width; ++x) {
      const double left = row[x] - row[x - 1];
      energy += left * left;
      const double up = row[x] - above[x];
      energy += up * up;
    }
  }
  return energy;
}

void selectReferenceSlice(const RunSettings&, FrameBuffers& buffers) {
  if (buffers.sampleBits == 16) {
    chooseReference(buffers.sliceStack16.data(), buffers);
  } else {
    chooseReference(buffers.sliceStack.data(), buffers);
  }
}

}  // namespace focustrack
