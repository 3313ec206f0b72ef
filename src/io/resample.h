// Resampling of slices to the working scale ("--scale F"): every slice of
// width x height pixels becomes a slice of scaledLength(width, F) x
// scaledLength(height, F) pixels before analysis. Each axis is resampled on
// its own, bilinearly where it grows and by area average where it shrinks,
// and then rounded once; all weights are whole numbers, so the result is
// exact and the same on every machine.
//
// Along an axis of `in` pixels resampled to `out`:
// - growing (out > in): output pixel X samples the input at
//   u = ((2X + 1) in - out) / (2 out), the position of its centre; with
//   i = floor(u) and r the remainder, the weights are (2 out - r) for
//   pixel i and r for pixel i + 1, over 2 out. Positions before the first
//   centre or after the last take the edge pixel.
// - shrinking (out < in): output pixel X covers input positions
//   [X in / out, (X + 1) in / out); each input pixel weighs its overlap,
//   counted in units of 1 / out, over in.
// - equal: each pixel is copied.
// The two axes' weights multiply; the value is the weighted sum over the
// product of the two denominators, rounded half up.
#pragma once

#include <cstdint>
#include <vector>

namespace focustrack {

// Longest side, before and after resampling, that the exact arithmetic
// allows.
constexpr int32_t kLongestResampledSide = 1 << 20;

// round(length x scale), at least 1 (and at most INT32_MAX).
int32_t scaledLength(int32_t length, double scale);

class Resampler {
 public:
  // Sets up the weights from inWidth x inHeight to outWidth x outHeight
  // (all at least 1). Storage is obtained here, not per slice.
  void prepare(int32_t inWidth, int32_t inHeight, int32_t outWidth, int32_t outHeight);

  // Resamples one slice; `in` holds inWidth x inHeight samples, `out`
  // receives outWidth x outHeight, both row-major, top row first.
  void run(const uint8_t* in, uint8_t* out);
  void run(const uint16_t* in, uint16_t* out);

  struct Axis {
    std::vector<int32_t> start;    // per output pixel: first entry in source/weight
    std::vector<int32_t> source;   // input pixel of each term
    std::vector<int64_t> weight;   // its whole-number weight
    int64_t denominator = 1;       // what the weights of one output pixel sum to
  };

  const Axis& columns() const { return columns_; }
  const Axis& rows() const { return rows_; }

 private:
  template <class Sample>
  void resample(const Sample* in, Sample* out);

  int32_t inWidth_ = 0;
  int32_t inHeight_ = 0;
  int32_t outWidth_ = 0;
  int32_t outHeight_ = 0;
  Axis columns_;
  Axis rows_;
  std::vector<int64_t> middle_;     // inHeight x outWidth, after the columns pass
  std::vector<int64_t> rowTotals_;  // one output row before rounding
};

// The weights of one axis from `in` to `out` pixels, as described above.
Resampler::Axis resampleAxis(int32_t in, int32_t out);

// The analysed pixel nearest to the centre of input pixel `x` on an axis of
// `in` input and `out` analysed pixels: floor((2x + 1) out / (2 in)), at
// most out - 1.
int32_t nearestAnalysed(int32_t x, int32_t in, int32_t out);

}  // namespace focustrack
