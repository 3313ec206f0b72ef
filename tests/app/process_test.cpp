// The program as a separate process, for what only that can show: a run
// stopped by SIGTERM or SIGINT, a run killed at any moment, and a file
// system that fills up (a file size limit makes writes fail as a full disk
// does).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/recording.h"
#include "support/run_capture.h"
#include "synth/synth.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A synthetic recording of `frames` frames of 320 x 240 with `slices` slices.
fs::path recording(const fs::path& folder, int32_t frames, int32_t slices) {
  generated(synthOptions(folder / "slices" / "t%0_z%1.tif", 320, 240, slices, frames, 7));
  return folder / "slices";
}

std::vector<std::string> words(const std::string& pattern, int32_t frames, int32_t slices, const fs::path& out) {
  return {"-w", "320", "-h", "240", "-sc", std::to_string(slices), "-c", std::to_string(frames),
          "-p", pattern, "-o", out.string()};
}

// Console and error stream of a child run go to files in `folder`.
ChildOptions consoleFiles(const fs::path& folder) {
  ChildOptions options;
  options.stdoutPath = (folder / "console.txt").string();
  options.stderrPath = (folder / "stderr.txt").string();
  return options;
}

int32_t framesCompleted(const std::string& json) {
  const std::string key = "\"framesCompleted\": ";
  const size_t at = json.find(key);
  if (at == std::string::npos || !std::isdigit(static_cast<unsigned char>(json[at + key.size()]))) return -1;
  return std::atoi(json.c_str() + at + key.size());
}

// SIGTERM and SIGINT: the frame in work is finished or dropped whole,
// run.json records the interruption, the status is 128 + the signal.
TEST(Process, InterruptedRunRecordsItAndEndsWithTheSignalStatus) {
  const fs::path folder = freshFolder("process_interrupt");
  const fs::path slices = recording(folder, 1, 4);
  // One stack read for every frame: a run that only a signal ends.
  const std::string pattern = (slices / "t0001_z%1.tif").string();
  for (const int signal : {SIGTERM, SIGINT}) {
    const fs::path out = folder / ("out" + std::to_string(signal));
    const pid_t pid = startFocustrack(words(pattern, 1000000, 4, out), consoleFiles(folder));
    ASSERT_GT(pid, 0);
    // run.json is rewritten after every frame; wait for the second.
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
    int status = -1;
    while (framesCompleted(readFile(out / "run.json")) < 2 && Clock::now() < deadline && !childEnded(pid, &status)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(status, -1) << "the run ended by itself: " << readFile(folder / "stderr.txt");
    kill(pid, signal);
    EXPECT_EQ(waitForChild(pid), 128 + signal);
    const std::string json = readFile(out / "run.json");
    EXPECT_TRUE(has(json, "\"stopReason\": \"interrupted\"")) << json;
    const int32_t frames = framesCompleted(json);
    EXPECT_GE(frames, 2);
    const std::string name = signal == SIGTERM ? "SIGTERM" : "SIGINT";
    EXPECT_TRUE(has(json, "\"stopDetail\": \"" + name + " after " + std::to_string(frames) + " frames\"")) << json;
    EXPECT_EQ(countOf(readFile(out / "_average.csv"), "\n"), static_cast<size_t>(frames) + 1);
    const std::string console = readFile(folder / "console.txt");
    // The warning is the last line before "Finished".
    const size_t warning = console.rfind("Warning\x1b[39m\n");
    ASSERT_NE(warning, std::string::npos) << console;
    EXPECT_EQ(console.find("Frame", warning), std::string::npos) << console;
    EXPECT_TRUE(console.ends_with("Finished")) << console;
    EXPECT_TRUE(has(readFile(folder / "stderr.txt"), "interrupted by " + name)) << readFile(folder / "stderr.txt");
  }
}

// Whatever stands under a final name after a kill is complete: a table is
// the complete run's cut after a line end (_tracks.csv, rewritten whole
// after every frame, only keeps the header), run.json is JSON, and every
// other file equals the complete run's byte for byte.
void expectNothingHalfWritten(const fs::path& run, const fs::path& reference, int attempt) {
  for (const auto& entry : fs::recursive_directory_iterator(run)) {
    const std::string file = entry.path().filename().string();
    if (!entry.is_regular_file() || file.ends_with(".part") || file.ends_with(".tmp") || file == ".focustrack.lock") {
      continue;
    }
    const fs::path name = fs::relative(entry.path(), run);
    SCOPED_TRACE("kill " + std::to_string(attempt) + ": " + name.string());
    const std::string text = readFile(entry.path());
    const std::string complete = readFile(reference / name);
    if (file == "run.json") {
      EXPECT_TRUE(nlohmann::json::accept(text)) << text;
    } else if (file.ends_with(".csv")) {
      const size_t kept = file == "_tracks.csv" ? complete.find('\n') + 1 : text.size();
      EXPECT_EQ(complete.compare(0, kept, text, 0, kept), 0) << "not the complete table's beginning";
      EXPECT_TRUE(text.empty() || text.back() == '\n') << "ends in a partial row";
    } else {
      ASSERT_TRUE(fs::exists(reference / name));
      EXPECT_TRUE(text == complete) << "incomplete";
    }
  }
}

// True while a file of the run is being written: a temporary file, or a
// file other than a table under its final name, shorter than the complete
// run's (file_size answers the largest value for a file already gone).
bool writing(const fs::path& run, const fs::path& reference) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(run, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.ends_with(".part")) return true;
    if (name.ends_with(".csv") || name == "run.json" || name.starts_with(".")) continue;
    std::error_code gone;
    const uintmax_t size = it->file_size(gone);
    const uintmax_t complete = fs::file_size(reference / fs::relative(it->path(), run, gone), gone);
    if (!gone && size < complete) return true;
  }
  return false;
}

