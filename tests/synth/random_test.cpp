#include "synth/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "synth/texture.h"

namespace focustrack {

TEST(SynthRandom, PublishedStreams) {
  // First splitmix64 output for state 0 (state advanced by the golden gamma).
  EXPECT_EQ(mixBits(0x9E3779B97F4A7C15ull), 0xE220A8397B1DCDAFull);
  // xoshiro256** with its state filled by splitmix64 from 0.
  Random random(0);
  for (uint64_t expected : {0x99EC5F36CB75F2B4ull, 0xBF6E1F784956452Aull, 0x1A5F849D4933E6E0ull}) {
    EXPECT_EQ(random.next(), expected);
  }
}

TEST(SynthRandom, DrawsStayInTheirRangesAndNoiseHasUnitSpread) {
  Random random(7);
  for (int k = 0; k < 10000; ++k) {
    const double u = random.uniform();
    ASSERT_TRUE(u >= 0.0 && u < 1.0) << u;
    const int32_t b = random.below(3);
    ASSERT_TRUE(b >= 0 && b < 3) << b;
    double x, y;
    random.unitVector(&x, &y);
    ASSERT_NEAR(x * x + y * y, 1.0, 1e-12);
  }
  EXPECT_EQ(Random(7).below(1), 0);
  const int count = 200000;
  double sum = 0.0, squares = 0.0;
  for (int k = 0; k < count; ++k) {
    const double v = random.noise();
    sum += v;
    squares += v * v;
  }
  EXPECT_NEAR(sum / count, 0.0, 0.01);
  EXPECT_NEAR(std::sqrt(squares / count - (sum / count) * (sum / count)), 1.0, 0.01);
}

TEST(SynthTexture, ValueNoiseIsBoundedAndHitsLatticeValues) {
  // Between lattice points the value is a blend, so it never leaves [-1, 1];
  // at a lattice point it is that point's own value, so neighbours differ.
  double lowest = 1.0, highest = -1.0;
  for (int y = -20; y < 20; ++y) {
    for (int x = -20; x < 20; ++x) {
      lowest = std::fmin(lowest, valueNoise(5, x * 0.7, y * 0.7, 4.0));
      highest = std::fmax(highest, valueNoise(5, x * 0.7, y * 0.7, 4.0));
    }
  }
  EXPECT_TRUE(lowest >= -1.0 && lowest < -0.3) << lowest;
  EXPECT_TRUE(highest <= 1.0 && highest > 0.3) << highest;
  EXPECT_NE(valueNoise(5, 0.0, 0.0, 4.0), valueNoise(5, 4.0, 0.0, 4.0));
  EXPECT_NE(valueNoise(5, 0.0, 0.0, 4.0), valueNoise(6, 0.0, 0.0, 4.0));
  // Continuous: a small step changes the value only a little.
  EXPECT_NEAR(valueNoise(5, 1.0, 1.0, 4.0), valueNoise(5, 1.01, 1.0, 4.0), 0.01);
}

}  // namespace focustrack
