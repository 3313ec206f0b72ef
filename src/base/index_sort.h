// Index sort: orders a list of indices by a key held in a separate array,
// without moving the keys. An iterative quicksort with a median-of-three
// pivot; it is not stable, and the order it leaves among equal keys is relied
// upon (disk offsets, pixel order, link candidates), so it is exact.
//
// The sort works on a copy of the keys in list order, exchanged together
// with the list, so that the scans read memory in order instead of looking
// each key up; every comparison and exchange is the one the plain algorithm
// makes on the list, except in a range whose keys are all equal: there the
// indices are arranged at once as its partitions would leave them. After a
// partition its two parts never meet again, and the result within a part
// depends only on what the part holds: inside a parallel region the parts of
// one level are sorted side by side, with the same result.
#pragma once

#include <cstdint>
#include <vector>

namespace focustrack {

// Work space of the sort: the pending-range stack and the copy of the keys. The
// stack starts with 1000 slots and grows when an adversarial order needs
// more; growing never changes the order of equal keys.
class IndexSort {
 public:
  IndexSort();

  // Sorts positions 0..last of `list` ascending by key[list[k]]. A last
  // position of 0 or less leaves the list unchanged.
  void sort(int32_t* list, const double* key, int32_t last);
  void sort(int32_t* list, const int32_t* key, int32_t last);

  // Largest number of pending ranges held at once by the latest sort, when
  // it ran on one thread.
  int32_t deepest() const { return deepest_; }

  struct Range {
    int32_t lo;
    int32_t hi;
  };

 private:
  template <class Key>
  void run(int32_t* list, const Key* key, int32_t last, std::vector<Key>& keys);

  std::vector<Range> stack_;
  std::vector<double> keysDouble_;
  std::vector<int32_t> keysInt_;
  int32_t deepest_ = 0;
};

}  // namespace focustrack