// Kill points: half at random moments of the whole run (start-up and
// computation included), half at a random sighting of a file being written.
TEST(Process, KilledRunsLeaveNoTruncatedFile) {
  const fs::path folder = freshFolder("process_kill");
  const fs::path slices = recording(folder, 3, 6);
  auto runWords = [&](const fs::path& run) {
    std::vector<std::string> w = words((slices / "t%0_z%1.tif").string(), 3, 6, run / "out");
    w.insert(w.end(), {"-i", "--masks", "--dump", (run / "dump").string()});
    return w;
  };
  const fs::path reference = folder / "reference";
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(runFocustrackChild(runWords(reference)), 0);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  std::mt19937 random(20260);
  std::uniform_int_distribution<long long> moment(0, whole);
  std::uniform_int_distribution<int> sighting(0, 40);
  constexpr int kKills = 40;
  int killedWhileWriting = 0;
  for (int attempt = 0; attempt < kKills; ++attempt) {
    const fs::path run = folder / "killed";
    fs::remove_all(run);
    const pid_t pid = startFocustrack(runWords(run));
    ASSERT_GT(pid, 0);
    bool ended = false;
    if (attempt % 2 == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    } else {
      int skip = sighting(random);
      int status = 0;
      while (!ended && !(writing(run, reference) && skip-- <= 0)) {
        ended = childEnded(pid, &status);
      }
      killedWhileWriting += ended ? 0 : 1;
    }
    if (!ended) {
      kill(pid, SIGKILL);
      waitForChild(pid);
    }
    if (fs::exists(run)) expectNothingHalfWritten(run, reference, attempt);
  }
  std::printf("killed %d runs, %d of them while a file was being written\n", kKills, killedWhileWriting);
}

// A file size limit makes every write beyond it fail with EFBIG, as a full
// disk fails with ENOSPC: the run stops with status 1, both tables end with
// the last complete frame's rows, and run.json counts those frames.
TEST(Process, FullFileSystemLeavesOnlyCompleteFrames) {
  const fs::path folder = freshFolder("process_full");
  const fs::path slices = recording(folder, 4, 6);
  const std::string pattern = (slices / "t%0_z%1.tif").string();
  ASSERT_EQ(runFocustrackChild(words(pattern, 4, 6, folder / "reference")), 0);
  ChildOptions options = consoleFiles(folder);
  const std::string referenceCells = readFile(folder / "reference" / "_cells.csv");
  options.fileSizeLimit = static_cast<long long>(referenceCells.size() / 2);
  const fs::path out = folder / "out";
  EXPECT_EQ(runFocustrackChild(words(pattern, 4, 6, out), options), 1);
  const std::string err = readFile(folder / "stderr.txt");
  EXPECT_TRUE(has(err, "cannot write table '" + (out / "_cells.csv").string() + "': File too large")) << err;
  EXPECT_TRUE(has(readFile(folder / "console.txt"), "\x1b[31m")) << "a red Error line";
  const std::string json = readFile(out / "run.json");
  EXPECT_TRUE(nlohmann::json::accept(json)) << json;
  EXPECT_TRUE(has(json, "\"stopReason\": \"write failed\"")) << json;
  const int32_t frames = framesCompleted(json);
  EXPECT_GE(frames, 1);
  EXPECT_LT(frames, 4);
  const std::string average = readFile(out / "_average.csv");
  EXPECT_EQ(countOf(average, "\n"), static_cast<size_t>(frames) + 1);
  EXPECT_TRUE(readFile(folder / "reference" / "_average.csv").starts_with(average)) << average;
  std::string nextFrame = "\n";  // built in steps: GCC 12 warns wrongly on one concatenation
  nextFrame += std::to_string(frames + 1);
  nextFrame += ", ";
  ASSERT_TRUE(has(referenceCells, nextFrame));
  EXPECT_EQ(readFile(out / "_cells.csv"), referenceCells.substr(0, referenceCells.find(nextFrame) + 1));
}

}  // namespace

}  // namespace focustrack
