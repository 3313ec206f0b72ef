#include "base/angles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace focustrack {
namespace {

TEST(AngleTable, UsesTheFixedPiConstant) {
  AngleEntry table[kAngleEntries] = {};
  fillAngleTable(table);
  EXPECT_EQ(table[0].sinK, 0.0);
  EXPECT_EQ(table[0].cosK, 1.0);
  // Direction 15 lies slightly above 45 degrees with pi taken as 3.1415927.
  EXPECT_GT(table[15].sinK, table[15].cosK);
  EXPECT_NEAR(table[15].sinK - table[15].cosK, 1.6e-8, 0.2e-8);
  // Direction 120 does not quite close the circle.
  EXPECT_NE(table[120].sinK, 0.0);
}

}  // namespace
}  // namespace focustrack
