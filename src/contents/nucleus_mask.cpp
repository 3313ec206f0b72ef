#include "contents/contents.h"

#include <algorithm>

#include "contents/ray_march.h"
#include "frame/predicates.h"

namespace focustrack {

namespace {

constexpr int32_t kPainted = 1;

// For one cell: the 121 drawing walks of its smoothed outer radii,
// each kept inside the image, then the centre itself.
void paintNucleus(FrameBuffers& b, const CellRecord& cell) {
  int32_t* mask = b.nucleusMask();
  const int32_t centreX = cell.nucleusCentre % b.width;
  const int32_t centreY = cell.nucleusCentre / b.width;
  for (int32_t k = 0; k <= kDirections; ++k) {
    drawRay(b.angleTable[k], centreX, centreY, b.width, b.height, cell.nucleusRadius[k],
            [mask](int32_t pixel) { mask[pixel] = kPainted; });
  }
  mask[cell.nucleusCentre] = kPainted;
}

}  // namespace

void excludeNucleusBlobs(const RunSettings& settings, FrameBuffers& b) {
  int32_t* mask = b.nucleusMask();
  std::fill_n(mask, b.pixelCount, 0);
  for (int32_t c = 1; c < b.nextCellNumber; ++c) {
    const CellRecord& cell = b.currentCells[c];
    if (showsNucleus(settings, cell)) paintNucleus(b, cell);
  }
  for (int32_t blob = 1; blob <= b.blobCount; ++blob) {
    BlobRecord& record = b.blobTable[blob];
    if (mask[record.seedPixel] != 0) record.interior = 0;
  }
}

}  // namespace focustrack
