#include "contents/contents.h"
#include "frame/map_markers.h"

#include <algorithm>
#include <string>

namespace focustrack {

namespace {

constexpr int32_t kSmallestCandidateBlob = 2;  // single-pixel blobs propose nothing
constexpr char kCapacityNote[] = "out of memory for more blobs; further pixels stay without a blob";

// Visits the pixel lists of all cells, forward from entry 0 or backward from
// the last entry. Within a cell forward means highest value first.
template <class Visit>
void visitCellPixels(const FrameBuffers& b, FloodDirection direction, Visit&& visit) {
  const int32_t* list = b.cellPixels.data();
  if (direction == FloodDirection::Forward) {
    for (int32_t j = 0; j < b.cellPixelTotal; ++j) visit(list[j]);
  } else {
    for (int32_t j = b.cellPixelTotal - 1; j >= 0; --j) visit(list[j]);
  }
}

void clearBlobs(FrameBuffers& b) {
  std::fill_n(b.blobMap(), b.pixelCount, kNoBlob);
  b.blobCount = 0;
}

// Opens the next blob at pixel p, growing the table when it is full; false
// when memory runs out.
bool openBlob(FrameBuffers& b, int32_t p, FloodDirection direction, int32_t* blob) {
  if (!makeRoom(b, b.blobTable, int64_t{b.blobCount} + 1)) return false;
  *blob = ++b.blobCount;
  BlobRecord& record = b.blobTable[*blob];
  record.seedPixel = p;
  record.blobSize = 0;
  record.interior = 1;
  if (direction == FloodDirection::Backward) record.vacuoleScore = 0.0;
  return true;
}

// For one pixel of a cell that is not excluded, so all four
// neighbours lie inside the image. Returns false when a blob should have
// opened but the table could not grow.
bool floodPixel(FrameBuffers& b, int32_t p, FloodDirection direction) {
  const int32_t* cellMap = b.cellMap.data();
  int32_t* blobMap = b.blobMap();
  const int32_t c = cellMap[p];
  const int32_t neighbours[4] = {p - 1, p + 1, p - b.width, p + b.width};
  bool touching = false;
  int32_t found = kNoBlob;
  for (int32_t n : neighbours) {
    if (cellMap[n] != c) {
      touching = true;
      continue;
    }
    const int32_t blob = blobMap[n];
    if (blob == kNoBlob) continue;
    // Where two blobs meet the pixel stays between them, and a touching
    // pixel there clears nothing.
    if (found != kNoBlob && blob != found) return true;
    found = blob;
  }
  if (found == kNoBlob && !openBlob(b, p, direction, &found)) return false;
  BlobRecord& record = b.blobTable[found];
  blobMap[p] = found;
  ++record.blobSize;
  if (touching) record.interior = 0;
  return true;
}

// Pixels of equal value are flooded in their list order, and the
// backward pass takes them in the reverse of it.
void flood(FrameBuffers& b, FloodDirection direction) {
  const CellRecord* cells = b.currentCells.data();
  const int32_t* cellMap = b.cellMap.data();
  bool full = false;
  visitCellPixels(b, direction, [&](int32_t p) {
    if (cells[cellMap[p]].excluded) return;
    if (!floodPixel(b, p, direction)) full = true;
  });
  if (full) noteCapacity(b, kCapacityNote);
}

// Every pixel of a blob of two or more pixels that never touched
// another cell, in the flooding order.
void listCandidates(FrameBuffers& b, FloodDirection direction) {
  const int32_t* blobMap = b.blobMap();
  const BlobRecord* blobs = b.blobTable.data();
  int32_t* candidates = b.candidatePixels();
  int32_t count = 0;
  visitCellPixels(b, direction, [&](int32_t p) {
    const int32_t blob = blobMap[p];
    if (blob == kNoBlob) return;
    if (blobs[blob].blobSize >= kSmallestCandidateBlob && blobs[blob].interior == 1) {
      candidates[count++] = p;
    }
  });
  b.candidateCount = count;
}

// For one interior row: a pixel of an analysable cell with any of its
// eight neighbours in another cell or outside the cells is an edge pixel.
void markEdgeRow(const FrameBuffers& b, int32_t y, int32_t* edgeRow) {
  const CellRecord* cells = b.currentCells.data();
  const int32_t w = b.width;
  const int32_t* row = b.cellMap.data() + static_cast<int64_t>(y) * w;
  const int32_t* up = row - w;
  const int32_t* down = row + w;
  edgeRow[0] = kOtherPixel;
  for (int32_t x = 1; x < w - 1; ++x) {
    const int32_t c = row[x];
    int32_t edge = kOtherPixel;
    if (c >= 1 && !cells[c].excluded) {
      const bool differs = row[x - 1] != c || row[x + 1] != c || up[x - 1] != c || up[x] != c ||
                           up[x + 1] != c || down[x - 1] != c || down[x] != c || down[x + 1] != c;
      if (differs) edge = kEdgePixel;
    }
    edgeRow[x] = edge;
  }
  edgeRow[w - 1] = kOtherPixel;
}

// A pixel on the image border belongs to no cell or to an excluded
// one, so the border rows and columns are never edge pixels.
void markEdges(FrameBuffers& b) {
  int32_t* edgeMap = b.edgeMap();
  const int32_t w = b.width;
  const int32_t h = b.height;
  if (w < 3 || h < 3) {
    std::fill_n(edgeMap, b.pixelCount, kOtherPixel);
    return;
  }
  std::fill_n(edgeMap, w, kOtherPixel);
  for (int32_t y = 1; y < h - 1; ++y) markEdgeRow(b, y, edgeMap + static_cast<int64_t>(y) * w);
  std::fill_n(edgeMap + static_cast<int64_t>(h - 1) * w, w, kOtherPixel);
}

}  // namespace

void floodBlobs(const RunSettings&, FrameBuffers& b, FloodDirection direction) {
  clearBlobs(b);
  flood(b, direction);
  listCandidates(b, direction);
  markEdges(b);
}

}  // namespace focustrack
