#include "base/parallel.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace focustrack {
namespace {

// Many more items than the threads have tasks for: every item is visited
// once, in ranges of at least the grain, and the other thread takes some of
// them. The calling thread's first range waits for the other thread's first,
// which never comes when every range runs on the calling thread.
TEST(ThreadsForRanges, ShareManyItemsWithTheOtherThreadExactlyOnce) {
  for (int64_t items : {5, 300, 5000}) {
    std::vector<std::atomic<int>> visits(static_cast<size_t>(items));
    std::atomic<bool> otherRan{false};
    std::atomic<int64_t> shortest{items};
    bool waitedInVain = false;
#pragma omp parallel num_threads(2)
#pragma omp master
    forRanges(0, items, 1, [&](int64_t begin, int64_t end) {
      if (end < items && end - begin < shortest) shortest = end - begin;
      for (int64_t i = begin; i < end; ++i) ++visits[static_cast<size_t>(i)];
      if (omp_get_thread_num() != 0) {
        otherRan = true;
        return;
      }
      if (waitedInVain) return;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!otherRan && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
      if (!otherRan) waitedInVain = true;
    });
    for (int64_t i = 0; i < items; ++i) ASSERT_EQ(visits[static_cast<size_t>(i)], 1) << items << " items, item " << i;
    EXPECT_GE(shortest, 1);
    EXPECT_FALSE(waitedInVain) << items << " items: the other thread took no range";
  }
}

}  // namespace
}  // namespace focustrack
