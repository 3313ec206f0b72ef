#include "base/index_sort.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace focustrack {

namespace {

std::vector<int32_t> identity(size_t n) {
  std::vector<int32_t> list(n);
  std::iota(list.begin(), list.end(), 0);
  return list;
}

// The order of equal keys (the exchanges of the partition scans) is pinned
// against the straightforward sort in index_sort_reference_test.cpp.
TEST(IndexSort, LastPositionZeroOrBelowLeavesTheList) {
  const int32_t key[] = {3, 1, 2};
  std::vector<int32_t> list = {2, 0, 1};
  IndexSort sorter;
  sorter.sort(list.data(), key, 0);
  sorter.sort(list.data(), key, -5);
  EXPECT_EQ(list, (std::vector<int32_t>{2, 0, 1}));
}

// Two largest keys at both ends make every pivot the largest key of its
// range, so each step peels one element off and leaves its right part
// pending: one pending range per element. The stack must grow, and the
// result must still be sorted.
TEST(IndexSort, GrowsBeyondAThousandPendingRanges) {
  const int32_t n = 3000;
  std::vector<int32_t> key(n);
  for (int32_t i = 0; i < n; ++i) key[i] = i;
  key[0] = n;
  key[n - 1] = n;
  std::vector<int32_t> list = identity(n);
  IndexSort sorter;
  sorter.sort(list.data(), key.data(), n - 1);
  EXPECT_GT(sorter.deepest(), 1000);
  for (int32_t k = 1; k < n; ++k) ASSERT_LE(key[list[k - 1]], key[list[k]]);
}

}  // namespace

}  // namespace focustrack
