#include "io/resample.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

namespace focustrack {

namespace {

// The straightforward form: every output pixel sums weight x weight x value
// over the input pixels of both axes, then rounds once, half up.
template <class Sample>
std::vector<Sample> direct(const std::vector<Sample>& in, int32_t inWidth, int32_t inHeight, int32_t outWidth,
                           int32_t outHeight) {
  const Resampler::Axis columns = resampleAxis(inWidth, outWidth);
  const Resampler::Axis rows = resampleAxis(inHeight, outHeight);
  const int64_t whole = columns.denominator * rows.denominator;
  std::vector<Sample> out(static_cast<size_t>(outWidth) * outHeight);
  for (int32_t y = 0; y < outHeight; ++y) {
    for (int32_t x = 0; x < outWidth; ++x) {
      int64_t total = 0;
      for (int32_t j = rows.start[y]; j < rows.start[y + 1]; ++j) {
        for (int32_t i = columns.start[x]; i < columns.start[x + 1]; ++i) {
          total += rows.weight[j] * columns.weight[i] *
                   in[static_cast<size_t>(rows.source[j]) * inWidth + columns.source[i]];
        }
      }
      out[static_cast<size_t>(y) * outWidth + x] = static_cast<Sample>((2 * total + whole) / (2 * whole));
    }
  }
  return out;
}

template <class Sample>
std::vector<Sample> resampled(const std::vector<Sample>& in, int32_t inWidth, int32_t inHeight, int32_t outWidth,
                              int32_t outHeight) {
  Resampler resampler;
  resampler.prepare(inWidth, inHeight, outWidth, outHeight);
  std::vector<Sample> out(static_cast<size_t>(outWidth) * outHeight, 0);
  resampler.run(in.data(), out.data());
  return out;
}

struct Term {
  int32_t source;
  int64_t weight;
  bool operator==(const Term&) const = default;
};

std::vector<std::vector<Term>> termsOf(const Resampler::Axis& axis) {
  std::vector<std::vector<Term>> terms;
  for (size_t x = 0; x + 1 < axis.start.size(); ++x) {
    terms.emplace_back();
    for (int32_t k = axis.start[x]; k < axis.start[x + 1]; ++k) terms.back().push_back({axis.source[k], axis.weight[k]});
  }
  return terms;
}

}  // namespace

TEST(Resample, ScaledLengthRoundsHalfUpAndKeepsOnePixel) {
  EXPECT_EQ(scaledLength(101, 0.5), 51);  // 50.5
  EXPECT_EQ(scaledLength(100, 0.5), 50);
  EXPECT_EQ(scaledLength(960, 1.5), 1440);
  EXPECT_EQ(scaledLength(3, 0.1), 1);
}

TEST(Resample, AxisWeightsOfGrowingAndShrinking) {
  // Doubling: centres at -0.25, 0.25, 0.75, 1.25 input pixels; the outer
  // ones take the edge pixel.
  Resampler::Axis doubled = resampleAxis(2, 4);
  EXPECT_EQ(doubled.denominator, 8);
  EXPECT_EQ(termsOf(doubled), (std::vector<std::vector<Term>>{{{0, 8}}, {{0, 6}, {1, 2}}, {{0, 2}, {1, 6}}, {{1, 8}}}));
  // Halving: each output pixel averages two input pixels.
  Resampler::Axis halved = resampleAxis(4, 2);
  EXPECT_EQ(halved.denominator, 4);
  EXPECT_EQ(termsOf(halved), (std::vector<std::vector<Term>>{{{0, 2}, {1, 2}}, {{2, 2}, {3, 2}}}));
  // 3 to 2: the middle input pixel is shared half and half.
  EXPECT_EQ(termsOf(resampleAxis(3, 2)), (std::vector<std::vector<Term>>{{{0, 2}, {1, 1}}, {{1, 1}, {2, 2}}}));
  EXPECT_EQ(termsOf(resampleAxis(3, 3)), (std::vector<std::vector<Term>>{{{0, 1}}, {{1, 1}}, {{2, 1}}}));
  // Every output pixel's weights sum to the denominator, on input pixels only.
  for (const auto& [in, out] : {std::pair{1, 9}, {9, 1}, {7, 3}, {3, 7}, {40, 39}}) {
    const Resampler::Axis axis = resampleAxis(in, out);
    for (const std::vector<Term>& pixel : termsOf(axis)) {
      int64_t sum = 0;
      for (const Term& t : pixel) sum += t.source >= 0 && t.source < in ? t.weight : 0;
      EXPECT_EQ(sum, axis.denominator) << in << " to " << out;
    }
  }
}

// Known values of the weights above: SeparablePassesEqualTheDirectSum.
TEST(Resample, SixteenBitExtremesSurviveALargeEnlargement) {
  // 4 x 2 halved: each 2 x 2 block's mean, halves rounded up (1.5 -> 2, 6.5 -> 7).
  EXPECT_EQ(resampled<uint8_t>({1, 2, 5, 7, 1, 2, 7, 7}, 4, 2, 2, 1), (std::vector<uint8_t>{2, 7}));
  // No overflow of the sums.
  const std::vector<uint16_t> big = resampled<uint16_t>({65535, 0, 0, 65535}, 2, 2, 700, 700);
  EXPECT_EQ(std::tuple(big.front(), big.back(), big[699]), std::tuple(65535, 65535, 0));
}

TEST(Resample, SeparablePassesEqualTheDirectSum) {
  std::vector<uint8_t> values8(37 * 23);
  std::vector<uint16_t> values16(37 * 23);
  for (size_t i = 0; i < values8.size(); ++i) {
    values8[i] = static_cast<uint8_t>((i * 97 + i / 37 * 13) & 0xFF);
    values16[i] = static_cast<uint16_t>(i * 4099 + i / 37 * 331);
  }
  const int32_t sizes[][2] = {{74, 46}, {18, 12}, {55, 34}, {37, 11}, {90, 23}, {5, 60}, {1, 1}};
  for (const auto& size : sizes) {
    EXPECT_EQ(resampled(values8, 37, 23, size[0], size[1]), direct(values8, 37, 23, size[0], size[1]))
        << size[0] << " x " << size[1];
    EXPECT_EQ(resampled(values16, 37, 23, size[0], size[1]), direct(values16, 37, 23, size[0], size[1]))
        << size[0] << " x " << size[1];
  }
}

TEST(Resample, NearestAnalysedPixel) {
  // Input pixel, input length, analysed length, the analysed pixel nearest.
  const int32_t cases[][4] = {
      // Doubled: input pixel x is centred between analysed 2x and 2x + 1.
      {0, 117, 234, 1}, {116, 117, 234, 233},
      // Halved: two input pixels share one analysed pixel.
      {6, 10, 5, 3}, {7, 10, 5, 3}, {9, 10, 5, 4}, {0, 1, 1, 0}};
  for (const auto& c : cases) EXPECT_EQ(nearestAnalysed(c[0], c[1], c[2]), c[3]) << c[0] << " of " << c[1];
}

}  // namespace focustrack
