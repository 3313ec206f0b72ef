// A hand-made frame for the output tests: small buffers, no cells, no blobs,
// no links; tests add what they need.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "frame/frame_buffers.h"
#include "support/test_files.h"

namespace focustrack {

struct HandFrame {
  RunSettings settings;
  FrameBuffers b;

  HandFrame(int32_t width, int32_t height, int32_t slices = 1) {
    settings.width = width;
    settings.height = height;
    settings.pixelCount = width * height;
    settings.sliceCount = slices;
    settings.frameCount = 8;
    std::string why;
    EXPECT_TRUE(allocateBuffers(settings, b, &why)) << why;
    fillAngleTable(b.angleTable.data());
    for (int32_t p = 0; p < b.pixelCount; ++p) b.cellMap[p] = -1;
    b.frame = 1;
    b.frameOrdinal = 1;
    b.nextCellNumber = 1;
    b.blobCount = 0;
    b.referenceSlice = 0;
  }
  ~HandFrame() { releaseBuffers(b); }

  // A new current cell with every field 0 but the track id.
  int32_t addCell(int32_t trackId) {
    const int32_t c = b.nextCellNumber++;
    b.currentCells[c] = CellRecord{};
    b.currentCells[c].trackId = trackId;
    return c;
  }
  CellRecord& cell(int32_t c) { return b.currentCells[c]; }

  // Paints the rectangle into cellMap and sets box and area of the cell.
  void paintRect(int32_t c, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x) b.cellMap[y * b.width + x] = c;
    CellRecord& r = b.currentCells[c];
    r.minX = x0;
    r.minY = y0;
    r.maxX = x1;
    r.maxY = y1;
    r.area = (x1 - x0 + 1) * (y1 - y0 + 1);
  }

  BlobRecord& addBlob(int32_t seedPixel, double score, uint8_t interior, double area) {
    BlobRecord& r = b.blobTable[++b.blobCount];
    r = BlobRecord{};
    r.seedPixel = seedPixel;
    r.vacuoleScore = score;
    r.interior = interior;
    r.vacuoleCentre = seedPixel;
    r.vacuoleArea = area;
    return r;
  }

  void addLink(int32_t frameOrdinal, int32_t previousCell, int32_t currentCell) {
    b.linkRecords.push_back(LinkRecord{frameOrdinal, 0, previousCell, currentCell, 0.0, previousCell, currentCell});
  }
};

}  // namespace focustrack
