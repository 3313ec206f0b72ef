// Threads: how many the process may use, and the helpers through which the
// stages hand out work. Work is handed out as OpenMP tasks, so that a stage
// running inside the frame pipeline shares the threads with the frame being
// prepared ahead; outside a parallel region every task runs at once on the
// calling thread, in order. Every split is one whose parts touch disjoint
// data, so the results never depend on the number of threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace focustrack {

// The number of cores the process may run on (its affinity mask), at least 1.
int32_t availableCores();

// True when a parallel region with more than one thread is active, that is
// when splitting work can pay.
bool threadsAvailable();

// The most tasks one split hands out: a few per thread of the region.
int64_t taskLimit();

// Calls part(begin, end) for consecutive ranges that cover first .. last - 1,
// each of at least `grain` items (the last may be shorter), as tasks of the
// current parallel region, and returns when all have run. Without threads it
// calls part(first, last) once.
template <class Part>
void forRanges(int64_t first, int64_t last, int64_t grain, Part&& part) {
  if (last <= first) return;
  if (!threadsAvailable() || last - first <= grain) {
    part(first, last);
    return;
  }
  if (grain < 1) grain = 1;
  // Too many tasks at once and the runtime may run them all on the calling
  // thread; longer ranges keep the count within what it hands out.
  const int64_t tasks = taskLimit();
  if ((last - first + grain - 1) / grain > tasks) grain = (last - first + tasks - 1) / tasks;
#pragma omp taskloop grainsize(1) default(shared)
  for (int64_t begin = first; begin < last; begin += grain) {
    part(begin, begin + grain < last ? begin + grain : last);
  }
}

// Hands first .. last - 1 out one at a time to a few tasks of the current
// parallel region: calls work(next) on each task, where next() answers an
// item no other call has had, or `last` when none is left, and returns when
// all have run. A thread that comes free late still finds items, so items of
// uneven cost balance. Unless `apart` (the items may run side by side) and
// threads are available, work runs once and next() answers every item in
// order.
template <class Work>
void forClaimed(int64_t first, int64_t last, bool apart, Work&& work) {
  if (last <= first) return;
  if (!apart || !threadsAvailable() || last - first == 1) {
    int64_t item = first;
    work([&item, last] { return item < last ? item++ : last; });
    return;
  }
  std::atomic<int64_t> unclaimed{first};
  const auto next = [&unclaimed, last] {
    const int64_t item = unclaimed.fetch_add(1, std::memory_order_relaxed);
    return item < last ? item : last;
  };
  const int64_t tasks = std::min<int64_t>(last - first, taskLimit());
#pragma omp taskloop grainsize(1) default(shared)
  for (int64_t task = 0; task < tasks; ++task) work(next);
}

}  // namespace focustrack
