// Index sort: orders a list of indices by a key held in a separate array,
// without moving the keys. An iterative quicksort with a median-of-three
// pivot; it is not stable, and the order it leaves among equal keys is relied
// upon (disk offsets, pixel order, link candidates), so it is exact.
#pragma once

#include <cstdint>
#include <vector>

namespace focustrack {

// Work space of the sort: the pending-range stack. It starts with 1000 slots
// and grows when an adversarial order needs more; growing never changes the
// order of equal keys.
class IndexSort {
 public:
  IndexSort();

  // Sorts positions 0..last of `list` ascending by key[list[k]]. A last
  // position of 0 or less leaves the list unchanged.
  void sort(int32_t* list, const double* key, int32_t last);
  void sort(int32_t* list, const int32_t* key, int32_t last);

  // Largest number of pending ranges held at once by the latest sort.
  int32_t deepest() const { return deepest_; }

 private:
  struct Range {
    int32_t lo;
    int32_t hi;
  };
  template <class Key>
  void run(int32_t* list, const Key* key, int32_t last);

  std::vector<Range> stack_;
  int32_t deepest_ = 0;
};

}  // namespace focustrack
