// The fixed tables: the disk offsets, nearest first, and the angles.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "base/angles.h"
#include "base/disk_offsets.h"

namespace focustrack {
namespace {

TEST(DiskOffsets, NearestFirstInSortOrder) {
  int8_t dx[kDiskOffsetSlots];
  int8_t dy[kDiskOffsetSlots];
  const int32_t count = fillDiskOffsets(dx, dy);
  ASSERT_EQ(count, 317);
  const std::vector<std::pair<int, int>> first25 = {
      {0, 0}, {0, -1}, {0, 1}, {-1, 0}, {1, 0}, {-1, 1}, {-1, -1}, {1, -1}, {1, 1},
      {0, -2}, {-2, 0}, {0, 2}, {2, 0}, {-1, 2}, {-2, -1}, {-2, 1}, {2, 1}, {1, -2},
      {1, 2}, {2, -1}, {-1, -2}, {-2, 2}, {-2, -2}, {2, -2}, {2, 2}};
  for (size_t m = 0; m < first25.size(); ++m) {
    EXPECT_EQ((std::pair<int, int>(dx[m], dy[m])), first25[m]) << "offset " << m;
  }
  // Distances never decrease up to 10 (the count includes distance exactly 10).
  for (int32_t m = 1; m < count; ++m) {
    const int d0 = dx[m - 1] * dx[m - 1] + dy[m - 1] * dy[m - 1];
    const int d1 = dx[m] * dx[m] + dy[m] * dy[m];
    EXPECT_LE(d0, d1);
    EXPECT_LE(d1, 100);
  }
}

// Direction 9 is the first whose sine depends on the order the angle is
// evaluated in (k x 360 / 120 / 180 x pi) and on pi taken as 3.1415927.
TEST(AngleTable, UsesTheFixedPiConstantAndOperationOrder) {
  AngleEntry table[kAngleEntries] = {};
  fillAngleTable(table);
  EXPECT_EQ(table[9].sinK, 0x1.d0e2e31eddf1bp-2);
}

}  // namespace
}  // namespace focustrack
