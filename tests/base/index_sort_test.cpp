// The index sort against its straightforward form: the list reordered in
// place, every key looked up through the list. Same exchanges, so the same
// order of equal keys, also where long lists are split among threads (their
// short parts go through the one-thread loop); and its limits.
#include "base/index_sort.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace focustrack {

namespace {

// Median of three, then the two scans exchanging every pair that stops
// them (equal keys included), then both parts.
template <class Key>
void straightIndexSort(int32_t* list, const Key* key, int32_t lo, int32_t hi) {
  if (lo >= hi) return;
  const Key a = key[list[lo]];
  const Key b = key[list[lo + (hi - lo) / 2]];
  const Key c = key[list[hi]];
  const Key pivot = a < b ? (b < c ? b : (a > c ? a : c)) : (b > c ? b : (a < c ? a : c));
  int32_t i = lo;
  int32_t j = hi;
  for (;;) {
    while (key[list[i]] < pivot) ++i;
    while (key[list[j]] > pivot) --j;
    if (i >= j) break;
    std::swap(list[i], list[j]);
    ++i;
    --j;
  }
  straightIndexSort(list, key, lo, i - 1);
  straightIndexSort(list, key, j + 1, hi);
}

struct Lcg {
  uint64_t state;
  uint32_t next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
};

// Keys with few distinct values (many ties), runs of equal and of rising
// keys, and a scrambled start order.
std::vector<double> doubleKeys(size_t n, uint64_t seed, uint32_t distinct) {
  Lcg random{seed};
  std::vector<double> keys(n);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t r = random.next();
    if (i % 1000 < 100) {
      keys[i] = 0.0;  // a long run of one value
    } else if (i % 1000 < 150) {
      keys[i] = static_cast<double>(i % 1000) / 1000.0;  // a rising run
    } else {
      keys[i] = static_cast<double>(r % distinct) / distinct - 0.5;
    }
  }
  return keys;
}

std::vector<int32_t> scrambled(size_t n, uint64_t seed) {
  std::vector<int32_t> list(n);
  std::iota(list.begin(), list.end(), 0);
  Lcg random{seed};
  for (size_t i = n; i > 1; --i) std::swap(list[i - 1], list[random.next() % i]);
  return list;
}

template <class Key>
void expectSameOrder(const std::vector<Key>& keys, uint64_t seed) {
  const std::vector<int32_t> start = scrambled(keys.size(), seed);
  std::vector<int32_t> expected = start;
  straightIndexSort(expected.data(), keys.data(), 0, static_cast<int32_t>(keys.size()) - 1);
  std::vector<int32_t> list = start;
  IndexSort sorter;
#pragma omp parallel num_threads(4)
#pragma omp master
  sorter.sort(list.data(), keys.data(), static_cast<int32_t>(keys.size()) - 1);
  ASSERT_EQ(list, expected) << "seed " << seed;
}

TEST(ThreadsIndexSort, ListsLongEnoughForTasksAgreeWithTheStraightforwardSort) {
  for (uint64_t seed = 1; seed <= 3; ++seed) {
    for (uint32_t distinct : {3u, 500u, 1u << 20}) {
      expectSameOrder(doubleKeys(200000 + seed * 12345, seed, distinct), seed);
    }
    std::vector<int32_t> ints(150000);
    Lcg random{seed};
    for (int32_t& k : ints) k = static_cast<int32_t>(random.next() % 40);
    expectSameOrder(ints, seed);
  }
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
  std::vector<int32_t> list(n);
  std::iota(list.begin(), list.end(), 0);
  IndexSort sorter;
  sorter.sort(list.data(), key.data(), n - 1);
  EXPECT_GT(sorter.deepest(), 1000);
  for (int32_t k = 1; k < n; ++k) ASSERT_LE(key[list[k - 1]], key[list[k]]);
}

}  // namespace

}  // namespace focustrack
