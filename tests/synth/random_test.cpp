#include "synth/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

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

}  // namespace focustrack
