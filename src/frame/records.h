// The records of a frame: cells, regions of the cell building, blobs of the
// content analysis, links between frames and the per-frame sums of the
// tables, with the capacities of their tables and the classes of the pixel
// classification.
#pragma once

#include <cstdint>

#include "base/angles.h"

namespace focustrack {

// Initial sizes of the per-frame tables; a frame that needs more grows them
// (record 0 is never used).
constexpr int32_t kCellCapacity = 1000;       // cell records 1..999 before growing
constexpr int32_t kRegionCapacity = 100000;   // regions or blobs 1..99,999 before growing
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
  int32_t trackId;           // union-find parent while cells are built and merged, then the track id
  double moveDistance;
  double aspect;
};

// One record of the region union-find of the cell building.
struct RegionRecord {
  int32_t parent;
  int32_t cellNumber;
  int32_t size;
};

// One blob of a flooding pass of the content analysis.
struct BlobRecord {
  int32_t seedPixel;          // highest pixel in the forward flood, lowest in the backward
  int32_t blobSize;
  uint8_t interior;           // never touched another cell, not in a nucleus
  double vacuoleScore;
  int32_t vacuoleCentre;
  double vacuoleArea;
};

// The outline a blob of the backward flood keeps with its vacuole score,
// kept apart from the blob records: the floods touch every record, few
// blobs keep an outline.
struct VacuoleOutline {
  double radius[kDirections];  // smoothed radius, directions 0..119
};

// One final link between a previous and a current cell.
struct LinkRecord {
  int32_t frameOrdinal;
  int32_t trackId;
  int32_t previousCell;  // cell number, then the pixel index of its box centre
  int32_t currentCell;   // likewise
  double distance = 0.0; // between the two box centres, once measured
  int32_t previousNumber = 0;  // the two cell numbers, kept after the fields
  int32_t currentNumber = 0;   // above become pixel indices
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

// Pixel classes of the classification.
enum PixelClass : int32_t {
  Outside = -1,
  Unassigned = 0,
  PositiveCore = 1,
  NegativeCore = 2,
  Margin = 3,
  AttachedMargin = 4,
  DetachedMargin = 5,
};

}  // namespace focustrack
