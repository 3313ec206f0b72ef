#include "contents/contents.h"
#include "frame/predicates.h"

namespace focustrack {

void attributeVacuoles(FrameBuffers& b) {
  const int32_t* cellMap = b.cellMap.data();
  for (int32_t blob = 1; blob <= b.blobCount; ++blob) {
    const BlobRecord& record = b.blobTable[blob];
    if (!isVacuole(record)) continue;
    const int32_t c = cellMap[record.seedPixel];
    if (c < 1) continue;  // blobs lie inside cells; kept as a guard only
    CellRecord& cell = b.currentCells[c];
    cell.vacuoleCount += 1;
    cell.vacuoleAreaSum += record.vacuoleArea;
    if (record.vacuoleArea > cell.vacuoleAreaMax) cell.vacuoleAreaMax = record.vacuoleArea;
  }
}

}  // namespace focustrack
