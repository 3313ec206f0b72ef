#include "contents/contents.h"
#include "frame/map_markers.h"

#include <algorithm>
#include <climits>
#include <new>
#include <string>
#include <vector>

#include "base/parallel.h"

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

// Room for blob `index` in the blob table and beside it; false when memory
// runs out.
bool makeBlobRoom(FrameBuffers& b, int64_t index) {
  return makeRoom(b, b.blobTable, index) && makeRoom(b, b.vacuoleOutlines, index);
}

// Opens the next blob at pixel p, growing the tables when they are full;
// false when memory runs out.
bool openBlob(FrameBuffers& b, int32_t p, FloodDirection direction, int32_t* blob) {
  if (!makeBlobRoom(b, int64_t{b.blobCount} + 1)) return false;
  *blob = ++b.blobCount;
  BlobRecord& record = b.blobTable[*blob];
  record.seedPixel = p;
  record.blobSize = 0;
  record.interior = 1;
  if (direction == FloodDirection::Backward) record.vacuoleScore = 0.0;
  return true;
}

// The frame's blob table, numbered in flooding order.
struct FrameBlobs {
  FrameBuffers& b;
  FloodDirection direction;
  bool open(int32_t p, int32_t* blob) { return openBlob(b, p, direction, blob); }
  BlobRecord& operator[](int32_t blob) { return b.blobTable[blob]; }
};

// For one pixel of a cell that is not excluded, so all four neighbours lie
// inside the image; `blobs` opens blobs and holds their records. Returns
// false when a blob should have opened but could not.
template <class Blobs>
bool floodPixel(const FrameBuffers& b, int32_t* blobMap, Blobs& blobs, int32_t p) {
  const int32_t* cellMap = b.cellMap.data();
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
  if (found == kNoBlob && !blobs.open(p, &found)) return false;
  auto& record = blobs[found];
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
  int32_t* blobMap = b.blobMap();
  FrameBlobs blobs{b, direction};
  bool full = false;
  visitCellPixels(b, direction, [&](int32_t p) {
    if (cells[cellMap[p]].excluded) return;
    if (!floodPixel(b, blobMap, blobs, p)) full = true;
  });
  if (full) noteCapacity(b, kCapacityNote);
}

// ---- With threads: runs of cells flooded side by side. A blob never
// leaves its cell, and cells are flooded one after the other, so each run's
// blobs take consecutive numbers: a run numbers its own from 1, and they
// move up by the count of the runs flooded before it once all are done.

constexpr int32_t kCellsPerRun = 8;

// A blob as its run floods it.
struct RunBlob {
  int32_t seedPixel;
  int32_t blobSize;
  uint8_t interior;
};

struct CellRun {
  int32_t firstCell;
  int32_t endCell;
  std::vector<RunBlob> blobs;  // entry 0 unused
  int32_t offset = 0;          // of its numbers in the frame's
  bool failed = false;         // memory ran out
  bool open(int32_t p, int32_t* blob) {
    try {
      blobs.push_back({p, 0, 1});
    } catch (const std::bad_alloc&) {
      failed = true;
      return false;
    }
    *blob = static_cast<int32_t>(blobs.size()) - 1;
    return true;
  }
  RunBlob& operator[](int32_t blob) { return blobs[static_cast<size_t>(blob)]; }
};

// Calls visit(p) for the pixels of the run's cells that are not excluded,
// in flooding order.
template <class Visit>
void visitRunPixels(const FrameBuffers& b, const CellRun& run, FloodDirection direction, Visit&& visit) {
  const bool forward = direction == FloodDirection::Forward;
  for (int32_t k = run.firstCell; k < run.endCell; ++k) {
    const CellRecord& cell = b.currentCells[forward ? k : run.endCell - 1 - (k - run.firstCell)];
    if (cell.excluded) continue;
    const int32_t* list = b.cellPixels.data() + cell.pixelStart;
    for (int32_t j = 0; j < cell.area; ++j) visit(list[forward ? j : cell.area - 1 - j]);
  }
}

// False when memory ran out: then nothing of the runs' blobs is kept.
bool floodInRuns(FrameBuffers& b, FloodDirection direction) {
  std::vector<CellRun> runs;
  for (int32_t c = 1; c < b.nextCellNumber; c += kCellsPerRun) {
    runs.push_back({c, std::min(c + kCellsPerRun, b.nextCellNumber), {RunBlob{}}});
  }
  int32_t* blobMap = b.blobMap();
  forRanges(0, static_cast<int64_t>(runs.size()), 1, [&](int64_t first, int64_t end) {
    for (int64_t r = first; r < end; ++r) {
      CellRun& run = runs[static_cast<size_t>(r)];
      visitRunPixels(b, run, direction, [&](int32_t p) {
        if (!run.failed) floodPixel(b, blobMap, run, p);
      });
    }
  });
  int64_t total = 0;
  const bool forward = direction == FloodDirection::Forward;
  for (size_t k = 0; k < runs.size(); ++k) {
    CellRun& run = runs[forward ? k : runs.size() - 1 - k];
    if (run.failed) return false;
    run.offset = static_cast<int32_t>(total);
    total += static_cast<int64_t>(run.blobs.size()) - 1;
  }
  if (total > INT32_MAX - 1 || !makeBlobRoom(b, total)) return false;
  forRanges(0, static_cast<int64_t>(runs.size()), 1, [&](int64_t first, int64_t end) {
    for (int64_t r = first; r < end; ++r) {
      const CellRun& run = runs[static_cast<size_t>(r)];
      for (size_t i = 1; i < run.blobs.size(); ++i) {
        BlobRecord& record = b.blobTable[static_cast<size_t>(run.offset) + i];
        record.seedPixel = run.blobs[i].seedPixel;
        record.blobSize = run.blobs[i].blobSize;
        record.interior = run.blobs[i].interior;
        if (!forward) record.vacuoleScore = 0.0;
      }
      if (run.offset == 0) continue;
      visitRunPixels(b, run, direction, [&](int32_t p) {
        if (blobMap[p] != kNoBlob) blobMap[p] += run.offset;
      });
    }
  });
  b.blobCount = static_cast<int32_t>(total);
  return true;
}

// Every pixel of a blob of two or more pixels that never touched
// another cell, in the flooding order.
void listCandidates(FrameBuffers& b, FloodDirection direction) {
  // A byte a blob says whether it proposes candidates, so that the pass over
  // the pixels reads no blob records.
  std::vector<uint8_t> proposes(static_cast<size_t>(b.blobCount) + 1, 0);
  for (int32_t blob = 1; blob <= b.blobCount; ++blob) {
    const BlobRecord& record = b.blobTable[blob];
    proposes[static_cast<size_t>(blob)] = record.blobSize >= kSmallestCandidateBlob && record.interior == 1;
  }
  const int32_t* blobMap = b.blobMap();
  int32_t* candidates = b.candidatePixels();
  int32_t count = 0;
  visitCellPixels(b, direction, [&](int32_t p) {
    if (proposes[static_cast<size_t>(blobMap[p])]) candidates[count++] = p;
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
  const bool inRuns = threadsAvailable();
  if (!inRuns || !floodInRuns(b, direction)) {
    if (inRuns) clearBlobs(b);  // flooded again in one pass, which notes where memory runs out
    flood(b, direction);
  }
  listCandidates(b, direction);
  markEdges(b);
}

}  // namespace focustrack
