// Times the content stages, stage by stage: [20] the forward flood, [21] the
// nucleus fit, [30] the backward flood, [31] the vacuole fit, [32] the
// nucleus mask.
//
// Usage: contents_bench -p PATTERN [run options] [--repeat R]
//   Takes the program's own options (-w -h -sc -p -fs -c -tv -th ...). Every
//   frame of the recording runs through the stages before them once, then the
//   five content stages R times (default 3), each time from the state the
//   cell stages left. Figures are milliseconds per frame: mean and fastest
//   wall time, and mean processor time of this thread.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "cells/aspect.h"
#include "cells/fragments.h"
#include "cells/holes_and_measures.h"
#include "cells/linking.h"
#include "cells/seeding.h"
#include "classify/pixel_classes.h"
#include "classify/pixel_order.h"
#include "contents/blobs.h"
#include "contents/nucleus_fit.h"
#include "contents/nucleus_mask.h"
#include "contents/vacuole_fit.h"
#include "reduce/delta_map.h"
#include "reduce/reference_slice.h"
#include "reduce/slice_range.h"
#include "run/buffers.h"
#include "run/settings.h"
#include "run/slice_loader.h"
#include "run/slice_path.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStages = 5;
const char* const kStageNames[kStages] = {"[20] forward flood", "[21] nucleus fit", "[30] backward flood",
                                          "[31] vacuole fit", "[32] nucleus mask"};

struct Timings {
  double sum[kStages] = {};
  double cpuSum[kStages] = {};
  double fastest[kStages] = {1e300, 1e300, 1e300, 1e300, 1e300};
  int runs = 0;
};

double threadMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

template <class Stage>
void timeStage(int k, Stage stage, double* wall, double* cpu) {
  const double cpuStart = threadMilliseconds();
  const Clock::time_point start = Clock::now();
  stage();
  wall[k] = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  cpu[k] = threadMilliseconds() - cpuStart;
}

bool loadFrame(const RunSettings& s, FrameBuffers& b, int32_t frame) {
  const size_t n = static_cast<size_t>(b.pixelCount);
  for (int32_t plane = 0; plane < s.sliceCount; ++plane) {
    const std::string path =
        slicePath(s.pathPattern, frame, s.frameDigits, s.firstSlice + plane, s.sliceDigits);
    std::string why;
    if (!loadSlice(path, s.width, s.height, b.sliceStack.data() + static_cast<size_t>(plane) * n,
                   &why)) {
      std::fprintf(stderr, "contents_bench: cannot read '%s': %s\n", path.c_str(), why.c_str());
      return false;
    }
  }
  return true;
}

// The stages before the content analysis, in frame-loop order.
void buildFrame(const RunSettings& s, FrameBuffers& b) {
  b.rangeFirst = 0;
  b.rangeLast = s.sliceCount - 1;
  b.referenceSlice = -1;
  selectReferenceSlice(s, b);
  searchSliceRange(s, b);
  computeDeltaMap(s, b);
  sortPixels(s, b);
  classifyPixels(s, b);
  buildCells(s, b);
  linkCells(s, b);
  mergeFragments(s, b);
  completeCells(s, b);
  adjustCells(s, b);
}

// One pass of the five content stages. The nucleus fields start at 0, as the
// record initialisation leaves them.
void timeContents(const RunSettings& s, FrameBuffers& b, Timings& t) {
  for (int32_t c = 1; c < b.nextCellNumber; ++c) {
    b.currentCells[c].nucleusValue = 0.0;
    b.currentCells[c].nucleusArea = 0.0;
    b.currentCells[c].nucleoliArea = 0.0;
  }
  double ms[kStages];
  double cpu[kStages];
  timeStage(0, [&] { floodBlobs(s, b, FloodDirection::Forward); }, ms, cpu);
  timeStage(1, [&] { fitNuclei(s, b); }, ms, cpu);
  timeStage(2, [&] { floodBlobs(s, b, FloodDirection::Backward); }, ms, cpu);
  timeStage(3, [&] { fitVacuoles(s, b); }, ms, cpu);
  timeStage(4, [&] { excludeNucleusBlobs(s, b); }, ms, cpu);
  for (int k = 0; k < kStages; ++k) {
    t.sum[k] += ms[k];
    t.cpuSum[k] += cpu[k];
    t.fastest[k] = std::min(t.fastest[k], ms[k]);
  }
  ++t.runs;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 3;
  std::vector<const char*> words;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else {
      words.push_back(argv[i]);
    }
  }
  const RunSettings s = parseCommandLine(static_cast<int>(words.size()), words.data());
  std::string why;
  if (s.pathPattern.empty()) {
    std::fprintf(stderr, "contents_bench: a recording is needed (-p PATTERN)\n");
    return 1;
  }
  if (!sizesAreUsable(s, &why)) {
    std::fprintf(stderr, "contents_bench: %s\n", why.c_str());
    return 1;
  }
  FrameBuffers b;
  if (!allocateBuffers(s, b, &why)) {
    std::fprintf(stderr, "contents_bench: %s\n", why.c_str());
    return 1;
  }
  fillAngleTable(b);
  fillDiskOffsets(b);
  b.previousCellNumberEnd = 0;
  Timings t;
  for (int32_t frame = s.firstFrame; frame < s.firstFrame + s.frameCount; ++frame) {
    if (!loadFrame(s, b, frame)) break;
    b.frame = frame;
    b.frameOrdinal = frame - s.firstFrame + 1;
    buildFrame(s, b);
    for (int r = 0; r < repeat; ++r) timeContents(s, b, t);
    int32_t nuclei = 0;
    for (int32_t c = 1; c < b.nextCellNumber; ++c) nuclei += b.currentCells[c].nucleusValue >= s.nucleusThreshold;
    std::printf("frame %d: %d cells, %d cell pixels, %d with a nucleus, %d backward blobs, %d candidates\n",
                frame, b.nextCellNumber - 1, b.cellPixelTotal, nuclei, b.blobCount, b.candidateCount);
    handOverFrame(b);
    b.previousCellNumberEnd = b.nextCellNumber;
  }
  if (t.runs == 0) return 1;
  std::printf("%d x %d pixels, %d timed passes\n", s.width, s.height, t.runs);
  double total = 0.0;
  double cpuTotal = 0.0;
  for (int k = 0; k < kStages; ++k) {
    std::printf("  %-20s wall mean %8.2f ms  fastest %8.2f ms   processor mean %8.2f ms\n", kStageNames[k],
                t.sum[k] / t.runs, t.fastest[k], t.cpuSum[k] / t.runs);
    total += t.sum[k] / t.runs;
    cpuTotal += t.cpuSum[k] / t.runs;
  }
  std::printf("  %-20s wall mean %8.2f ms                     processor mean %8.2f ms\n", "all five", total,
              cpuTotal);
  releaseBuffers(b);
  return 0;
}
