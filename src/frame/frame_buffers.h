// The run-long working data: every buffer is allocated once at start-up, sized
// from the run settings, shared by the stages and released at shut-down.
// Several per-pixel buffers carry different data in different stages of a
// frame; the aliases below name each use.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/angles.h"
#include "base/buffer.h"
#include "base/disk_offsets.h"
#include "base/index_sort.h"
#include "frame/records.h"
#include "frame/settings.h"

namespace focustrack {

// Core regions of a frame's classification that do not reach the image
// border: how many are of cell size, and how many lie wholly inside a single
// core of the other sign (nothing but that core around them).
struct CoreCensus {
  int32_t cellSizedPositive = 0;
  int32_t cellSizedNegative = 0;
  int32_t nestedPositive = 0;  // positive cores inside a negative one
  int32_t nestedNegative = 0;  // negative cores inside a positive one
};

struct FrameBuffers {
  // Sizes, copied from the settings at allocation.
  int32_t width = 0;
  int32_t height = 0;
  int32_t pixelCount = 0;
  int32_t sliceCount = 0;

  Buffer<uint8_t> sliceStack;        // plane s at s x pixelCount
  // The stack of a frame of 16-bit slices, same layout; obtained when the
  // first such frame is loaded. sampleBits says which stack holds the frame.
  Buffer<uint16_t> sliceStack16;
  int32_t sampleBits = 8;
  Buffer<double> deltaMap;
  Buffer<int32_t> sortedPixels;      // pixel indices, ascending delta
  Buffer<int32_t> classMap;          // classes, then label map, edgeMap, nucleusMask
  Buffer<int32_t> floodQueue;
  Buffer<AngleEntry> angleTable;     // 181 entries
  Buffer<FrameSummary> frameSummaries;  // frameCount + 1, entry 0 unused
  Buffer<int32_t> cellMap;           // cell number per pixel, -1 outside cells
  Buffer<int32_t> cellPixels;
  Buffer<CellRecord> currentCells;   // 1000 records, grown as a frame needs
  Buffer<int32_t> previousCellMap;
  Buffer<CellRecord> previousCells;
  Buffer<int32_t> linkCandidates;    // link pairs, then blobMap
  Buffer<int32_t> linkPairCounts;    // max(pixelCount, 1000 x 1000, C x P); then candidatePixels
  Buffer<RegionRecord> regionTable;  // 100,000 records, grown as a frame needs
  Buffer<BlobRecord> blobTable;      // 100,000 records, grown as a frame needs
  Buffer<VacuoleOutline> vacuoleOutlines;  // one per blob record, grown with the blob table
  Buffer<uint8_t> deviceMask;        // 1 on the device (--exclude), else 0; run-long
  std::vector<LinkRecord> linkRecords;  // run-wide, grows as needed

  IndexSort sorter;                  // shared sort work space

  int8_t diskDx[kDiskOffsetSlots] = {};
  int8_t diskDy[kDiskOffsetSlots] = {};
  int32_t diskOffsetCount = 0;

  // Frame position (set by the frame loop).
  int32_t frame = 0;
  int32_t frameOrdinal = 0;

  // Stack reduction results.
  int32_t referenceSlice = -1;
  int32_t rangeFirst = 0;
  int32_t rangeLast = 0;

  // Pixel classification: its core regions counted by shape.
  CoreCensus coreCensus;

  // Cell building and tracking.
  int32_t regionCount = 0;
  int32_t nextCellNumber = 1;
  int32_t previousCellNumberEnd = 0;
  int32_t cellPixelTotal = 0;
  int32_t nextTrackId = 1;
  bool linkingSkipped = false;       // the pair area could not grow this frame

  // Content analysis.
  int32_t blobCount = 0;
  int32_t candidateCount = 0;

  // Set by a stage that could not grow a table in this frame; the frame loop
  // reports it once as a warning and clears it.
  std::string capacityNote;
  // Most entries a growing table may have; below the memory's own limit only
  // where a test stands in for memory that runs out.
  uint64_t tableLimit = UINT64_MAX;

  // Aliases of the reused per-pixel storage.
  int32_t* labelMap() { return classMap.data(); }
  int32_t* edgeMap() { return classMap.data(); }
  int32_t* nucleusMask() { return classMap.data(); }
  int32_t* blobMap() { return linkCandidates.data(); }
  int32_t* candidatePixels() { return linkPairCounts.data(); }
  const int32_t* labelMap() const { return classMap.data(); }
  const int32_t* edgeMap() const { return classMap.data(); }
  const int32_t* blobMap() const { return linkCandidates.data(); }
  const int32_t* candidatePixels() const { return linkPairCounts.data(); }
  int32_t linkRecordCount() const { return static_cast<int32_t>(linkRecords.size()); }
};

// Makes `table` hold entry `index`, at least doubling its size when it grows,
// so that the regions, blobs and cells of a large frame are all kept. False,
// with the table unchanged, when the memory cannot be obtained.
template <class T>
bool makeRoom(const FrameBuffers& buffers, Buffer<T>& table, int64_t index) {
  if (index < 0) return false;
  const uint64_t needed = static_cast<uint64_t>(index) + 1;
  if (needed <= table.size()) return true;
  if (needed > buffers.tableLimit) return false;
  const uint64_t doubled = std::min<uint64_t>(table.size() * 2, buffers.tableLimit);
  return table.grow(std::max(doubled, needed)) || table.grow(needed);
}

// Notes a capacity problem of this frame once for the frame loop's warning.
void noteCapacity(FrameBuffers& buffers, const std::string& note);

// Obtains every buffer in allocation order, then tests them all. Sizes are
// computed in 64-bit arithmetic; a product that does not fit fails. On false
// `reason` names the first buffer that could not be obtained.
bool allocateBuffers(const RunSettings& settings, FrameBuffers& buffers, std::string* reason);

// Obtains sliceStack16 unless it is there already; false when it cannot.
bool obtainSixteenBitStack(FrameBuffers& buffers);

// Returns every buffer to the system (also after a partial failure).
void releaseBuffers(FrameBuffers& buffers);

// Start of a frame's analysis: the slice range is the whole stack and no
// reference slice is chosen yet.
void beginFrame(FrameBuffers& buffers);

// Fills the run-long tables of directions and disk offsets.
void fillRunTables(FrameBuffers& buffers);

// End of a completed frame: current and previous cell maps and tables change
// roles by exchanging storage.
void handOverFrame(FrameBuffers& buffers);

}  // namespace focustrack
