// The program as a separate process, for what only that can show: a run
// stopped by SIGTERM or SIGINT, a run killed at any moment, a file system
// that fills up (a file size limit makes writes fail as a full disk does),
// and a slice that is a FIFO.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "io/output_paths.h"
#include "support/child_process.h"
#include "support/json_check.h"
#include "support/picture_files.h"
#include "support/run_capture.h"
#include "synth/synth.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A synthetic recording of `frames` frames of 320 x 240 with `slices` slices.
fs::path recording(const fs::path& folder, int32_t frames, int32_t slices) {
  SynthOptions options;
  options.width = 320;
  options.height = 240;
  options.sliceCount = slices;
  options.frameCount = frames;
  options.seed = 7;
  options.pathPattern = (folder / "slices" / "t%0_z%1.tif").string();
  std::string why;
  EXPECT_TRUE(generateRecording(options, &why)) << why;
  return folder / "slices";
}

std::vector<std::string> words(const std::string& pattern, int32_t frames, int32_t slices, const fs::path& out) {
  return {"-w", "320", "-h", "240", "-sc", std::to_string(slices), "-c", std::to_string(frames),
          "-p", pattern, "-o", out.string()};
}

int32_t framesCompleted(const std::string& json) {
  const std::string key = "\"framesCompleted\": ";
  const size_t at = json.find(key);
  if (at == std::string::npos || !std::isdigit(static_cast<unsigned char>(json[at + key.size()]))) return -1;
  return std::atoi(json.c_str() + at + key.size());
}

size_t lineCount(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

// The table holds whole rows only: it is `reference` cut after a line end.
void expectWholeRows(const std::string& table, const std::string& reference, const std::string& name) {
  EXPECT_EQ(reference.compare(0, table.size(), table), 0) << name << " is not a prefix of the complete table";
  EXPECT_TRUE(table.empty() || table.back() == '\n') << name << " ends in a partial row";
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
    ChildOptions options;
    options.stdoutPath = (folder / "console.txt").string();
    options.stderrPath = (folder / "stderr.txt").string();
    const pid_t pid = startFocustrack(words(pattern, 1000000, 4, out), options);
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
    EXPECT_TRUE(isJson(json)) << json;
    EXPECT_TRUE(has(json, "\"stopReason\": \"interrupted\"")) << json;
    const int32_t frames = framesCompleted(json);
    EXPECT_GE(frames, 2);
    const std::string name = signal == SIGTERM ? "SIGTERM" : "SIGINT";
    EXPECT_TRUE(has(json, "\"stopDetail\": \"" + name + " after " + std::to_string(frames) + " frames\"")) << json;
    EXPECT_FALSE(has(json, "\"endTime\": null")) << json;
    EXPECT_EQ(lineCount(readFile(out / "_average.csv")), static_cast<size_t>(frames) + 1);
    const std::string console = readFile(folder / "console.txt");
    // The warning is the last line before "Finished".
    const size_t warning = console.rfind("Warning\x1b[39m\n");
    ASSERT_NE(warning, std::string::npos) << console;
    EXPECT_EQ(console.find("Frame", warning), std::string::npos) << console;
    EXPECT_TRUE(console.ends_with("Finished")) << console;
    EXPECT_TRUE(has(readFile(folder / "stderr.txt"), "interrupted by " + name)) << readFile(folder / "stderr.txt");
  }
}

// Every file of the reference run, by name relative to the run's folder.
std::vector<fs::path> filesUnder(const fs::path& root) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root));
  }
  return files;
}

// Whatever stands under a final name after a kill is complete: images,
// masks and dumps equal the complete run's files byte for byte, tables end
// in whole rows, run.json is JSON.
void expectNothingHalfWritten(const fs::path& run, const fs::path& reference, int attempt) {
  for (const fs::path& name : filesUnder(run)) {
    const std::string file = name.filename().string();
    if (file.ends_with(".part") || file.ends_with(".tmp") || file == ".focustrack.lock") continue;
    const std::string text = readFile(run / name);
    if (file == "run.json") {
      EXPECT_TRUE(isJson(text)) << "kill " << attempt << ": " << text;
    } else if (file == "_tracks.csv") {
      // Rewritten whole after every frame: the table of the frames so far.
      const std::string reference_ = readFile(reference / name);
      const std::string header = reference_.substr(0, reference_.find('\n') + 1);
      EXPECT_EQ(text.compare(0, header.size(), header), 0) << "kill " << attempt << ": " << text;
      EXPECT_TRUE(!text.empty() && text.back() == '\n') << "kill " << attempt << ": " << text;
    } else if (file.ends_with(".csv")) {
      expectWholeRows(text, readFile(reference / name), name.string());
    } else {
      ASSERT_TRUE(fs::exists(reference / name)) << name;
      EXPECT_TRUE(text == readFile(reference / name)) << "kill " << attempt << ": " << name << " is incomplete";
    }
  }
}

