#include "synth/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "synth/texture.h"

TEST(SynthRandom, SplitmixFinaliserKnownValue) {
  // First splitmix64 output for state 0 (state advanced by the golden gamma).
  EXPECT_EQ(mixBits(0x9E3779B97F4A7C15ull), 0xE220A8397B1DCDAFull);
}

TEST(SynthRandom, XoshiroStreamFromSeedZero) {
  // xoshiro256** with its state filled by splitmix64 from 0, as published.
  Random random(0);
  EXPECT_EQ(random.next(), 0x99EC5F36CB75F2B4ull);
  EXPECT_EQ(random.next(), 0xBF6E1F784956452Aull);
  EXPECT_EQ(random.next(), 0x1A5F849D4933E6E0ull);
}

TEST(SynthRandom, DrawsStayInTheirRanges) {
  Random random(7);
  for (int k = 0; k < 10000; ++k) {
    const double u = random.uniform();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    const int32_t b = random.below(3);
    ASSERT_GE(b, 0);
    ASSERT_LT(b, 3);
    double x, y;
    random.unitVector(&x, &y);
    ASSERT_NEAR(x * x + y * y, 1.0, 1e-12);
  }
  EXPECT_EQ(Random(7).below(1), 0);
}

TEST(SynthRandom, NoiseHasUnitSpread) {
  Random random(11);
  const int count = 200000;
  double sum = 0.0;
  double squares = 0.0;
  for (int k = 0; k < count; ++k) {
    const double v = random.noise();
    sum += v;
    squares += v * v;
  }
  const double mean = sum / count;
  EXPECT_NEAR(mean, 0.0, 0.01);
  EXPECT_NEAR(std::sqrt(squares / count - mean * mean), 1.0, 0.01);
}

TEST(SynthTexture, ValueNoiseIsBoundedAndHitsLatticeValues) {
  // Between lattice points the value is a blend, so it never leaves [-1, 1];
  // at a lattice point it is that point's own value, so neighbours differ.
  double lowest = 1.0;
  double highest = -1.0;
  for (int y = -20; y < 20; ++y) {
    for (int x = -20; x < 20; ++x) {
      const double v = valueNoise(5, x * 0.7, y * 0.7, 4.0);
      lowest = std::fmin(lowest, v);
      highest = std::fmax(highest, v);
    }
  }
  EXPECT_GE(lowest, -1.0);
  EXPECT_LE(highest, 1.0);
  EXPECT_LT(lowest, -0.3);
  EXPECT_GT(highest, 0.3);
  EXPECT_NE(valueNoise(5, 0.0, 0.0, 4.0), valueNoise(5, 4.0, 0.0, 4.0));
  EXPECT_NE(valueNoise(5, 0.0, 0.0, 4.0), valueNoise(6, 0.0, 0.0, 4.0));
  // Continuous: a small step changes the value only a little.
  EXPECT_NEAR(valueNoise(5, 1.0, 1.0, 4.0), valueNoise(5, 1.01, 1.0, 4.0), 0.01);
}
