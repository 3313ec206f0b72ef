#include "reduce/reduce.h"
#include "reduce/slice_range.h"
#include "reduce/slope_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/processor.h"
#include "reduce/reference_slice.h"
#include "support/small_frame.h"

namespace focustrack {

namespace {

// A sample of either depth.
double sample(SmallFrame& f, int32_t s, size_t i) {
  if (f.buffers.sampleBits == 16) return f.buffers.sliceStack16[static_cast<size_t>(s) * f.n() + i];
  return f.plane(s)[i];
}

// The reference the slope map is compared with: one pixel at a time, every
// sum in slice order.
double plainSlope(SmallFrame& f, size_t i, int32_t first, int32_t last) {
  double sum = 0.0;
  for (int32_t s = first; s <= last; ++s) sum += sample(f, s, i);
  const double mean = sum / (last - first + 1);
  const double meanSlice = (first + last) / 2.0;
  double numerator = 0.0;
  double denominator = 0.0;
  for (int32_t s = first; s <= last; ++s) {
    numerator += (sample(f, s, i) - mean) * (s - meanSlice);
    denominator += (s - meanSlice) * (s - meanSlice);
  }
  return numerator / denominator;
}

using Range = std::pair<int32_t, int32_t>;  // first and last slice

// The range the search chose.
Range chosenRange(const SmallFrame& f) { return {f.buffers.rangeFirst, f.buffers.rangeLast}; }

// The reference the search is compared with: every candidate in turn, every
// pixel divided on its own, each energy summed over the whole mismatch map.
std::vector<RangeEnergy> plainEnergies(SmallFrame& f, int32_t trim) {
  std::vector<RangeEnergy> energies;
  if (trim <= 0) return energies;
  const size_t n = f.n();
  std::vector<double> g(n);
  for (size_t i = 0; i < n; ++i) g[i] = sample(f, f.buffers.referenceSlice, i);
  const double gMin = *std::min_element(g.begin(), g.end());
  const double gMax = *std::max_element(g.begin(), g.end());
  if (gMax == gMin) return energies;
  for (int32_t dropFirst = 0; dropFirst <= trim; ++dropFirst) {
    for (int32_t dropLast = 0; dropLast <= trim - dropFirst; ++dropLast) {
      const int32_t first = dropFirst;
      const int32_t last = f.settings.sliceCount - 1 - dropLast;
      if (last - first + 1 < 2) continue;
      std::vector<double> slope(n);
      double m = 0.0;
      for (size_t i = 0; i < n; ++i) {
        slope[i] = plainSlope(f, i, first, last);
        if (std::fabs(slope[i]) > m) m = std::fabs(slope[i]);
      }
      if (m == 0.0) continue;
      std::vector<double> mismatch(n);
      for (size_t i = 0; i < n; ++i) {
        const double a = (g[i] - gMin) / (gMax - gMin);
        const double p = (1 - slope[i] / m) * 0.5;
        mismatch[i] = (a - p) * (a - p);
      }
      energies.push_back({first, last, plainEnergy(mismatch, f.settings.width)});
    }
  }
  return energies;
}

Range plainSearch(SmallFrame& f, int32_t trim) {
  Range best{0, f.settings.sliceCount - 1};
  double bestEnergy = DBL_MAX;
  for (const RangeEnergy& range : plainEnergies(f, trim)) {
    if (range.energy < bestEnergy) {
      bestEnergy = range.energy;
      best = {range.first, range.last};
    }
  }
  return best;
}

// Every slice 16-bit, of values drawn uniformly from the whole range.
void fillRandom16(SmallFrame& f, uint32_t seed) {
  ASSERT_TRUE(obtainSixteenBitStack(f.buffers));
  f.buffers.sampleBits = 16;
  std::mt19937 random(seed);
  const size_t samples = f.n() * static_cast<size_t>(f.settings.sliceCount);
  for (size_t i = 0; i < samples; ++i) f.buffers.sliceStack16[i] = static_cast<uint16_t>(random());
}

// Slices given as rows of pixel values.
void fillStack(SmallFrame& f, const std::vector<std::vector<int>>& slices) {
  for (size_t s = 0; s < slices.size(); ++s) {
    for (size_t i = 0; i < slices[s].size(); ++i)
      f.plane(static_cast<int32_t>(s))[i] = static_cast<uint8_t>(slices[s][i]);
  }
}

void searchWith(SmallFrame& f, int32_t trim) {
  f.settings.sliceTrimLimit = trim;
  f.buffers.rangeFirst = 0;
  f.buffers.rangeLast = f.settings.sliceCount - 1;
  selectReferenceSlice(f.settings, f.buffers);
  searchSliceRange(f.settings, f.buffers);
}

TEST(SlopeMapTest, MatchesThePlainSlopeBitForBit) {
  // Sizes that fill several blocks of pixels and end in a partial one, with
  // 8-bit slices and with 16-bit slices over the whole 16-bit range.
  const int32_t sizes[][2] = {{37, 29}, {1, 1}, {1, 700}, {961, 3}};
  const Range ranges[] = {{0, 15}, {0, 11}, {4, 15}, {3, 12}, {1, 2}, {7, 8}, {0, 14}};
  uint32_t seed = 11;
  for (const int bits : {8, 16}) {
    for (const auto& size : sizes) {
      SmallFrame f(size[0], size[1], 16);
      f.fillRandom(seed++);
      if (bits == 16) fillRandom16(f, seed);
      for (const Range& r : ranges) {
        for (const bool avx2 : {true, false}) {
          const bool before = allowAvx2(avx2);
          const double m = slopeMap(f.buffers, r.first, r.second);
          allowAvx2(before);
          double largest = 0.0;
          for (size_t i = 0; i < f.n(); ++i) {
            const double expected = plainSlope(f, i, r.first, r.second);
            ASSERT_EQ(std::memcmp(&expected, &f.buffers.deltaMap[i], sizeof(double)), 0)
                << bits << " bits, " << size[0] << " x " << size[1] << " pixel " << i << " range " << r.first
                << ".." << r.second << (avx2 ? "" : ", baseline kernel");
            largest = std::max(largest, std::fabs(expected));
          }
          EXPECT_EQ(m, largest);
        }
      }
    }
  }
}

TEST(SearchSliceRangeTest, HandMadeStacks) {
  // Ties and limits; with 3 slices and limit 4 only (0, 2), (0, 1) and (1, 2)
  // hold two slices or more. Reference -1: not checked. Which candidates are
  // visited, and their energies, are compared with the plain search below.
  const struct {
    const char* label;
    int32_t width;
    std::vector<std::vector<int>> stack;
    int32_t trim, reference, first, last;
  } cases[] = {
      // (0, 1) and (1, 2) reach exactly the same energy, below that of (0, 2):
      // fewer slices dropped at the start comes first.
      {"equal energy keeps the first visited", 2, {{4, 0, 5, 8}, {1, 4, 8, 8}, {1, 4, 5, 8}}, 4, 0, 0, 1},
      // Opposite slopes in every range: the mismatch is flat, every energy 0.
      {"full stack wins a tie", 2, {{0, 100}, {10, 90}, {20, 80}}, 4, -1, 0, 2},
      {"trim limit below zero", 2, {{7, 5, 6, 6}, {8, 2, 8, 2}, {3, 3, 0, 2}}, -3, -1, 0, 2},
  };
  for (const auto& c : cases) {
    const int32_t slices = static_cast<int32_t>(c.stack.size());
    SmallFrame f(c.width, static_cast<int32_t>(c.stack[0].size()) / c.width, slices);
    fillStack(f, c.stack);
    searchWith(f, c.trim);
    if (c.reference >= 0) {
      EXPECT_EQ(f.buffers.referenceSlice, c.reference) << c.label;
    }
    EXPECT_EQ(chosenRange(f), Range(c.first, c.last)) << c.label;
  }
}

TEST(ComputeDeltaMapTest, ConstantPixelsOrASingleSliceGiveAFlatMap) {
  // Every pixel keeps its grey value through focus, or a single slice gives
  // no slope: the largest slope is 0.
  for (int32_t slices : {5, 1}) {
    SmallFrame f(8, 8, slices);
    f.fillRandom(4);
    for (int32_t s = 1; s < slices; ++s)
      for (size_t i = 0; i < f.n(); ++i) f.plane(s)[i] = f.plane(0)[i];
    f.fillDelta(-3.0);
    searchWith(f, 4);
    computeDeltaMap(f.settings, f.buffers);
    for (size_t i = 0; i < f.n(); ++i) {
      EXPECT_EQ(f.buffers.deltaMap[i], 0.0);
      EXPECT_FALSE(std::signbit(f.buffers.deltaMap[i]));
    }
    EXPECT_EQ(f.buffers.referenceSlice, 0);
    EXPECT_EQ(chosenRange(f), Range(0, slices - 1));
  }
}

TEST(SearchSliceRangeTest, UniformReferenceKeepsTheWholeStack) {
  SmallFrame f(2, 2, 3);
  fillStack(f, {{7, 5, 6, 6}, {8, 2, 8, 2}, {3, 3, 0, 2}});
  f.settings.sliceTrimLimit = 4;
  std::fill_n(f.plane(1), f.n(), 9);
  f.buffers.referenceSlice = 1;
  searchSliceRange(f.settings, f.buffers);
  EXPECT_EQ(chosenRange(f), Range(0, 2));
}

// The same candidates with the same energies to the bit, and the same
// choice, with the AVX2 kernels (where the processor has them) and without.
void expectPlainSearch(SmallFrame& f, int32_t trim, int32_t plainTrim, const char* label) {
  searchWith(f, trim);  // chooses the reference slice the plain search reads
  const std::vector<RangeEnergy> expected = plainEnergies(f, plainTrim);
  const Range chosen = plainSearch(f, plainTrim);
  for (const bool avx2 : {true, false}) {
    const bool before = allowAvx2(avx2);
    searchWith(f, trim);
    const std::vector<RangeEnergy> energies = sliceRangeEnergies(f.settings, f.buffers);
    allowAvx2(before);
    const std::string where = std::string(label) + (avx2 ? "" : ", baseline kernels");
    ASSERT_EQ(energies.size(), expected.size()) << where;
    for (size_t c = 0; c < expected.size(); ++c) {
      EXPECT_EQ(Range(energies[c].first, energies[c].last), Range(expected[c].first, expected[c].last)) << where;
      EXPECT_EQ(std::memcmp(&energies[c].energy, &expected[c].energy, sizeof(double)), 0)
          << where << " range " << expected[c].first << ".." << expected[c].last;
    }
    EXPECT_EQ(chosenRange(f), chosen) << where;
  }
}

TEST(SearchSliceRangeTest, AgreesWithThePlainSearch) {
  // Slices 0 and 1 equal: (0, 1) has no slope and is skipped.
  SmallFrame flat(2, 2, 3);
  fillStack(flat, {{1, 9, 4, 2}, {1, 9, 4, 2}, {5, 0, 6, 3}});
  expectPlainSearch(flat, 4, 4, "flat candidate");
  // A limit far above the slice count: only ranges of two slices or more.
  SmallFrame deep(5, 4, 4);
  deep.fillRandom(21, 0, 30);
  expectPlainSearch(deep, 1000000, 6, "limit beyond the stack");
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    SmallFrame f(9 + static_cast<int32_t>(seed), 7, 16);
    f.fillRandom(seed, 0, seed % 2 ? 255 : 12);
    const int32_t trim = static_cast<int32_t>(seed % 6);
    expectPlainSearch(f, trim, trim, "random stack");
  }
  // Wider than a block of slopes, a single column, and values 0..2 where
  // many pixels share the steepest slope of a range.
  const struct {
    int32_t width, height, high, trim;
  } sizes[] = {{600, 5, 255, 4}, {1, 700, 255, 4}, {37, 29, 2, 4}, {131, 9, 1, 14}, {40, 30, 255, 14}};
  uint32_t seed = 40;
  for (const auto& size : sizes) {
    SmallFrame f(size.width, size.height, 16);
    f.fillRandom(seed++, 0, size.high);
    expectPlainSearch(f, size.trim, size.trim, "8-bit");
    // The same stack at 16 bits, scaled and shifted, and at the full 16-bit range.
    SmallFrame wide(size.width, size.height, 16);
    ASSERT_TRUE(obtainSixteenBitStack(wide.buffers));
    wide.buffers.sampleBits = 16;
    for (size_t i = 0; i < f.n() * 16; ++i) {
      wide.buffers.sliceStack16[i] = static_cast<uint16_t>(f.buffers.sliceStack[i] * 251 + 1000);
    }
    expectPlainSearch(wide, size.trim, size.trim, "16-bit scaled");
    fillRandom16(wide, seed);
    expectPlainSearch(wide, size.trim, size.trim, "16-bit");
  }
}

TEST(SearchSliceRangeTest, RangesOfEqualNumeratorsAreDecidedByTheirExactEnergies) {
  // Each pixel's steps d0..d6 from slice to slice give both ranges of seven
  // of the eight slices the same exact slope numerator (the steps weighted
  // -6 -4 -2 0 2 4 6 add up to 0): only the rounding of the computed slopes
  // tells their energies apart.
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    SmallFrame f(16, 12, 8);
    std::mt19937 random(seed);
    const auto draw = [&random](int32_t below) { return static_cast<int32_t>(random() % below); };
    for (size_t i = 0; i < f.n(); ++i) {
      int32_t d[7] = {draw(20), draw(20), 0, draw(20), 0, draw(20), draw(20)};
      const int32_t rest = -6 * d[0] - 4 * d[1] + 4 * d[5] + 6 * d[6];
      d[2] = std::max(0, rest / 2) + draw(10);
      d[4] = d[2] - rest / 2;
      int32_t v = draw(40);
      for (int32_t s = 0; s < 8; ++s) {
        f.plane(s)[i] = static_cast<uint8_t>(v);
        if (s < 7) v += d[s];
      }
    }
    expectPlainSearch(f, 1, 1, "ranges of equal numerators");
  }
}