// True when a file of the run is being written: a temporary file, or a file
// under a final name that is still shorter than the complete run's.
bool writing(const fs::path& run, const fs::path& reference) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(run, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::string name = it->path().filename().string();
    if (name.ends_with(".part")) return true;
    if (name.ends_with(".csv") || name == "run.json" || name.starts_with(".")) continue;
    // The file may be renamed or removed while it is looked at.
    std::error_code gone;
    const fs::path relative = fs::relative(it->path(), run, gone);
    if (gone || relative.empty()) continue;
    const uintmax_t size = it->file_size(gone);
    if (gone) continue;
    const uintmax_t complete = fs::file_size(reference / relative, gone);
    if (!gone && size < complete) return true;
  }
  return false;
}

// Kills the child at the `skip`-th sight of a file being written, or when
// it has ended; answers whether it was killed while running.
bool killWhileWriting(pid_t pid, const fs::path& run, const fs::path& reference, int skip) {
  int status = 0;
  while (!childEnded(pid, &status)) {
    if (writing(run, reference) && skip-- <= 0) {
      kill(pid, SIGKILL);
      waitForChild(pid);
      return true;
    }
  }
  return false;
}

// Kill points: half at random moments of the whole run (start-up and
// computation included), half at random moments while a file is written.
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
    if (attempt % 2 == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
      kill(pid, SIGKILL);
      waitForChild(pid);
    } else if (killWhileWriting(pid, run, reference, sighting(random))) {
      ++killedWhileWriting;
    }
    if (fs::exists(run)) expectNothingHalfWritten(run, reference, attempt);
  }
  std::printf("killed %d runs, %d of them while a file was being written\n", kKills, killedWhileWriting);
}

// masks.tif as a killed run leaves it: libtiff reads it without complaint,
// every page equals the complete run's mask of that frame, and the
// description counts the pages or, for a moment, one fewer.
void expectValidMaskStack(const fs::path& stack, const fs::path& reference, int attempt) {
  int complaints = 0;
  const std::vector<TiffPage> pages = readTiffPagesStrictly(stack.string(), &complaints);
  EXPECT_EQ(complaints, 0) << "kill " << attempt;
  ASSERT_FALSE(pages.empty()) << "kill " << attempt;
  for (size_t k = 0; k < pages.size(); ++k) {
    const std::vector<TiffPage> mask = readTiffPages(frameFilePath(reference.string(), "masks", int32_t(k) + 1, "tif"));
    ASSERT_EQ(mask.size(), 1u) << "kill " << attempt << ": page " << k + 1 << " beyond the run's frames";
    EXPECT_EQ(pages[k].samples, mask[0].samples) << "kill " << attempt << ": page " << k + 1;
  }
  const std::string& text = pages[0].description;
  const size_t at = text.find("\nimages=");
  ASSERT_NE(at, std::string::npos) << text;
  const size_t images = size_t(std::atol(text.c_str() + at + 8));
  EXPECT_TRUE(images == pages.size() || images + 1 == pages.size()) << "kill " << attempt << ": " << text;
}

// Kills at a random sighting of masks.tif growing, mostly while a page is
// being added in place.
TEST(Process, KilledRunsLeaveAValidMaskStack) {
  const fs::path folder = freshFolder("process_kill_stack");
  const int32_t frames = 8;
  constexpr int kKills = 16;
  const std::string pattern = (recording(folder, frames, 3) / "t%0_z%1.tif").string();
  const fs::path reference = folder / "reference";
  std::vector<std::string> referenceWords = words(pattern, frames, 3, reference);
  referenceWords.insert(referenceWords.end(), {"--masks", "--mask-stack"});
  ASSERT_EQ(runFocustrackChild(referenceWords), 0);
  expectValidMaskStack(reference / "masks.tif", reference, -1);
  std::mt19937 random(20261);
  std::uniform_int_distribution<int> sighting(0, 3 * frames);
  int killedMidway = 0;
  for (int attempt = 0; attempt < kKills; ++attempt) {
    const fs::path run = folder / "killed";
    fs::remove_all(run);
    std::vector<std::string> w = words(pattern, frames, 3, run);
    w.push_back("--mask-stack");
    const pid_t pid = startFocustrack(w);
    ASSERT_GT(pid, 0);
    int skip = sighting(random), status = 0;
    uintmax_t last = 0;
    while (!childEnded(pid, &status)) {
      std::error_code gone;
      const uintmax_t size = fs::file_size(run / "masks.tif", gone);
      if (gone || size == last) continue;
      last = size;
      if (skip-- > 0) continue;
      kill(pid, SIGKILL);
      waitForChild(pid);
      killedMidway += 1;
      break;
    }
    if (fs::exists(run / "masks.tif")) expectValidMaskStack(run / "masks.tif", reference, attempt);
  }
  std::printf("killed %d of %d runs while masks.tif grew\n", killedMidway, kKills);
}

