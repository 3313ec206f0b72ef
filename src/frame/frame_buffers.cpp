#include "frame/frame_buffers.h"

#include <algorithm>

#include <unistd.h>

#include "io/resample.h"

namespace focustrack {

namespace {

constexpr int64_t kPairAreaFloor = int64_t{1000} * 1000;  // two frames of 999 cells

// With overcommitted memory a huge request may be granted and fail only when
// touched, killing the run midway: refuse what the machine cannot hold.
bool fitsTheMachine(const RunSettings& settings, int32_t width, int32_t height, uint64_t stackCount,
                    int64_t n, int64_t summaries, std::string* reason) {
  const long double needed = static_cast<long double>(stackCount) +
                             static_cast<long double>(n) * (sizeof(double) + 7 * sizeof(int32_t)) +
                             static_cast<long double>(summaries) * sizeof(FrameSummary);
  const long double physical = static_cast<long double>(sysconf(_SC_PHYS_PAGES)) *
                               static_cast<long double>(sysconf(_SC_PAGE_SIZE));
  if (physical <= 0 || needed <= physical) return true;
  *reason = "cannot allocate " + std::to_string(static_cast<uint64_t>(needed / (1 << 20))) +
            " MiB for " + std::to_string(width) + " x " + std::to_string(height) +
            " pixels, " + std::to_string(settings.sliceCount) + " slices, " +
            std::to_string(settings.frameCount) + " frames: the machine has " +
            std::to_string(static_cast<uint64_t>(physical / (1 << 20))) + " MiB";
  return false;
}

}  // namespace

bool allocateBuffers(const RunSettings& settings, FrameBuffers& b, std::string* reason) {
  // The analysed grid: the slices' size, resampled by the scale.
  const int32_t width = settings.scale == 1.0 ? settings.width : scaledLength(settings.width, settings.scale);
  const int32_t height = settings.scale == 1.0 ? settings.height : scaledLength(settings.height, settings.scale);
  const int64_t n = int64_t{width} * int64_t{height};
  const int64_t slices = settings.sliceCount;
  const int64_t summaries = int64_t{settings.frameCount} + 1;
  b.width = width;
  b.height = height;
  b.pixelCount = static_cast<int32_t>(n);
  b.sliceCount = settings.sliceCount;

  // Request everything first, then test; a negative or overflowing size
  // counts as a failed request.
  auto count = [](int64_t value) { return value > 0 ? static_cast<uint64_t>(value) : 0; };
  const uint64_t stackCount =
      (n > 0 && slices > 0 && n <= INT64_MAX / slices) ? count(n * slices) : 0;
  // Room for a blob every 16 pixels (a real frame has about one every 25),
  // so that the blob tables of large frames seldom grow: the memory stays
  // unmapped until used, while growing zero-fills every new outline.
  const uint64_t blobRoom = std::max<uint64_t>(kRegionCapacity, count(n / 16));

  if (!fitsTheMachine(settings, width, height, stackCount, n, summaries, reason)) return false;
  struct Request {
    const char* name;
    bool ok;
  };
  const Request requests[] = {
      {"sliceStack", b.sliceStack.obtain(stackCount)},
      {"deltaMap", b.deltaMap.obtain(count(n))},
      {"sortedPixels", b.sortedPixels.obtain(count(n))},
      {"classMap", b.classMap.obtain(count(n))},
      {"floodQueue", b.floodQueue.obtain(count(n))},
      {"angleTable", b.angleTable.obtain(kAngleEntries)},
      {"frameSummaries", b.frameSummaries.obtain(count(std::max<int64_t>(summaries, 1)))},
      {"cellMap", b.cellMap.obtain(count(n))},
      {"cellPixels", b.cellPixels.obtain(count(n))},
      {"currentCells", b.currentCells.obtain(kCellCapacity)},
      {"previousCellMap", b.previousCellMap.obtain(count(n))},
      {"previousCells", b.previousCells.obtain(kCellCapacity)},
      {"linkCandidates", b.linkCandidates.obtain(count(n))},
      {"linkPairCounts", b.linkPairCounts.obtain(count(std::max(n, kPairAreaFloor)))},
      {"regionTable", b.regionTable.obtain(kRegionCapacity)},
      {"blobTable", b.blobTable.obtain(blobRoom)},
      {"vacuoleOutlines", b.vacuoleOutlines.obtain(blobRoom)},
  };
  for (const Request& r : requests) {
    if (!r.ok) {
      *reason = std::string("cannot allocate ") + r.name + " for " + std::to_string(width) +
                " x " + std::to_string(height) + " pixels, " +
                std::to_string(settings.sliceCount) + " slices, " +
                std::to_string(settings.frameCount) + " frames";
      return false;
    }
  }
  b.linkRecords.clear();
  b.linkRecords.reserve(kLinkRecordReserve);
  return true;
}

bool obtainSixteenBitStack(FrameBuffers& b) {
  if (b.sliceStack16.data() != nullptr) return true;
  const uint64_t count = static_cast<uint64_t>(b.pixelCount) * static_cast<uint64_t>(b.sliceCount);
  return b.pixelCount > 0 && b.sliceCount > 0 && b.sliceStack16.obtain(count);
}

void releaseBuffers(FrameBuffers& b) {
  b.sliceStack.release();
  b.sliceStack16.release();
  b.deltaMap.release();
  b.sortedPixels.release();
  b.classMap.release();
  b.floodQueue.release();
  b.angleTable.release();
  b.frameSummaries.release();
  b.cellMap.release();
  b.cellPixels.release();
  b.currentCells.release();
  b.previousCellMap.release();
  b.previousCells.release();
  b.linkCandidates.release();
  b.linkPairCounts.release();
  b.regionTable.release();
  b.blobTable.release();
  b.vacuoleOutlines.release();
  b.deviceMask.release();
  std::vector<LinkRecord>().swap(b.linkRecords);
}

void noteCapacity(FrameBuffers& b, const std::string& note) {
  if (b.capacityNote.find(note) != std::string::npos) return;
  if (!b.capacityNote.empty()) b.capacityNote += "; ";
  b.capacityNote += note;
}

void beginFrame(FrameBuffers& b) {
  b.rangeFirst = 0;
  b.rangeLast = b.sliceCount - 1;
  b.referenceSlice = -1;
}

void fillRunTables(FrameBuffers& b) {
  fillAngleTable(b.angleTable.data());
  b.diskOffsetCount = fillDiskOffsets(b.diskDx, b.diskDy);
}

void handOverFrame(FrameBuffers& b) {
  b.cellMap.swap(b.previousCellMap);
  b.currentCells.swap(b.previousCells);
  b.previousCellNumberEnd = b.nextCellNumber;
}

}  // namespace focustrack
