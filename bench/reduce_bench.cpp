// Times stack reduction and pixel classification, stage by stage: [10] the
// reference slice, [11] the slice range search, [12] the delta map, [40] the
// pixel order, [41] the pixel classes.
//
// Usage: reduce_bench [run options] [--repeat R]
//   Takes the program's own options (-w -h -sc -p -fs -c -b -tc ...). With
//   -p the frames are read from that recording; without it every frame is a
//   stack of random grey values. Each frame runs R times (default 3); the
//   figures are milliseconds per frame: mean and fastest wall time, and mean
//   processor time of this thread (steadier on a busy machine).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "classify/pixel_classes.h"
#include "classify/pixel_order.h"
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
const char* const kStageNames[kStages] = {"[10] Stack Selected", "[11] Stack Searched",
                                          "[12] Delta Calculated", "[40] Sorted", "[41] Colored"};

struct Timings {
  double sum[kStages] = {};
  double cpuSum[kStages] = {};
  double fastest[kStages] = {1e300, 1e300, 1e300, 1e300, 1e300};
  int runs = 0;
};

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double threadMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

// Wall and processor time of one stage.
template <class Stage>
void timeStage(int k, Stage stage, double* wall, double* cpu) {
  const double cpuStart = threadMilliseconds();
  const Clock::time_point start = Clock::now();
  stage();
  wall[k] = millisecondsSince(start);
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
      std::fprintf(stderr, "reduce_bench: cannot read '%s': %s\n", path.c_str(), why.c_str());
      return false;
    }
  }
  return true;
}

void randomFrame(FrameBuffers& b, uint32_t seed) {
  std::mt19937 random(seed);
  const size_t total = static_cast<size_t>(b.pixelCount) * static_cast<size_t>(b.sliceCount);
  for (size_t i = 0; i < total; ++i) b.sliceStack[i] = static_cast<uint8_t>(random() & 0xff);
}

// One pass of the five stages in frame-loop order.
void timeFrame(const RunSettings& s, FrameBuffers& b, Timings& t) {
  double ms[kStages];
  double cpu[kStages];
  b.rangeFirst = 0;
  b.rangeLast = s.sliceCount - 1;
  b.referenceSlice = -1;
  timeStage(
      0, [&] { selectReferenceSlice(s, b); }, ms, cpu);
  timeStage(
      1, [&] { searchSliceRange(s, b); }, ms, cpu);
  timeStage(
      2, [&] { computeDeltaMap(s, b); }, ms, cpu);
  timeStage(
      3, [&] { sortPixels(s, b); }, ms, cpu);
  timeStage(
      4, [&] { classifyPixels(s, b); }, ms, cpu);
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
  if (!sizesAreUsable(s, &why)) {
    std::fprintf(stderr, "reduce_bench: %s\n", why.c_str());
    return 1;
  }
  FrameBuffers b;
  if (!allocateBuffers(s, b, &why)) {
    std::fprintf(stderr, "reduce_bench: %s\n", why.c_str());
    return 1;
  }
  Timings t;
  for (int32_t frame = s.firstFrame; frame < s.firstFrame + s.frameCount; ++frame) {
    if (s.pathPattern.empty()) {
      randomFrame(b, static_cast<uint32_t>(frame));
    } else if (!loadFrame(s, b, frame)) {
      break;
    }
    for (int r = 0; r < repeat; ++r) timeFrame(s, b, t);
    std::printf("frame %d: reference slice %d, range %d..%d\n", frame, b.referenceSlice,
                b.rangeFirst, b.rangeLast);
  }
  if (t.runs == 0) return 1;
  std::printf("%d x %d pixels, %d slices, trim limit %d, %d timed passes (%s)\n", s.width, s.height,
              s.sliceCount, s.sliceTrimLimit, t.runs,
              s.pathPattern.empty() ? "random stacks" : "recording");
  double total = 0.0;
  double cpuTotal = 0.0;
  for (int k = 0; k < kStages; ++k) {
    std::printf("  %-22s wall mean %8.2f ms  fastest %8.2f ms   processor mean %8.2f ms\n",
                kStageNames[k], t.sum[k] / t.runs, t.fastest[k], t.cpuSum[k] / t.runs);
    total += t.sum[k] / t.runs;
    cpuTotal += t.cpuSum[k] / t.runs;
  }
  std::printf("  %-22s wall mean %8.2f ms                     processor mean %8.2f ms\n",
              "all five", total, cpuTotal);
  releaseBuffers(b);
  return 0;
}
