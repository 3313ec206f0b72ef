#include "base/parallel.h"

#include <omp.h>
#include <sched.h>

namespace focustrack {

int32_t availableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  const int count = CPU_COUNT(&set);
  return count > 0 ? count : 1;
}

bool threadsAvailable() { return omp_in_parallel() && omp_get_num_threads() > 1; }

int64_t taskLimit() { return int64_t{16} * omp_get_num_threads(); }

}  // namespace focustrack
