#include "base/index_sort.h"

#include <algorithm>
#include <cstddef>

#include "base/parallel.h"

namespace focustrack {

namespace {

constexpr std::size_t kInitialSlots = 1000;
// Parts at least this long are partitioned side by side with others.
constexpr int32_t kTaskRange = 1 << 15;

using Range = IndexSort::Range;

// The keys and the indices of the list in two arrays side by side: the
// scans read keys only, the exchanges move both.
template <class Key>
struct Items {
  Key* key;
  int32_t* index;
};

// Entries looked at together by the exchange of blocks.
constexpr int32_t kBlock = 64;

template <class Key>
inline void exchange(Items<Key> items, int32_t i, int32_t j) {
  const Key swapKey = items.key[i];
  items.key[i] = items.key[j];
  items.key[j] = swapKey;
  const int32_t swapIndex = items.index[i];
  items.index[i] = items.index[j];
  items.index[j] = swapIndex;
}

// The stoppers of the block of kBlock entries at `base`, in scan order:
// entries the left scan stops at (not below the pivot) going up, or those
// the right scan stops at (not above it) going down. The offsets are
// collected without a branch per entry.
template <class Key>
inline int32_t leftStoppers(const Key* key, int32_t base, Key pivot, uint8_t* offsets) {
  int32_t count = 0;
  for (int32_t t = 0; t < kBlock; ++t) {
    offsets[count] = static_cast<uint8_t>(t);
    count += !(key[base + t] < pivot);
  }
  return count;
}

template <class Key>
inline int32_t rightStoppers(const Key* key, int32_t base, Key pivot, uint8_t* offsets) {
  int32_t count = 0;
  for (int32_t t = 0; t < kBlock; ++t) {
    offsets[count] = static_cast<uint8_t>(t);
    count += !(key[base - t] > pivot);
  }
  return count;
}

// One partition of lo..hi (lo < hi) around the median of three; the left
// part ends at *leftEnd, the right part starts at *rightStart.
//
// The scans stop at entries equal to the pivot, and each exchange pairs the
// k-th stopper from the left with the k-th from the right while they have
// not met. While the unscanned middle holds two blocks, whole blocks are
// scanned at once and their stoppers paired in that same order; the scans
// then go on one entry at a time from the first stoppers not yet paired, so
// every exchange is the one the entry-by-entry scans make.
template <class Key>
inline void partition(Items<Key> items, int32_t lo, int32_t hi, int32_t* leftEnd, int32_t* rightStart) {
  Key* key = items.key;
  const Key a = key[lo];
  const Key b = key[lo + (hi - lo) / 2];
  const Key c = key[hi];
  Key pivot;
  if (a < b) {
    pivot = b < c ? b : (a > c ? a : c);
  } else {
    pivot = b > c ? b : (a < c ? a : c);
  }
  // i and j: the next blocks to scan from the left and from the right, or
  // the blocks whose stoppers wait to be paired.
  int32_t i = lo;
  int32_t j = hi;
  uint8_t leftOffsets[kBlock];
  uint8_t rightOffsets[kBlock];
  int32_t leftCount = 0;
  int32_t rightCount = 0;
  int32_t leftNext = 0;
  int32_t rightNext = 0;
  while (j - i + 1 >= 2 * kBlock) {
    if (leftCount == 0) {
      leftCount = leftStoppers(key, i, pivot, leftOffsets);
      leftNext = 0;
    }
    if (rightCount == 0) {
      rightCount = rightStoppers(key, j, pivot, rightOffsets);
      rightNext = 0;
    }
    const int32_t pairs = leftCount < rightCount ? leftCount : rightCount;
    for (int32_t k = 0; k < pairs; ++k) {
      exchange(items, i + leftOffsets[leftNext + k], j - rightOffsets[rightNext + k]);
    }
    leftCount -= pairs;
    rightCount -= pairs;
    leftNext += pairs;
    rightNext += pairs;
    if (leftCount == 0) i += kBlock;
    if (rightCount == 0) j -= kBlock;
  }
  if (leftCount > 0) i += leftOffsets[leftNext];
  if (rightCount > 0) j -= rightOffsets[rightNext];
  for (;;) {
    while (key[i] < pivot) ++i;
    while (key[j] > pivot) --j;
    if (i >= j) break;
    exchange(items, i, j);
    ++i;
    --j;
  }
  *leftEnd = i - 1;
  *rightStart = j + 1;
}

// True when every key of lo..hi equals the first (no key is not a number).
template <class Key>
inline bool allEqual(const Key* key, int32_t lo, int32_t hi) {
  const Key first = key[lo];
  bool equal = true;
  for (int32_t k = lo + 1; k <= hi; ++k) equal &= key[k] == first;
  return equal;
}

// Ranges of equal keys up to this long take their arrangement from a table.
constexpr int32_t kTabled = 64;

// What the partitions leave in a range of equal keys: every entry stops both
// scans, so a partition reverses the range and leaves the middle entry (of an
// odd count) where it is, and each half goes the same way. The keys are all
// the same, so only the indices move. Ranges of at most `tabled` entries are
// arranged by the table.
void reverseHalvings(int32_t* index, int32_t lo, int32_t hi, int32_t tabled);

// source[n][k]: the entry that reverse halvings of n entries bring to place k.
struct HalvingTable {
  uint8_t source[kTabled + 1][kTabled];
  HalvingTable() {
    for (int32_t n = 1; n <= kTabled; ++n) {
      int32_t place[kTabled];
      for (int32_t k = 0; k < n; ++k) place[k] = k;
      reverseHalvings(place, 0, n - 1, 1);
      for (int32_t k = 0; k < n; ++k) source[n][k] = static_cast<uint8_t>(place[k]);
    }
  }
};

const HalvingTable kHalvings;

void reverseHalvings(int32_t* index, int32_t lo, int32_t hi, int32_t tabled) {
  while (hi - lo + 1 > tabled) {
    std::reverse(index + lo, index + hi + 1);
    const int32_t half = (hi - lo + 1) / 2;
    reverseHalvings(index, lo, lo + half - 1, tabled);
    lo = hi - half + 1;
  }
  const int32_t n = hi - lo + 1;
  if (n < 2) return;
  int32_t before[kTabled];
  std::copy(index + lo, index + hi + 1, before);
  const uint8_t* source = kHalvings.source[n];
  for (int32_t k = 0; k < n; ++k) index[lo + k] = before[source[k]];
}

// The plain loop over pending ranges, from `start`: the right part waits in
// the freed slot, the left part above it is taken next. Returns the largest
// number of pending ranges held.
template <class Key>
int32_t sortRanges(Items<Key> items, Range start, std::vector<Range>& stack) {
  int32_t top = 0;
  stack[0] = start;
  int32_t deepest = 1;
  while (top >= 0) {
    const Range range = stack[static_cast<std::size_t>(top)];
    --top;
    if (range.lo >= range.hi) continue;
    // The median of three is read here first; when its three keys are
    // equal, the range is often all one key.
    const Key first = items.key[range.lo];
    if (first == items.key[range.lo + (range.hi - range.lo) / 2] && first == items.key[range.hi] &&
        allEqual(items.key, range.lo, range.hi)) {
      reverseHalvings(items.index, range.lo, range.hi, kTabled);
      continue;
    }
    int32_t leftEnd = 0;
    int32_t rightStart = 0;
    partition(items, range.lo, range.hi, &leftEnd, &rightStart);
    if (static_cast<std::size_t>(top) + 2 >= stack.size()) stack.resize(stack.size() * 2);
    stack[static_cast<std::size_t>(top + 1)] = {rightStart, range.hi};
    stack[static_cast<std::size_t>(top + 2)] = {range.lo, leftEnd};
    top += 2;
    if (top + 1 > deepest) deepest = top + 1;
  }
  return deepest;
}

// Parts at least kTaskRange long are partitioned level by level, the parts
// of one level side by side; the shorter parts are then sorted side by side,
// each through the plain loop with a stack of its own. Every level waits for
// the one before, so no part is touched by two threads at once.
template <class Key>
void sortInParts(Items<Key> items, Range whole) {
  std::vector<Range> level{whole};
  std::vector<Range> shortParts;
  while (!level.empty()) {
    std::vector<Range> halves(level.size() * 2);
    forRanges(0, static_cast<int64_t>(level.size()), 1, [&](int64_t begin, int64_t end) {
      for (int64_t k = begin; k < end; ++k) {
        const Range range = level[static_cast<std::size_t>(k)];
        int32_t leftEnd = 0;
        int32_t rightStart = 0;
        partition(items, range.lo, range.hi, &leftEnd, &rightStart);
        halves[static_cast<std::size_t>(2 * k)] = {range.lo, leftEnd};
        halves[static_cast<std::size_t>(2 * k + 1)] = {rightStart, range.hi};
      }
    });
    level.clear();
    for (const Range& half : halves) (half.hi - half.lo >= kTaskRange ? level : shortParts).push_back(half);
  }
  forRanges(0, static_cast<int64_t>(shortParts.size()), 1, [&](int64_t begin, int64_t end) {
    std::vector<Range> stack(64);
    for (int64_t k = begin; k < end; ++k) sortRanges(items, shortParts[static_cast<std::size_t>(k)], stack);
  });
}

}  // namespace

IndexSort::IndexSort() : stack_(kInitialSlots) {}

void IndexSort::sort(int32_t* list, const double* key, int32_t last) { run(list, key, last, keysDouble_); }
void IndexSort::sort(int32_t* list, const int32_t* key, int32_t last) { run(list, key, last, keysInt_); }

template <class Key>
void IndexSort::run(int32_t* list, const Key* key, int32_t last, std::vector<Key>& keys) {
  deepest_ = 0;
  if (last <= 0) return;
  const std::size_t count = static_cast<std::size_t>(last) + 1;
  if (keys.size() < count) keys.resize(count);
  for (std::size_t k = 0; k < count; ++k) keys[k] = key[list[k]];
  const Items<Key> items{keys.data(), list};
  if (threadsAvailable() && last >= kTaskRange) {
    sortInParts(items, Range{0, last});
  } else {
    deepest_ = sortRanges(items, Range{0, last}, stack_);
  }
}

}  // namespace focustrack
