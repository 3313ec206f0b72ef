#include "base/processor.h"

#include <atomic>

namespace focustrack {

namespace {

bool processorRunsAvx2() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

std::atomic<bool> avx2Allowed{true};

}  // namespace

bool processorHasAvx2() {
  static const bool runsAvx2 = processorRunsAvx2();
  return runsAvx2 && avx2Allowed.load(std::memory_order_relaxed);
}

bool allowAvx2(bool allowed) { return avx2Allowed.exchange(allowed); }

}  // namespace focustrack
