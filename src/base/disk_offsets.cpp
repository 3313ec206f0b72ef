#include "base/disk_offsets.h"

#include <cmath>

#include "base/index_sort.h"

namespace focustrack {

namespace {
constexpr int32_t kDiskSide = 2 * kDiskRadius + 1;  // 21 x 21 candidates
}  // namespace

int32_t fillDiskOffsets(int8_t* dx, int8_t* dy) {
  // Scratch of its own, so images of any size work.
  double key[kDiskSide * kDiskSide];
  int32_t list[kDiskSide * kDiskSide];
  for (int32_t y = -kDiskRadius; y <= kDiskRadius; ++y) {
    for (int32_t x = -kDiskRadius; x <= kDiskRadius; ++x) {
      const int32_t k = (y + kDiskRadius) * kDiskSide + (x + kDiskRadius);
      key[k] = std::sqrt(static_cast<double>(x * x + y * y));
      list[k] = k;
    }
  }
  IndexSort sorter;
  sorter.sort(list, key, kDiskSide * kDiskSide - 1);
  int32_t m = 0;
  for (; m < kDiskSide * kDiskSide; ++m) {
    const int32_t k = list[m];
    if (key[k] > static_cast<double>(kDiskRadius)) break;
    dx[m] = static_cast<int8_t>(k % kDiskSide - kDiskRadius);
    dy[m] = static_cast<int8_t>(k / kDiskSide - kDiskRadius);
  }
  return m;
}

}  // namespace focustrack
