#include "io/resample.h"

#include <cmath>
#include <limits>

namespace focustrack {

namespace {

void addTerm(Resampler::Axis* axis, int64_t source, int64_t weight) {
  if (weight == 0) return;
  axis->source.push_back(static_cast<int32_t>(source));
  axis->weight.push_back(weight);
}

// Linear interpolation between the two input pixels around each output
// pixel's centre.
void growAxis(int64_t in, int64_t out, Resampler::Axis* axis) {
  axis->denominator = 2 * out;
  for (int64_t x = 0; x < out; ++x) {
    axis->start.push_back(static_cast<int32_t>(axis->source.size()));
    const int64_t position = (2 * x + 1) * in - out;  // in units of 1 / (2 out)
    if (position <= 0) {
      addTerm(axis, 0, axis->denominator);
      continue;
    }
    const int64_t i = position / axis->denominator;
    const int64_t r = position % axis->denominator;
    if (i >= in - 1) {
      addTerm(axis, in - 1, axis->denominator);
      continue;
    }
    addTerm(axis, i, axis->denominator - r);
    addTerm(axis, i + 1, r);
  }
}

// Each output pixel averages the input it covers, pixels cut by its edges
// counting with the part inside.
void shrinkAxis(int64_t in, int64_t out, Resampler::Axis* axis) {
  axis->denominator = in;
  for (int64_t x = 0; x < out; ++x) {
    axis->start.push_back(static_cast<int32_t>(axis->source.size()));
    const int64_t begin = x * in;        // in units of 1 / out
    const int64_t end = (x + 1) * in;
    for (int64_t i = begin / out; i * out < end; ++i) {
      const int64_t from = i * out > begin ? i * out : begin;
      const int64_t to = (i + 1) * out < end ? (i + 1) * out : end;
      addTerm(axis, i, to - from);
    }
  }
}

}  // namespace

int32_t scaledLength(int32_t length, double scale) {
  const double scaled = std::floor(static_cast<double>(length) * scale + 0.5);
  if (!(scaled >= 1.0)) return 1;
  if (scaled >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(scaled);
}

Resampler::Axis resampleAxis(int32_t in, int32_t out) {
  Resampler::Axis axis;
  axis.start.reserve(static_cast<size_t>(out) + 1);
  if (out > in) {
    growAxis(in, out, &axis);
  } else if (out < in) {
    shrinkAxis(in, out, &axis);
  } else {
    for (int32_t x = 0; x < out; ++x) {
      axis.start.push_back(x);
      addTerm(&axis, x, 1);
    }
  }
  axis.start.push_back(static_cast<int32_t>(axis.source.size()));
  return axis;
}

int32_t nearestAnalysed(int32_t x, int32_t in, int32_t out) {
  const int64_t nearest = (2 * int64_t{x} + 1) * out / (2 * int64_t{in});
  return nearest < out ? static_cast<int32_t>(nearest) : out - 1;
}

void Resampler::prepare(int32_t inWidth, int32_t inHeight, int32_t outWidth, int32_t outHeight) {
  inWidth_ = inWidth;
  inHeight_ = inHeight;
  outWidth_ = outWidth;
  outHeight_ = outHeight;
  columns_ = resampleAxis(inWidth, outWidth);
  rows_ = resampleAxis(inHeight, outHeight);
  middle_.assign(static_cast<size_t>(inHeight) * static_cast<size_t>(outWidth), 0);
  rowTotals_.assign(static_cast<size_t>(outWidth), 0);
}

template <class Sample>
void Resampler::resample(const Sample* in, Sample* out) {
  // Columns first: every input row becomes a row of outWidth weighted sums.
  for (int32_t y = 0; y < inHeight_; ++y) {
    const Sample* row = in + static_cast<size_t>(y) * static_cast<size_t>(inWidth_);
    int64_t* sums = middle_.data() + static_cast<size_t>(y) * static_cast<size_t>(outWidth_);
    for (int32_t x = 0; x < outWidth_; ++x) {
      int64_t sum = 0;
      for (int32_t k = columns_.start[x]; k < columns_.start[x + 1]; ++k) {
        sum += columns_.weight[k] * row[columns_.source[k]];
      }
      sums[x] = sum;
    }
  }
  // Then rows, and one rounding of the whole fraction. Integer sums are
  // exact in any order, so each output row adds whole rows of sums. Sides
  // of at most 2^20 pixels keep the product of the two denominators below
  // 2^42 and every total below 2^59.
  const int64_t whole = columns_.denominator * rows_.denominator;
  int64_t* totals = rowTotals_.data();
  for (int32_t y = 0; y < outHeight_; ++y) {
    for (int32_t x = 0; x < outWidth_; ++x) totals[x] = 0;
    for (int32_t k = rows_.start[y]; k < rows_.start[y + 1]; ++k) {
      const int64_t w = rows_.weight[k];
      const int64_t* sums = middle_.data() + static_cast<size_t>(rows_.source[k]) * static_cast<size_t>(outWidth_);
      for (int32_t x = 0; x < outWidth_; ++x) totals[x] += w * sums[x];
    }
    Sample* target = out + static_cast<size_t>(y) * static_cast<size_t>(outWidth_);
    for (int32_t x = 0; x < outWidth_; ++x) {
      target[x] = static_cast<Sample>((2 * totals[x] + whole) / (2 * whole));
    }
  }
}

void Resampler::run(const uint8_t* in, uint8_t* out) { resample(in, out); }
void Resampler::run(const uint16_t* in, uint16_t* out) { resample(in, out); }

}  // namespace focustrack
