// Whole runs with 1, 2, 3 and 8 threads: every file written (tables, result
// images, masks, dumps), the console without its times, the reason lines,
// the exit status and run.json without its times and command line are the
// same whatever the thread count. Each run also goes without dumps: the
// frame prepared ahead then builds its cells too.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/recording.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// run.json without the lines that differ from run to run.
std::string stableManifest(const std::string& json) {
  std::istringstream lines(json);
  std::string line, kept;
  while (std::getline(lines, line)) {
    if (has(line, "\"startTime\"") || has(line, "\"endTime\"") || has(line, "\"commandLine\"")) continue;
    kept += line + "\n";
  }
  return kept;
}

struct Outcome {
  int status = 0;
  std::string console;
  std::string reasons;
  FileBytes files;
};

Outcome runWithThreads(std::vector<std::string> words, const fs::path& folder, int threads, bool dumps) {
  const fs::path run = folder / ("threads" + std::to_string(threads));
  fs::remove_all(run);
  fs::create_directories(run);
  words.insert(words.end(), {"-o", (run / "out").string(), "-i", "--masks", "--threads", std::to_string(threads)});
  if (dumps) words.insert(words.end(), {"--dump", (run / "dump").string()});
  const RunResult r = runFocustrack(words);
  Outcome o{r.status, withoutTimes(r.out), replaceAll(r.err, run.string(), "RUN"), filesBelow(run)};
  auto manifest = o.files.find("out/run.json");
  if (manifest != o.files.end()) manifest->second = replaceAll(stableManifest(manifest->second), run.string(), "RUN");
  return o;
}

void expectSameForEveryThreadCount(const std::string& label, const std::vector<std::string>& words) {
  for (const bool dumps : {true, false}) {
    const std::string name = label + (dumps ? "" : ", no dumps");
    const fs::path folder = freshFolder("threads_" + label);
    const Outcome one = runWithThreads(words, folder, 1, dumps);
    ASSERT_GT(one.files.size(), 2u) << name;
    for (int threads : {2, 3, 8}) {
      SCOPED_TRACE(name + ", " + std::to_string(threads) + " threads");
      const Outcome many = runWithThreads(words, folder, threads, dumps);
      EXPECT_EQ(std::tie(many.status, many.console, many.reasons), std::tie(one.status, one.console, one.reasons));
      expectSameFiles(one.files, many.files);
    }
  }
}

std::vector<std::string> synthetic(const std::string& name, int32_t width, int32_t height, int32_t slices,
                                   int32_t frames, uint64_t seed, const std::string& missing = "") {
  const fs::path slicesFolder = freshFolder("threads_slices_" + name);
  const std::vector<std::string> words =
      generated(synthOptions(slicesFolder / "t%0_z%1.tif", width, height, slices, frames, seed));
  if (!missing.empty()) fs::remove(slicesFolder / missing);
  return words;
}

TEST(ThreadsRuns, RealRecordingsAreTheSameWithAnyThreadCount) {
  bool any = false;
  for (const std::string name : {"traps-234", "traps-162"}) {
    if (!fs::exists(kSharedData / name)) continue;
    any = true;
    expectSameForEveryThreadCount(name, realWords(name));
  }
  if (!any) GTEST_SKIP() << "no shared data";
}

// The frame prepared ahead reads the next page of a stack file, 16-bit
// samples and resampled slices while the current one completes.
TEST(ThreadsRuns, StackFilesSixteenBitAndScaledInputAreTheSame) {
  const fs::path ome = kSharedData / "trapB-16bit" / "trapB.ome.tif";
  if (fs::exists(ome)) expectSameForEveryThreadCount("ome", {"-p", ome.string(), "--scale", "2", "--reverse-slices"});
  SynthOptions options = synthOptions(freshFolder("threads_stack_files") / "recording.ome.tif", 150, 110, 6, 4, 3);
  options.format = SynthFormat::Ome;
  options.bits = 16;
  options.channels = 2;
  options.trapPairs = 2;
  generated(options);
  expectSameForEveryThreadCount("ome16", {"-p", options.pathPattern, "--exclude", deviceMaskPath(options)});
  expectSameForEveryThreadCount("ome16_scaled", {"-p", options.pathPattern, "--scale", "1.5"});
}

// Odd sizes that split unevenly among the threads, and a frame whose pixel
// sort is large enough to sort parts side by side.
TEST(ThreadsRuns, SyntheticRecordingsOfSeveralSizesAreTheSame) {
  expectSameForEveryThreadCount("odd", synthetic("odd", 97, 61, 6, 4, 11));
  expectSameForEveryThreadCount("wide", synthetic("wide", 640, 200, 9, 3, 5));
}

// The run ends after frame 2 with the same lines and files as with one thread,
// although frame 3 may have been loading while frame 2 completed; likewise
// when frame 2, prepared beside frame 1, misses a slice.
TEST(ThreadsRuns, AMissingSliceEndsTheRunAlikeWithAnyThreadCount) {
  expectSameForEveryThreadCount("missing", synthetic("missing", 200, 150, 8, 4, 9, "t0003_z005.tif"));
  expectSameForEveryThreadCount("missing_second", synthetic("missing_second", 90, 70, 5, 3, 6, "t0002_z004.tif"));
  expectSameForEveryThreadCount("missing_first", synthetic("missing_first", 120, 90, 5, 3, 4, "t0001_z002.tif"));
}

}  // namespace

}  // namespace focustrack
