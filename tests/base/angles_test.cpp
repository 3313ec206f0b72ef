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
  // Direction 9 is the first whose sine depends on the order the angle is
  // evaluated in: k x 360 / 120 / 180 x pi.
  EXPECT_EQ(table[9].sinK, 0x1.d0e2e31eddf1bp-2);
}

}  // namespace
}  // namespace focustrack
