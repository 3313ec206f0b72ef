#include "output/grey_stretch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

namespace focustrack {

TEST(GreyStretch, PercentilesAreRanksOfTheSortedSamples) {
  std::vector<uint32_t> histogram;
  // 250 samples: 2 cut at each end.
  std::vector<uint16_t> samples;
  for (int i = 0; i < 250; ++i) samples.push_back(static_cast<uint16_t>(65535 - 200 * i));
  GreyStretch s = percentileStretch(samples.data(), 250, histogram);
  EXPECT_EQ(std::tuple(s.low, s.high), std::tuple(65535 - 200 * 247, 65535 - 200 * 2));
  // Fewer than 100 samples: nothing cut, the extremes.
  s = percentileStretch(samples.data(), 99, histogram);
  EXPECT_EQ(std::tuple(s.low, s.high), std::tuple(65535 - 200 * 98, 65535));
  // Repeated values: the rank falls inside a run.
  std::vector<uint16_t> runs(300, 40);
  runs.insert(runs.end(), 100, 9);
  s = percentileStretch(runs.data(), 400, histogram);
  EXPECT_EQ(std::tuple(s.low, s.high), std::tuple(9, 40));
}

TEST(GreyStretch, LinearBetweenTheBoundsRoundedHalfUp) {
  const GreyStretch s{1000, 3000};
  EXPECT_EQ(stretchedGrey(0, s), 0);
  EXPECT_EQ(stretchedGrey(1000, s), 0);
  EXPECT_EQ(stretchedGrey(1004, s), 1);  // 0.51
  EXPECT_EQ(stretchedGrey(2000, s), 128);  // 127.5 rounds up
  EXPECT_EQ(stretchedGrey(2999, s), 255);  // 254.87
  EXPECT_EQ(stretchedGrey(65535, s), 255);
  // A uniform slice: at or below its value black, above it white.
  const GreyStretch flat{500, 500};
  EXPECT_EQ(stretchedGrey(500, flat), 0);
  EXPECT_EQ(stretchedGrey(501, flat), 255);
}

}  // namespace focustrack
