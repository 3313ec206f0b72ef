#include "classify/classify.h"

namespace focustrack {

void sortPixels(const RunSettings&, FrameBuffers& buffers) {
  const int32_t n = buffers.pixelCount;
  int32_t* order = buffers.sortedPixels.data();
  for (int32_t i = 0; i < n; ++i) order[i] = i;
  // Equal values keep the order this sort leaves them in; the classification
  // depends on it.
  buffers.sorter.sort(order, buffers.deltaMap.data(), n - 1);
}

}  // namespace focustrack
