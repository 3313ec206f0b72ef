// The run-long working data: every buffer is allocated once at start-up, sized
// from the run settings, shared by the stages and released at shut-down.
// Several per-pixel buffers carry different data in different stages of a
// frame; the aliases below name each use.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "run/index_sort.h"
#include "run/settings.h"

// A fixed-size array obtained with calloc: zero-filled, lazily mapped, and a
// failed request is a null pointer the caller can test.
template <class T>
class Buffer {
 public:
  Buffer() = default;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() { std::free(data_); }

  // Returns false when the request does not fit or cannot be met.
  bool obtain(uint64_t count) {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    if (count == 0 || count > SIZE_MAX / sizeof(T)) return false;
    data_ = static_cast<T*>(std::calloc(static_cast<size_t>(count), sizeof(T)));
    if (data_ != nullptr) size_ = static_cast<size_t>(count);
    return data_ != nullptr;
  }
  void release() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
  }
  void swap(Buffer& other) {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }

  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }

 private:
  T* data_ = nullptr;
  size_t size_ = 0;
};

// Capacities of the data model.
constexpr int32_t kCellCapacity = 1000;       // records 1..999; record 0 unused
constexpr int32_t kRegionCapacity = 100000;   // regions or blobs 1..99,999
constexpr int32_t kAngleEntries = 181;        // directions 0..120 used
constexpr int32_t kDirections = 120;          // 3 degrees apart
constexpr int32_t kDiskOffsetSlots = 512;
constexpr int32_t kLinkRecordReserve = 500000;

struct CellRecord {
  int32_t minX;
  int32_t minY;
  int32_t maxX;
  int32_t maxY;
  double deltaMin;
  double deltaMax;
  int32_t pixelStart;        // first entry in cellPixels
  int32_t area;
  int32_t perimeter;         // pixel edges towards another label inside the image
  uint8_t excluded;          // empty or touching the image border
  int32_t vacuoleCount;
  double vacuoleAreaSum;
  double vacuoleAreaMax;
  uint8_t idDrawn;           // result-image scratch
  int32_t nucleusCentre;     // pixel index of the nucleus ray origin
  double nucleusValue;       // nucleus score
  double nucleusArea;
  double nucleoliArea;
  double nucleusRadius[180]; // smoothed outer radius, directions 0..120
  int32_t linkCount;
  int32_t partner;           // linked cell in the other frame, 0 = none
  int32_t trackId;           // union-find parent in [42]-[43], then the track id
  double moveDistance;
  double aspect;
};

// One record of the stage-[42] region union-find.
struct RegionRecord {
  int32_t parent;
  int32_t cellNumber;
  int32_t size;
};

// One blob of a flooding pass (stages [20]-[32]).
struct BlobRecord {
  int32_t seedPixel;          // highest pixel in stage [20], lowest in [30]
  int32_t blobSize;
  uint8_t interior;           // never touched another cell, not in a nucleus
  double vacuoleScore;
  int32_t vacuoleCentre;
  double vacuoleRadius[180];  // smoothed radius, directions 0..119
  double vacuoleArea;
};

// One final link between a previous and a current cell.
struct LinkRecord {
  int32_t frameOrdinal;
  int32_t trackId;
  int32_t previousCell;  // cell number, then the pixel index of its box centre
  int32_t currentCell;   // likewise
};

struct FrameSummary {
  int32_t frameNumber;
  int32_t cellCount;
  double areaSum;
  double circularitySum;
  int32_t nucleusCellCount;
  double nucleusCellAreaSum;
  double nucleusCellCircularitySum;
  double nucleusAreaSum;
  double nucleusShareSum;
  double nucleoliAreaSum;
  double nucleoliShareSum;
  double moveCount;
  double moveSum;
  int32_t vacuoleTotal;
  int32_t vacuoleCellCount;
  double vacuoleAreaTotal;
  double vacuoleMaxTotal;
};

// Direction k (k x 3 degrees) with per-direction work space of the stages.
struct AngleEntry {
  double scratchA;
  double scratchB;
  double scratchC;
  double scratchD;
  double sinK;
  double cosK;
};

// Pixel classes of stage [41].
enum PixelClass : int32_t {
  Outside = -1,
  Unassigned = 0,
  PositiveCore = 1,
  NegativeCore = 2,
  Margin = 3,
  AttachedMargin = 4,
  DetachedMargin = 5,
};

struct FrameBuffers {
  // Sizes, copied from the settings at allocation.
  int32_t width = 0;
  int32_t height = 0;
  int32_t pixelCount = 0;
  int32_t sliceCount = 0;

  Buffer<uint8_t> sliceStack;        // plane s at s x pixelCount
  Buffer<double> deltaMap;
  Buffer<int32_t> sortedPixels;      // pixel indices, ascending delta
  Buffer<int32_t> classMap;          // classes, then label map, edgeMap, nucleusMask
  Buffer<int32_t> floodQueue;
  Buffer<AngleEntry> angleTable;     // 181 entries
  Buffer<FrameSummary> frameSummaries;  // frameCount + 1, entry 0 unused
  Buffer<int32_t> cellMap;           // cell number per pixel, -1 outside cells
  Buffer<int32_t> cellPixels;
  Buffer<CellRecord> currentCells;   // 1000 records
  Buffer<int32_t> previousCellMap;
  Buffer<CellRecord> previousCells;
  Buffer<int32_t> linkCandidates;    // link pairs, then blobMap
  Buffer<int32_t> linkPairCounts;    // max(pixelCount, 1000 x 1000); then candidatePixels
  Buffer<RegionRecord> regionTable;  // 100,000 records, stage [42]
  Buffer<BlobRecord> blobTable;      // 100,000 records, stages [20]-[32]
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

  // Cell building and tracking.
  int32_t regionCount = 0;
  int32_t nextCellNumber = 1;
  int32_t previousCellNumberEnd = 0;
  int32_t cellPixelTotal = 0;
  int32_t nextTrackId = 1;

  // Content analysis.
  int32_t blobCount = 0;
  int32_t candidateCount = 0;

  // Set by a stage that stopped at a capacity in this frame; the frame loop
  // reports it once as a warning and clears it.
  std::string capacityNote;

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

// Obtains every buffer in allocation order, then tests them all. Sizes are
// computed in 64-bit arithmetic; a product that does not fit fails. On false
// `reason` names the first buffer that could not be obtained.
bool allocateBuffers(const RunSettings& settings, FrameBuffers& buffers, std::string* reason);

// Returns every buffer to the system (also after a partial failure).
void releaseBuffers(FrameBuffers& buffers);

// Directions k = 0..120, k x 3 degrees with pi taken as 3.1415927.
void fillAngleTable(FrameBuffers& buffers);

// The 317 offsets within radius 10, nearest first, equal distances in the
// order the index sort leaves them.
void fillDiskOffsets(FrameBuffers& buffers);

// End of a completed frame: current and previous cell maps and tables change
// roles by exchanging storage.
void handOverFrame(FrameBuffers& buffers);
