#include "app/device_mask.h"

#include <algorithm>
#include <vector>

#include "io/resample.h"
#include "io/slice_loader.h"

namespace focustrack {

namespace {

// With --scale the mask has the input's size and is resampled as the slices
// are, device pixels as 255: an analysed pixel is on the device when at least
// half of what it samples is. Without, it has the analysed size.
bool readMask(const RunSettings& settings, FrameBuffers& b, std::string* reason) {
  const bool scaled = settings.scale != 1.0;
  const int32_t width = scaled ? settings.width : b.width;
  const int32_t height = scaled ? settings.height : b.height;
  std::vector<uint8_t> input(static_cast<size_t>(width) * static_cast<size_t>(height));
  std::string why;
  if (!loadSlice(settings.excludeMaskPath, width, height, input.data(), &why)) {
    *reason = "cannot read the device mask '" + settings.excludeMaskPath + "': " + why;
    return false;
  }
  for (uint8_t& value : input) value = value != 0 ? 255 : 0;
  if (scaled) {
    Resampler resampler;
    resampler.prepare(width, height, b.width, b.height);
    resampler.run(input.data(), b.deviceMask.data());
  } else {
    std::copy(input.begin(), input.end(), b.deviceMask.data());
  }
  for (int32_t i = 0; i < b.pixelCount; ++i) b.deviceMask[i] = b.deviceMask[i] >= 128 ? 1 : 0;
  return true;
}

}  // namespace

bool loadDeviceMask(const RunSettings& settings, FrameBuffers& b, std::string* reason,
                    std::string* note) {
  if (settings.excludeMaskPath.empty()) return true;
  const std::string& path = settings.excludeMaskPath;
  if (!b.deviceMask.obtain(static_cast<uint64_t>(b.pixelCount))) {
    *reason = "cannot allocate the device mask '" + path + "'";
    return false;
  }
  if (!readMask(settings, b, reason)) return false;
  int64_t marked = 0;
  for (int32_t i = 0; i < b.pixelCount; ++i) marked += b.deviceMask[i];
  if (marked == b.pixelCount) {
    *reason = "the device mask '" + path + "' marks every pixel: no cell could get a row";
    return false;
  }
  if (marked == 0) *note = "the device mask '" + path + "' marks no pixel: it excludes nothing";
  return true;
}

}  // namespace focustrack
