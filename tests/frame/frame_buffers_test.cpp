#include "frame/frame_buffers.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

namespace focustrack {

namespace {

// Growing keeps every entry, zero-fills the new ones, and doubles at least,
// up to the limit that stands in for memory running out.
TEST(Buffers, TablesGrowKeepingTheirContents) {
  FrameBuffers b;
  Buffer<RegionRecord>& table = b.regionTable;
  ASSERT_TRUE(table.obtain(4));
  for (int32_t r = 0; r < 4; ++r) table[r] = RegionRecord{r, 10 + r, 100 + r};
  b.tableLimit = 30;
  // Room for entry 3 already; 4 doubles the table; 20 needs more than double;
  // 29 stops at the limit.
  for (const auto& [entry, size] : {std::pair{3, 4u}, {4, 8u}, {20, 21u}, {29, 30u}}) {
    EXPECT_TRUE(makeRoom(b, table, entry));
    EXPECT_EQ(table.size(), size) << entry;
  }
  for (int32_t r = 0; r < 4; ++r) {
    EXPECT_EQ(std::tuple(table[r].parent, table[r].cellNumber, table[r].size), std::tuple(r, 10 + r, 100 + r));
  }
  for (int32_t r = 4; r < 21; ++r) EXPECT_EQ(table[r].parent | table[r].cellNumber | table[r].size, 0) << r;
  EXPECT_FALSE(makeRoom(b, table, 30));
  EXPECT_EQ(table.size(), 30u);
  EXPECT_FALSE(makeRoom(b, table, -1));
  EXPECT_FALSE(table.grow(UINT64_MAX));  // a request that cannot be met changes nothing
  EXPECT_EQ(table[3].size, 103);
}

TEST(Buffers, CapacityNotesAreSaidOncePerFrame) {
  FrameBuffers b;
  noteCapacity(b, "out of memory for more blobs");
  noteCapacity(b, "out of memory for more cells");
  noteCapacity(b, "out of memory for more blobs");
  EXPECT_EQ(b.capacityNote, "out of memory for more blobs; out of memory for more cells");
}

}  // namespace

}  // namespace focustrack
