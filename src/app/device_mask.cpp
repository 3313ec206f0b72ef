#include "app/device_mask.h"

#include "io/slice_loader.h"

namespace focustrack {

bool loadDeviceMask(const RunSettings& settings, FrameBuffers& b, std::string* reason,
                    std::string* note) {
  if (settings.excludeMaskPath.empty()) return true;
  const std::string& path = settings.excludeMaskPath;
  if (!b.deviceMask.obtain(static_cast<uint64_t>(b.pixelCount))) {
    *reason = "cannot allocate the device mask '" + path + "'";
    return false;
  }
  std::string why;
  if (!loadSlice(path, b.width, b.height, b.deviceMask.data(), &why)) {
    *reason = "cannot read the device mask '" + path + "': " + why;
    return false;
  }
  int64_t marked = 0;
  for (int32_t i = 0; i < b.pixelCount; ++i) {
    b.deviceMask[i] = b.deviceMask[i] != 0 ? 1 : 0;
    marked += b.deviceMask[i];
  }
  if (marked == b.pixelCount) {
    *reason = "the device mask '" + path + "' marks every pixel: no cell could get a row";
    return false;
  }
  if (marked == 0) *note = "the device mask '" + path + "' marks no pixel: it excludes nothing";
  return true;
}

}  // namespace focustrack
