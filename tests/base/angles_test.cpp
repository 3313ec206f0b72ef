#include "base/angles.h"

#include <gtest/gtest.h>

namespace focustrack {
namespace {

// Direction 9 is the first whose sine depends on the order the angle is
// evaluated in (k x 360 / 120 / 180 x pi) and on pi taken as 3.1415927.
TEST(AngleTable, UsesTheFixedPiConstantAndOperationOrder) {
  AngleEntry table[kAngleEntries] = {};
  fillAngleTable(table);
  EXPECT_EQ(table[9].sinK, 0x1.d0e2e31eddf1bp-2);
}

}  // namespace
}  // namespace focustrack
