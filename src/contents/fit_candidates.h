// Bookkeeping both outline fits share: where a candidate's rays start and at
// what level, and the memory of rejected candidates that lets later
// candidates of the same blob skip their walk.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
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

// The pairs (blob, i) of the candidates i = first..end - 1, in ascending
// order: blob by blob, each blob's candidates in list order. A flood numbers
// a cell's blobs one after another, so a count over the span of their
// numbers places them; a span much longer than the run is sorted instead.
struct BlobOrder {
  std::vector<std::pair<int32_t, int32_t>> pairs;
  std::vector<int32_t> placeOf;  // per blob number in the span: its first place
};

inline void orderByBlob(const FrameBuffers& b, int32_t first, int32_t end, BlobOrder& order) {
  const int32_t* blobMap = b.blobMap();
  const int32_t* candidates = b.candidatePixels();
  std::vector<std::pair<int32_t, int32_t>>& pairs = order.pairs;
  pairs.clear();
  int32_t lowest = 0;
  int32_t highest = -1;
  for (int32_t i = first; i < end; ++i) {
    const int32_t blob = blobMap[candidates[i]];
    if (i == first || blob < lowest) lowest = blob;
    if (i == first || blob > highest) highest = blob;
    pairs.push_back({blob, i});
  }
  const int64_t span = int64_t{highest} - lowest + 1;
  if (span > 4 * int64_t{end - first} + 64) {
    std::sort(pairs.begin(), pairs.end());
    return;
  }
  std::vector<int32_t>& place = order.placeOf;
  place.assign(static_cast<size_t>(span) + 1, 0);
  for (const auto& pair : pairs) ++place[static_cast<size_t>(pair.first - lowest) + 1];
  for (size_t k = 1; k < place.size(); ++k) place[k] += place[k - 1];
  for (int32_t i = first; i < end; ++i) {
    const int32_t blob = blobMap[candidates[i]];
    pairs[static_cast<size_t>(place[static_cast<size_t>(blob - lowest)]++)] = {blob, i};
  }
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
