#include "cells/cells.h"
#include "frame/map_markers.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace focustrack {

namespace {

constexpr int32_t kReach = 10;    // radius of the disk offsets

// The pair area of the current frame: k = prev x C + cur.
struct PairArea {
  int32_t* counts;
  int32_t currentEnd;   // C = nextCellNumber
  int32_t previousEnd;  // P = previousCellNumberEnd
  int32_t size() const { return currentEnd * previousEnd; }
};

// Walks the disk offsets nearest first from (x, y) and answers the first
// positive value of `other`, or 0. The walk ends at the first offset that
// leaves the image, even when a cell lies within reach on the inner side.
// Pixels at least 10 away from every edge cannot leave the image, so they
// walk precomputed index offsets without the test.
int32_t nearestCell(const FrameBuffers& b, const int32_t* linearOffset, const int32_t* other,
                    int32_t p, int32_t x, int32_t y) {
  const int32_t count = b.diskOffsetCount;
  if (x >= kReach && x < b.width - kReach && y >= kReach && y < b.height - kReach) {
    for (int32_t m = 0; m < count; ++m) {
      const int32_t v = other[p + linearOffset[m]];
      if (v > 0) return v;
    }
    return 0;
  }
  for (int32_t m = 0; m < count; ++m) {
    const int32_t ox = x + b.diskDx[m];
    const int32_t oy = y + b.diskDy[m];
    if (ox < 0 || ox >= b.width || oy < 0 || oy >= b.height) return 0;
    const int32_t v = other[oy * b.width + ox];
    if (v > 0) return v;
  }
  return 0;
}

void link(FrameBuffers& b, const PairArea& area, int32_t k) {
  const int32_t cur = k % area.currentEnd;
  const int32_t prev = k / area.currentEnd;
  b.currentCells[cur].partner = prev;
  b.previousCells[prev].partner = cur;
  area.counts[k] = kLinked;
}

// Only the C x P entries of the pair area are ever read.
void clearPairs(FrameBuffers& b, const PairArea& area) {
  std::memset(area.counts, 0, sizeof(int32_t) * static_cast<size_t>(area.size()));
  for (int32_t prev = 1; prev < area.previousEnd; ++prev) {
    b.previousCells[prev].linkCount = 0;
    b.previousCells[prev].partner = 0;
  }
}

// Every cell pixel of either frame looks for the nearest cell pixel
// of the other frame.
void countContacts(const FrameBuffers& b, const PairArea& area) {
  int32_t linearOffset[kDiskOffsetSlots];
  for (int32_t m = 0; m < b.diskOffsetCount; ++m) linearOffset[m] = b.diskDy[m] * b.width + b.diskDx[m];
  const int32_t* label = b.labelMap();
  const int32_t* previous = b.previousCellMap.data();
  for (int32_t y = 0; y < b.height; ++y) {
    for (int32_t x = 0; x < b.width; ++x) {
      const int32_t p = y * b.width + x;
      const int32_t cur = label[p];
      if (cur > 0) {
        const int32_t prev = nearestCell(b, linearOffset, previous, p, x, y);
        if (prev > 0) area.counts[prev * area.currentEnd + cur] += 1;
      }
      const int32_t prev = previous[p];
      if (prev > 0) {
        const int32_t found = nearestCell(b, linearOffset, label, p, x, y);
        if (found > 0) area.counts[prev * area.currentEnd + found] += 1;
      }
    }
  }
}

void countDegrees(FrameBuffers& b, const PairArea& area) {
  for (int32_t k = 0; k < area.size(); ++k) {
    if (area.counts[k] <= 0) continue;
    b.currentCells[k % area.currentEnd].linkCount += 1;
    b.previousCells[k / area.currentEnd].linkCount += 1;
  }
}

// A cell with a single contact takes it, in ascending pair index.
void linkUniqueContacts(FrameBuffers& b, const PairArea& area) {
  for (int32_t k = 0; k < area.size(); ++k) {
    if (area.counts[k] <= 0) continue;
    if (b.currentCells[k % area.currentEnd].linkCount == 1 ||
        b.previousCells[k / area.currentEnd].linkCount == 1) {
      link(b, area, k);
    }
  }
}

void rejectPartnered(FrameBuffers& b, const PairArea& area) {
  for (int32_t k = 0; k < area.size(); ++k) {
    if (area.counts[k] <= 0) continue;
    if (b.currentCells[k % area.currentEnd].partner != 0 &&
        b.previousCells[k / area.currentEnd].partner != 0) {
      area.counts[k] = kRejected;
    }
  }
}

// Open pairs ascending by count; equal counts in the order the index
// sort leaves them. Returns the list length.
int32_t sortCandidates(FrameBuffers& b, const PairArea& area) {
  int32_t* list = b.linkCandidates.data();
  const int32_t room = static_cast<int32_t>(b.linkCandidates.size());
  int32_t length = 0;
  for (int32_t k = 0; k < area.size(); ++k) {
    if (area.counts[k] <= 0) continue;
    // Each open pair needs a contact pixel, so the list cannot outgrow the
    // image in practice; the test only keeps a pathological frame in bounds.
    if (length == room) {
      b.capacityNote += b.capacityNote.empty() ? "" : "; ";
      b.capacityNote += "link candidate list full; further candidates dropped";
      break;
    }
    list[length++] = k;
  }
  b.sorter.sort(list, area.counts, length - 1);
  return length;
}

// Strongest pairs first, only between two free cells.
void linkStrongestFree(FrameBuffers& b, const PairArea& area, int32_t length) {
  const int32_t* list = b.linkCandidates.data();
  for (int32_t i = length - 1; i >= 0; --i) {
    const int32_t k = list[i];
    if (b.currentCells[k % area.currentEnd].partner == 0 &&
        b.previousCells[k / area.currentEnd].partner == 0) {
      link(b, area, k);
    }
  }
}

// A cell still free takes its strongest pair, overwriting the other
// side's partner.
void linkRemainingFree(FrameBuffers& b, const PairArea& area, int32_t length) {
  const int32_t* list = b.linkCandidates.data();
  for (int32_t i = length - 1; i >= 0; --i) {
    const int32_t k = list[i];
    if (b.currentCells[k % area.currentEnd].partner == 0 ||
        b.previousCells[k / area.currentEnd].partner == 0) {
      link(b, area, k);
    }
  }
}

// The pair area holds C x P counts; it grows with the cell counts. False
// when it cannot: the pair index would leave 32 bits or memory runs out.
bool preparePairArea(FrameBuffers& b) {
  const int64_t pairs = int64_t{b.nextCellNumber} * int64_t{b.previousCellNumberEnd};
  if (pairs <= INT32_MAX && makeRoom(b, b.linkPairCounts, pairs - 1)) return true;
  noteCapacity(b, "out of memory for the pairs of " + std::to_string(b.previousCellNumberEnd - 1) +
                      " and " + std::to_string(b.nextCellNumber - 1) +
                      " cells; this frame's cells start new tracks");
  return false;
}

}  // namespace

void linkCells(const RunSettings&, FrameBuffers& b) {
  b.linkingSkipped = false;
  if (b.previousCellNumberEnd == 0) return;
  if (!preparePairArea(b)) {
    b.linkingSkipped = true;
    return;
  }
  const PairArea area{b.linkPairCounts.data(), b.nextCellNumber, b.previousCellNumberEnd};
  clearPairs(b, area);
  countContacts(b, area);
  countDegrees(b, area);
  linkUniqueContacts(b, area);
  rejectPartnered(b, area);
  const int32_t length = sortCandidates(b, area);
  linkStrongestFree(b, area, length);
  linkRemainingFree(b, area, length);
}

}  // namespace focustrack