// A file size limit makes every write beyond it fail with EFBIG, as a full
// disk fails with ENOSPC: the run stops with status 1 and the tables end
// with the rows of the last complete frame.
TEST(Process, FullFileSystemLeavesOnlyCompleteFrames) {
  const fs::path folder = freshFolder("process_full");
  const fs::path slices = recording(folder, 4, 6);
  const std::string pattern = (slices / "t%0_z%1.tif").string();
  ASSERT_EQ(runFocustrackChild(words(pattern, 4, 6, folder / "reference")), 0);
  const std::string referenceCells = readFile(folder / "reference" / "_cells.csv");
  ChildOptions options;
  options.stdoutPath = (folder / "console.txt").string();
  options.stderrPath = (folder / "stderr.txt").string();
  options.fileSizeLimit = static_cast<long long>(referenceCells.size() / 2);
  const fs::path out = folder / "out";
  EXPECT_EQ(runFocustrackChild(words(pattern, 4, 6, out), options), 1);
  const std::string err = readFile(folder / "stderr.txt");
  EXPECT_TRUE(has(err, "cannot write table '" + (out / "_cells.csv").string() + "': File too large")) << err;
  EXPECT_TRUE(has(readFile(folder / "console.txt"), "\x1b[31m")) << "a red Error line";
  const std::string json = readFile(out / "run.json");
  EXPECT_TRUE(isJson(json)) << json;
  EXPECT_TRUE(has(json, "\"stopReason\": \"write failed\"")) << json;
  const int32_t frames = framesCompleted(json);
  EXPECT_GE(frames, 1);
  EXPECT_LT(frames, 4);
  // Both tables hold exactly the completed frames' rows.
  const std::string cells = readFile(out / "_cells.csv");
  const std::string average = readFile(out / "_average.csv");
  expectWholeRows(cells, referenceCells, "_cells.csv");
  expectWholeRows(average, readFile(folder / "reference" / "_average.csv"), "_average.csv");
  EXPECT_EQ(lineCount(average), static_cast<size_t>(frames) + 1);
  std::string nextFrame = "\n";
  nextFrame += std::to_string(frames + 1);
  nextFrame += ", ";
  EXPECT_TRUE(has(referenceCells, nextFrame));
  EXPECT_EQ(cells, referenceCells.substr(0, referenceCells.find(nextFrame) + 1));
}

// A FIFO would block the run forever when opened; it is refused at once.
TEST(Process, FifoSliceIsRefusedAtOnce) {
  const fs::path folder = freshFolder("process_fifo");
  const fs::path slices = recording(folder, 1, 3);
  fs::remove(slices / "t0001_z002.tif");
  ASSERT_EQ(mkfifo((slices / "t0001_z002.tif").c_str(), 0644), 0);
  ChildOptions options;
  options.stderrPath = (folder / "stderr.txt").string();
  const pid_t pid = startFocustrack(words((slices / "t%0_z%1.tif").string(), 1, 3, folder / "out"), options);
  ASSERT_GT(pid, 0);
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
  int status = -1;
  while (!childEnded(pid, &status) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (status == -1) {
    kill(pid, SIGKILL);
    waitForChild(pid);
    FAIL() << "the run blocked on the FIFO";
  }
  EXPECT_EQ(status, 2);
  EXPECT_TRUE(has(readFile(folder / "stderr.txt"), "t0001_z002.tif' of frame 1: not a regular file (a FIFO)"))
      << readFile(folder / "stderr.txt");
  EXPECT_TRUE(has(readFile(folder / "out" / "run.json"), "\"stopReason\": \"unreadable slice\""));
}

}  // namespace

}  // namespace focustrack
