// Bookkeeping both outline fits share: where a candidate's rays start and at
// what level, and the memory of rejected candidates that lets later
// candidates of the same blob skip their walk.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/frame_buffers.h"

namespace focustrack {

// A candidate pixel of a flooding pass: its blob, the blob's seed pixel (the
// origin of every ray), the candidate's value (the level the rays compare
// with) and the seed's value.
struct FitCandidate {
  int32_t pixel;
  int32_t blob;
  int32_t seed;
  double level;
  double seedValue;
};

// Candidate i of the latest flood.
inline FitCandidate fitCandidateAt(const FrameBuffers& b, int32_t i) {
  const int32_t p = b.candidatePixels()[i];
  const int32_t blob = b.blobMap()[p];
  const int32_t seed = b.blobTable[blob].seedPixel;
  return {p, blob, seed, b.deltaMap[p], b.deltaMap[seed]};
}

// The candidates of the latest flood cut where the cell changes: the start
// of every run, then candidateCount. True when every cell's candidates form
// a single run, as a flood lists them: then runs of cells share nothing the
// fits write and may go to different threads.
inline bool cellRuns(const FrameBuffers& b, std::vector<int32_t>* starts) {
  starts->clear();
  std::vector<bool> seen(static_cast<size_t>(b.nextCellNumber) + 1, false);
  bool single = true;
  const int32_t* candidates = b.candidatePixels();
  for (int32_t i = 0; i < b.candidateCount; ++i) {
    const int32_t c = b.cellMap[candidates[i]];
    if (i > 0 && c == b.cellMap[candidates[i - 1]]) continue;
    starts->push_back(i);
    if (c < 0 || c > b.nextCellNumber || seen[static_cast<size_t>(c)]) {
      single = false;
    } else {
      seen[static_cast<size_t>(c)] = true;
    }
  }
  starts->push_back(b.candidateCount);
  return single;
}

// The last rejection of a blob: the candidate's level and, where a cell edge
// rejected it, that edge pixel.
struct Rejection {
  int32_t blob;
  int32_t edgePixel;
  double level;
};

// Rejections in a small table indexed by blob number: a slot holds one blob
// at a time, and a blob without a slot is simply walked again, so the table
// only saves work and never changes a result.
class RejectionMemory {
 public:
  // The rejection remembered for `blob`, or null.
  const Rejection* find(int32_t blob) const {
    const Rejection& r = slots_[blob % kSlots];
    return r.blob == blob ? &r : nullptr;
  }
  void remember(const Rejection& rejection) { slots_[rejection.blob % kSlots] = rejection; }

 private:
  static constexpr int32_t kSlots = 1024;
  Rejection slots_[kSlots] = {};  // blob 0 never exists, so empty slots match nothing
};

}  // namespace focustrack