// Every estimate lies within its reach of the exact energy; on stacks of
// ordinary slopes the reach is a tiny share of the energy, so that the
// estimates decide.
void expectWithinReach(SmallFrame& f, int32_t trim, double share, const char* label) {
  searchWith(f, trim);
  const std::vector<RangeEnergy> exact = sliceRangeEnergies(f.settings, f.buffers);
  const std::vector<RangeEstimate> estimates = sliceRangeEstimates(f.settings, f.buffers);
  ASSERT_EQ(estimates.size(), exact.size()) << label;
  for (size_t c = 0; c < exact.size(); ++c) {
    EXPECT_EQ(Range(estimates[c].first, estimates[c].last), Range(exact[c].first, exact[c].last)) << label;
    EXPECT_LE(std::fabs(estimates[c].energy - exact[c].energy), estimates[c].reach) << label;
    EXPECT_LE(estimates[c].reach, share * exact[c].energy) << label;
  }
}

TEST(SearchSliceRangeTest, EstimatesLieWithinTheirReach) {
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    SmallFrame f(200, 150, 16);
    f.fillRandom(seed, 0, seed % 2 ? 255 : 12);
    expectWithinReach(f, 4, 1e-8, "8-bit");
    fillRandom16(f, seed);
    expectWithinReach(f, 4, 1e-8, "16-bit");
  }
  // Slopes of nothing but rounding: the reach covers every energy. Every
  // pixel's slope over the five slices is 0 without rounding, but the mean
  // 3/5 rounds, and so do the computed slopes: the full range stays a
  // candidate with slopes that tiny, as it is for the plain search.
  SmallFrame f(3, 1, 5);
  fillStack(f, {{0, 0, 1}, {2, 4, 3}, {0, 0, 1}, {0, 0, 1}, {1, 2, 2}});
  expectWithinReach(f, 1, INFINITY, "rounded slopes only");
  ASSERT_NE(slopeMap(f.buffers, 0, 4), 0.0);
  expectPlainSearch(f, 1, 1, "rounded slopes only");
}

}  // namespace

}  // namespace focustrack
