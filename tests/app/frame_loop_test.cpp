#include "app/pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/recording.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

const std::string kLayoutA = "<t> ms |            |            | ";
const std::string kRed = "\x1b[31m";
const std::string kReset = "\x1b[39m";
const std::string kWarningLine = "\x1b[33m\n" + kLayoutA + "Warning" + kReset;
// The number of lines of a file; 0 when it is missing.
size_t lineCount(const fs::path& path) {
  const std::string text = readFile(path);
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// No frame, and words that are not options: the console has Start, a
// yellow Warning line for each warning (an unknown option is noted on the
// error stream only) and Finished; every table has its header line alone
// (the headers themselves are pinned by the reference runs).
TEST(FrameLoop, FrameCountZeroPrintsStartWarningsAndFinishedOnly) {
  const fs::path out = freshFolder("count0") / "out";
  const RunResult r = runFocustrack({"-c", "0", "stray", "-x", "-o", out.string(), "-sc", "1", "-b"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(withoutTimes(r.out),
            "\n" + kLayoutA + "Start" + kWarningLine + kWarningLine + kWarningLine + "\n" + kLayoutA + "Finished");
  EXPECT_EQ(r.err,
            "focustrack: ignoring unknown option '-x'\n"
            "focustrack: ignoring the word 'stray': it is neither an option nor the value of one\n"
            "focustrack: option -b is the last word and has no value; it is ignored\n"
            "focustrack: one slice per frame (-sc 1) cannot show a change through focus; no cell will be found\n");
  for (const char* table : {"_cells.csv", "_average.csv", "_events.csv", "_tracks.csv"}) {
    EXPECT_EQ(lineCount(out / table), 1u) << table;
  }
  EXPECT_FALSE(fs::exists(out / "_tracks.csv.tmp"));
}

// Runs that cannot start: status 1, one red Error line between Start and
// Finished, the reason on the error stream, and, where the output folder
// could be made, the table headers and a run.json that names the stop.
TEST(FrameLoop, RunsThatCannotStartEndWithStatusOne) {
  const fs::path folder = freshFolder("cannot_start");
  std::ofstream(folder / "file") << "x";
  const fs::path out = folder / "out";
  const struct {
    std::vector<std::string> words;
    fs::path taken;  // made a folder before the run, where a file should go
    std::string reason;
    std::string stopReason;  // empty: no output folder, no run.json
  } cases[] = {
      {{"-o", (folder / "file" / "out").string()}, {}, "cannot create output folder", ""},
      {{"-w", "0"}, {}, "-w must be at least 1", "unusable settings"},
      {{"--interval", "-5"}, {}, "--interval", "unusable settings"},
      {{"-w", "40000", "-h", "40000"}, {}, "Memory Allocation Failed.", "allocation failure"},
      {{"--dump", (folder / "file" / "maps").string()}, {}, "cannot create dump folder",
       "dump folder cannot be created"},
      // The track table is replaced through a temporary file next to it.
      {{}, out / "_tracks.csv.tmp", "_tracks.csv.tmp", ""},
  };
  const std::string errorLine = kRed + "\n" + kLayoutA + "Error" + kReset;
  for (const auto& c : cases) {
    fs::remove_all(out);
    if (!c.taken.empty()) fs::create_directories(c.taken);
    // The case's words come last, so that its -o wins.
    std::vector<std::string> words = {"-c", "1", "-o", out.string()};
    words.insert(words.end(), c.words.begin(), c.words.end());
    const RunResult r = runFocustrack(words);
    EXPECT_EQ(r.status, 1) << c.reason;
    EXPECT_EQ(withoutTimes(r.out), "\n" + kLayoutA + "Start" + errorLine + "\n" + kLayoutA + "Finished")
        << c.reason;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    if (c.stopReason.empty()) continue;
    EXPECT_EQ(lineCount(out / "_cells.csv"), 1u) << c.reason;
    const std::string json = readFile(out / "run.json");
    EXPECT_NE(json.find("\"framesCompleted\": 0,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"stopReason\": \"" + c.stopReason + "\""), std::string::npos) << json;
  }
}

// A dump, a result image or run.json that cannot be written: the first two
// are warnings that name the file and the frame, run.json is named on the
// error stream only; the run goes on with every other file and ends with
// status 1.
TEST(FrameLoop, UnwritableOutputFilesAreReportedTheRunGoesOnAndEndsWithStatusOne) {
  const fs::path folder = freshFolder("unwritable");
  writeRecording(folder, 1, 1, 3);
  const fs::path out = folder / "out";
  const fs::path maps = folder / "maps";
  for (const fs::path& taken : {out / "run.json", maps / "delta_0001.tif", out / "result_0001.bmp"}) {
    fs::create_directories(taken);  // a folder where the file should go
  }
  std::vector<std::string> words = tinyRun(folder, out, 1);
  words.insert(words.end(), {"-i", "--dump", maps.string()});
  const RunResult r = runFocustrack(words);
  EXPECT_EQ(r.status, 1);
  const std::string log = withoutTimes(r.out);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 5) << log;  // start, 2 warnings, frame, end
  EXPECT_NE(log.find(kWarningLine + kWarningLine), std::string::npos) << log;
  EXPECT_NE(log.find("Frame 1 Finished"), std::string::npos) << log;
  const std::string isFolder = std::strerror(EISDIR);
  // run.json is written at the start, after every frame and at the end.
  const std::string manifest = "focustrack: cannot write '" + (out / "run.json").string() + "': " + isFolder + "\n";
  EXPECT_EQ(r.err, manifest + "focustrack: frame 1: cannot write '" + (maps / "delta_0001.tif").string() +
                       "': cannot create file: " + isFolder + "\nfocustrack: Image Save Failed: cannot write '" +
                       (out / "result_0001.bmp").string() + "' (frame 1)\n" + manifest + manifest);
  for (const char* name : {"class", "label", "cells", "scaled", "blobs_hi", "blobs_lo", "nucleus"}) {
    EXPECT_TRUE(fs::exists(maps / (std::string(name) + "_0001.tif"))) << name;
  }
}

TEST(FrameLoop, FirstFrameZeroIsNamedWithZeros) {
  const fs::path folder = freshFolder("frame0");
  writeRecording(folder, 0, 1, 3);
  std::vector<std::string> words = tinyRun(folder, folder / "out", 1);
  words.insert(words.end(), {"-fs", "0"});
  const RunResult r = runFocustrack(words);
  EXPECT_NE(withoutTimes(r.out).find("Frame 0 Finished"), std::string::npos) << r.out << r.err;
  const std::string average = readFile(folder / "out" / "_average.csv");
  EXPECT_EQ(average.substr(average.find('\n') + 1, 6), "1, 0, ");  // ordinal 1, frame 0
}

TEST(FrameLoop, HelpAndVersionCreateNoFile) {
  const fs::path out = freshFolder("help") / "out";
  for (const char* word : {"--help", "--version"}) {
    const RunResult r = runFocustrack({"-o", out.string(), word});
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(fs::exists(out)) << word;
    EXPECT_EQ(r.out.find("Start"), std::string::npos);
  }
  EXPECT_NE(runFocustrack({"--help"}).out.find("Usage: focustrack"), std::string::npos);
  EXPECT_EQ(runFocustrack({"--version"}).out, "focustrack " FOCUSTRACK_VERSION "\n");
}

}  // namespace

}  // namespace focustrack
