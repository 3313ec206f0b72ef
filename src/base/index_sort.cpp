#include "base/index_sort.h"

#include <cstddef>

namespace focustrack {

namespace {
constexpr std::size_t kInitialSlots = 1000;
}

IndexSort::IndexSort() : stack_(kInitialSlots) {}

void IndexSort::sort(int32_t* list, const double* key, int32_t last) { run(list, key, last); }
void IndexSort::sort(int32_t* list, const int32_t* key, int32_t last) { run(list, key, last); }

template <class Key>
void IndexSort::run(int32_t* list, const Key* key, int32_t last) {
  deepest_ = 0;
  if (last <= 0) return;
  int32_t top = 0;
  stack_[0] = {0, last};
  deepest_ = 1;
  while (top >= 0) {
    const Range range = stack_[static_cast<std::size_t>(top)];
    --top;
    const int32_t lo = range.lo;
    const int32_t hi = range.hi;
    if (lo >= hi) continue;

    const Key a = key[list[lo]];
    const Key b = key[list[lo + (hi - lo) / 2]];
    const Key c = key[list[hi]];
    Key pivot;
    if (a < b) {
      pivot = b < c ? b : (a > c ? a : c);
    } else {
      pivot = b > c ? b : (a < c ? a : c);
    }

    // Entries equal to the pivot stop both scans and are exchanged.
    int32_t i = lo;
    int32_t j = hi;
    for (;;) {
      while (key[list[i]] < pivot) ++i;
      while (key[list[j]] > pivot) --j;
      if (i >= j) break;
      const int32_t swap = list[i];
      list[i] = list[j];
      list[j] = swap;
      ++i;
      --j;
    }

    // The right part waits in the freed slot, the left part above it is
    // taken next.
    if (static_cast<std::size_t>(top) + 2 >= stack_.size()) stack_.resize(stack_.size() * 2);
    stack_[static_cast<std::size_t>(top + 1)] = {j + 1, hi};
    stack_[static_cast<std::size_t>(top + 2)] = {lo, i - 1};
    top += 2;
    if (top + 1 > deepest_) deepest_ = top + 1;
  }
}

}  // namespace focustrack
