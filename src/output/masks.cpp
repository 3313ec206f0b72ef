#include "output/masks.h"

#include <cstring>

#include "io/tiff_writer.h"
#include "io/output_paths.h"
#include "io/resample.h"

namespace focustrack {

namespace {

// Track ids of the input's pixels when the analysed grid is resampled: each
// input pixel takes the label of the analysed pixel nearest its centre.
uint32_t fillInputTrackIds(const FrameBuffers& b, int32_t width, int32_t height, uint32_t* samples) {
  const int32_t* cellMap = b.cellMap.data();
  uint32_t largest = 0;
  for (int32_t y = 0; y < height; ++y) {
    const int32_t gridRow = nearestAnalysed(y, height, b.height);
    for (int32_t x = 0; x < width; ++x) {
      const int32_t c = cellMap[size_t(gridRow) * size_t(b.width) + size_t(nearestAnalysed(x, width, b.width))];
      const uint32_t id = c >= 1 ? static_cast<uint32_t>(b.currentCells[c].trackId) : 0;
      samples[size_t(y) * size_t(width) + size_t(x)] = id;
      if (id > largest) largest = id;
    }
  }
  return largest;
}

// Narrows the samples to 16 bits in place, front to back: sample p is read
// from bytes 4p..4p+3 before bytes 2p..2p+1 are written, and every later read
// lies beyond every earlier write.
void packTo16Bits(uint32_t* samples, int32_t count) {
  unsigned char* bytes = reinterpret_cast<unsigned char*>(samples);
  for (int32_t p = 0; p < count; ++p) {
    uint32_t wide;
    std::memcpy(&wide, bytes + 4 * size_t(p), sizeof wide);
    const uint16_t narrow = static_cast<uint16_t>(wide);
    std::memcpy(bytes + 2 * size_t(p), &narrow, sizeof narrow);
  }
}

}  // namespace

uint32_t fillTrackIds(const FrameBuffers& b, uint32_t* samples) {
  const int32_t* cellMap = b.cellMap.data();
  uint32_t largest = 0;
  for (int32_t p = 0; p < b.pixelCount; ++p) {
    const int32_t c = cellMap[p];
    const uint32_t id = c >= 1 ? static_cast<uint32_t>(b.currentCells[c].trackId) : 0;
    samples[p] = id;
    if (id > largest) largest = id;
  }
  return largest;
}

uint32_t fillMaskLabels(const RunSettings& settings, const FrameBuffers& b, std::vector<uint32_t>& samples,
                        int32_t* width, int32_t* height) {
  // Masks overlay the input: at its size when the analysis ran resampled.
  const bool resampled = settings.width != b.width || settings.height != b.height;
  *width = resampled ? settings.width : b.width;
  *height = resampled ? settings.height : b.height;
  const size_t count = size_t(*width) * size_t(*height);
  if (samples.size() != count) samples.assign(count, 0);
  return resampled ? fillInputTrackIds(b, *width, *height, samples.data()) : fillTrackIds(b, samples.data());
}

bool writeMask(const RunSettings& settings, const FrameBuffers& b, std::vector<uint32_t>& scratch,
               std::string* reason) {
  const std::string path =
      frameFilePath(settings.outputFolder, "masks", b.frameOrdinal, "tif");
  if (b.pixelCount <= 0) {
    *reason = "cannot write '" + path + "': empty image";
    return false;
  }
  int32_t width = 0, height = 0;
  const uint32_t largest = fillMaskLabels(settings, b, scratch, &width, &height);
  const int32_t count = width * height;
  TiffSample sample = TiffSample::UInt32;
  if (largest <= kLargest16BitId) {
    packTo16Bits(scratch.data(), count);
    sample = TiffSample::UInt16;
  }
  std::string why;
  if (writeTiff(path, width, height, sample, scratch.data(), &why)) return true;
  *reason = "cannot write '" + path + "': " + why;
  return false;
}

}  // namespace focustrack
