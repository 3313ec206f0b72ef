#include "app/pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
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
const std::string kCellsHeader =
    "Index, Frame, Id, Has Nuclei, Cell Size, Cell Circularity, Move, Min X, Min Y, Max X, Max Y, "
    "Aspect, Nuclei Size, Nuclei Value, Nuclei / Cell, Nucleoi Size, Nucleoli / Nuclei, "
    "Vacuole Count, Vacuole Size, Vacuole Max, \n";
const std::string kAverageHeader =
    "Index, Frame, Cell Count (All), Cell Size (All), Circularity (All), Move, Cell Count (Nuclei), "
    "Cell Size (Nuclei), Circularity (Nuclei), Nuclei Size, Nuclei / Cell, Nucleoli Size, "
    "Nucleoli / Nuclei, Vacuole Count, Vacuole Size, Vacuole Max, \n";

const std::string kEventsHeader = "Index, Frame, Event, From Ids, From Sizes, To Ids, To Sizes, \n";
const std::string kTracksHeader =
    "Id, First Frame, Last Frame, Frames Present, From, To, Size at Start, Size at End, Growth Rate, "
    "Mean Move, Nucleus Frames, Touched Border, Border Frames, \n";

TEST(FrameLoop, FrameCountZeroPrintsStartAndFinishedOnly) {
  const fs::path out = freshFolder("count0") / "out";
  const RunResult r = runFocustrack({"-c", "0", "-o", out.string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(withoutTimes(r.out), "\n" + kLayoutA + "Start\n" + kLayoutA + "Finished");
  EXPECT_EQ(readFile(out / "_cells.csv"), kCellsHeader);
  EXPECT_EQ(readFile(out / "_average.csv"), kAverageHeader);
  EXPECT_EQ(readFile(out / "_events.csv"), kEventsHeader);
  EXPECT_EQ(readFile(out / "_tracks.csv"), kTracksHeader);
  EXPECT_FALSE(fs::exists(out / "_tracks.csv.tmp"));
}

// The track table is replaced through a temporary file next to it; when that
// cannot be made, the run cannot keep its tables and ends like any table
// that cannot be created.
TEST(FrameLoop, TrackTableThatCannotBeReplacedEndsTheRunWithStatusOne) {
  const fs::path out = freshFolder("tracks-blocked") / "out";
  fs::create_directories(out / "_tracks.csv.tmp");
  const RunResult r = runFocustrack({"-c", "1", "-o", out.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("_tracks.csv.tmp"), std::string::npos) << r.err;
  EXPECT_EQ(readFile(out / "_cells.csv"), kCellsHeader);
}

TEST(FrameLoop, MissingSlicesStopTheRunButKeepEarlierFrames) {
  const fs::path folder = freshFolder("missing");
  writeRecording(folder, 1, 2, 3, {1, 3});
  const RunResult r = runFocustrack(tinyRun(folder, folder / "out", 3));
  EXPECT_EQ(r.status, 2);  // frame 2 is there but broken
  const std::string log = withoutTimes(r.out);
  EXPECT_EQ(log.find("Frame 2 Finished"), std::string::npos);
  EXPECT_EQ(log.find("Frame 3 Finished"), std::string::npos);
  const std::string errorLine = kRed + "\n" + kLayoutA + "Error" + kReset;
  const size_t frame1 = log.find("Frame 1 Finished");
  ASSERT_NE(frame1, std::string::npos) << log;
  const std::string tail = log.substr(frame1 + std::string("Frame 1 Finished").size());
  EXPECT_EQ(tail, errorLine + errorLine + "\n" + kLayoutA + "Finished");
  // The reasons name the missing files.
  EXPECT_NE(r.err.find("t0002_z001.tif"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("t0002_z003.tif"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("t0002_z002.tif"), std::string::npos) << r.err;
  // Frame 1 has its summary row; frame 2 has none.
  const std::string average = readFile(folder / "out" / "_average.csv");
  EXPECT_EQ(average.substr(0, kAverageHeader.size()), kAverageHeader);
  EXPECT_EQ(average.substr(kAverageHeader.size(), 6), "1, 1, ");
  EXPECT_EQ(std::count(average.begin(), average.end(), '\n'), 2);
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
  const std::string warning = "\x1b[33m\n" + kLayoutA + "Warning" + kReset;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 5) << log;  // start, 2 warnings, frame, end
  EXPECT_NE(log.find(warning + warning), std::string::npos) << log;
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
  EXPECT_EQ(average.substr(kAverageHeader.size(), 6), "1, 0, ");  // ordinal 1, frame 0
}

TEST(FrameLoop, TableThatCannotBeCreatedEndsTheRunWithStatusOne) {
  const fs::path folder = freshFolder("blocked");
  std::ofstream(folder / "file") << "x";
  const RunResult r = runFocustrack({"-c", "1", "-o", (folder / "file" / "out").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(withoutTimes(r.out), "\n" + kLayoutA + "Start" + kRed + "\n" + kLayoutA + "Error" + kReset +
                                     "\n" + kLayoutA + "Finished");
  EXPECT_NE(r.err.find("cannot create output folder"), std::string::npos) << r.err;
}

TEST(FrameLoop, UnusableSizesAreRejectedLikeAFailedAllocation) {
  const fs::path out = freshFolder("sizes") / "out";
  const RunResult r = runFocustrack({"-w", "0", "-o", out.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(withoutTimes(r.out), "\n" + kLayoutA + "Start" + kRed + "\n" + kLayoutA + "Error" + kReset +
                                     "\n" + kLayoutA + "Finished");
  EXPECT_NE(r.err.find("-w must be at least 1"), std::string::npos) << r.err;
  EXPECT_EQ(readFile(out / "_cells.csv"), kCellsHeader);
  const RunResult huge = runFocustrack({"-w", "40000", "-h", "40000", "-o", out.string()});
  EXPECT_EQ(huge.status, 1);
  EXPECT_NE(huge.err.find("Memory Allocation Failed."), std::string::npos) << huge.err;
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

TEST(FrameLoop, UnknownOptionsAreNotedOnTheErrorStream) {
  const fs::path out = freshFolder("unknown") / "out";
  const RunResult r = runFocustrack({"-c", "0", "-x", "-o", out.string()});
  EXPECT_EQ(r.err, "focustrack: ignoring unknown option '-x'\n");
}

}  // namespace

}  // namespace focustrack
