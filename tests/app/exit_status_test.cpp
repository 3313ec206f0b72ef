// What a run reports, case by case: the exit status, the console, the
// reason on standard error, the files it leaves and run.json.
#include "app/manifest.h"
#include "app/pipeline.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/folder_lock.h"
#include "io/slice_path.h"
#include "io/tiff_writer.h"
#include "support/image_files.h"
#include "support/recording.h"
#include "support/run_capture.h"
#include "synth/synth.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

const std::string kLayoutA = "<t> ms |            |            | ";
const std::string kRedError = "\x1b[31m\n" + kLayoutA + "Error\x1b[39m";
const std::string kWarningLine = "\x1b[33m\n" + kLayoutA + "Warning\x1b[39m";

std::string slice(const fs::path& folder, int32_t frame, int32_t z) {
  return slicePath((folder / "t%0_z%1.tif").string(), frame, 4, z, 3);
}

// The console of a run from Start to Finished with `between` in between.
std::string console(const std::string& between) {
  return "\n" + kLayoutA + "Start" + between + "\n" + kLayoutA + "Finished";
}

void overwrite(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// run.json in `out`: the frames the run completed, why it stopped and, when
// given, the text of the stop's detail.
void expectStop(const fs::path& out, int32_t frames, const std::string& reason, const std::string& detail = "") {
  const std::string json = readFile(out / "run.json");
  EXPECT_TRUE(has(json, "\"framesCompleted\": " + std::to_string(frames) + ",")) << json;
  EXPECT_TRUE(has(json, "\"stopReason\": \"" + reason + "\"")) << json;
  EXPECT_TRUE(has(json, detail)) << json;
}

using Bytes = std::vector<uint8_t>;

// Five 24 x 20 pages of 8-bit values with `description` on the first.
void writeStack(const fs::path& path, const std::string& description, int32_t pages = 5) {
  std::vector<Bytes> contents;
  for (int32_t k = 0; k < pages; ++k) contents.push_back(Bytes(24 * 20, static_cast<uint8_t>(40 + 10 * k)));
  ASSERT_TRUE(test_images::writeTiffPages(path.string(), {{.width = 24, .height = 20, .description = description},
                                                          {.width = 24, .height = 20}},
                                          contents));
}

// A run that cannot start: status 1, one red Error line between Start and
// Finished, the reason on stderr.
void expectStartError(const std::vector<std::string>& words, const std::string& reason) {
  const RunResult r = runFocustrack(words);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(withoutTimes(r.out), console(kRedError)) << reason;
  EXPECT_TRUE(has(r.err, reason)) << r.err << "\nexpected: " << reason;
}

// A recording that ends before the last requested frame is done (status 0,
// a red Error line per missing slice); one without any slice of the first
// frame is a mistyped pattern or first frame, and fails the run. A first
// frame 0 is named with zeros.
TEST(ExitStatus, RecordingThatEndsBeforeTheLastRequestedFrameIsDone) {
  const fs::path folder = freshFolder("exit_end");
  writeRecording(folder, 0, 3, 3);
  const RunResult r = runFocustrack(tinyRun(folder, folder / "out", 5, {"-fs", "0"}));
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string log = withoutTimes(r.out);
  EXPECT_TRUE(has(log, "Frame 0 Finished")) << log;
  EXPECT_TRUE(has(log, "Frame 2 Finished" + kRedError + kRedError + kRedError + "\n" + kLayoutA + "Finished")) << log;
  const std::string average = readFile(folder / "out" / "_average.csv");
  EXPECT_EQ(average.substr(average.find('\n') + 1, 6), "1, 0, ");  // ordinal 1, frame 0
  expectStop(folder / "out", 3, "end of recording", "t0003_z001.tif: file not found\"");
  EXPECT_EQ(runFocustrack(tinyRun(folder, folder / "none", 2, {"-fs", "3"})).status, 1);
  expectStop(folder / "none", 0, "no recording", "t0003_z001.tif: file not found\"");
}

// The stop reason follows the first slice of the frame that failed.
// A stack file that is there but cannot be read is a broken frame, not the
// end of the recording.
TEST(ExitStatus, CorruptStackFileOfALaterFrameIsABrokenFrame) {
  const fs::path folder = freshFolder("exit_corrupt_stack");
  SynthOptions options = synthOptions(folder / "t%0.tif", 80, 60, 3, 2, 1);
  options.format = SynthFormat::FrameTiff;
  generated(options);
  overwrite((folder / "t0002.tif").string(), "GIF89a");
  const RunResult r = runFocustrack({"-p", options.pathPattern, "-c", "2", "-o", (folder / "out").string()});
  EXPECT_EQ(r.status, 2) << r.err;
  expectStop(folder / "out", 1, "unreadable slice");
}

TEST(ExitStatus, FirstFailingSliceNamesTheCause) {
  struct Case {
    int32_t corrupt;
    int32_t missing;
    const char* reason;
    const char* detail;
  };
  const Case cases[] = {{1, 3, "unreadable slice", "t0002_z001.tif: not a TIFF, PNG, BMP or JPEG image\""},
                        {2, 1, "missing slice", "t0002_z001.tif: file not found"}};
  for (const Case& c : cases) {
    const fs::path folder = freshFolder("exit_first_" + std::to_string(c.corrupt));
    writeRecording(folder, 1, 2, 3, {c.missing});
    overwrite(slice(folder, 2, c.corrupt), "GIF89a");
    const RunResult r = runFocustrack(tinyRun(folder, folder / "out", 2));
    EXPECT_EQ(r.status, 2) << c.reason;
    expectStop(folder / "out", 1, c.reason, c.detail);
  }
}

// Not-a-number and infinity are refused; run.json stays JSON and holds the
// default threshold.
TEST(ExitStatus, MalformedOptionsRefuseToStartWithValidManifest) {
  const fs::path out = freshFolder("exit_nan") / "out";
  const RunResult r = runFocustrack({"-th", "nan", "-w", "12abc", "-c", "1", "-o", out.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(withoutTimes(r.out), console(kRedError + kRedError));
  EXPECT_TRUE(has(r.err, "option -w expects a whole number, got '12abc'")) << r.err;
  const std::string json = readFile(out / "run.json");
  EXPECT_TRUE(nlohmann::json::accept(json)) << json;
  EXPECT_TRUE(has(json, "\"nucleusThreshold\": 0.59999999999999998,")) << json;
}

// A result image that cannot be written is a warning (its lines are pinned
// by FrameLoop.UnwritableOutputFilesAreReportedTheRunGoesOnAndEndsWithStatusOne);
// the frames go on, and one such failure is enough for status 1.
TEST(ExitStatus, ImageThatCannotBeWrittenFailsTheRun) {
  const fs::path folder = freshFolder("exit_image");
  writeRecording(folder, 1, 2, 3);
  fs::create_directories(folder / "out" / "result_0001.bmp");  // a folder where the image would go
  EXPECT_EQ(runFocustrack(tinyRun(folder, folder / "out", 2, {"-i"})).status, 1);
  EXPECT_TRUE(fs::exists(folder / "out" / "result_0002.bmp"));
  expectStop(folder / "out", 2, "end of frames", "\"writeFailures\": 1,\n  \"firstWriteFailure\": \"Image Save Failed");
}

// A second run into a folder in use touches none of its files.
TEST(ExitStatus, SecondRunIntoALockedFolderIsRefused) {
  const fs::path folder = freshFolder("exit_locked");
  writeRecording(folder, 1, 1, 3);
  const fs::path out = folder / "out";
  fs::create_directories(out);
  overwrite((out / "_cells.csv").string(), "rows of the first run\n");
  overwrite((out / "run.json").string(), "{}\n");
  FolderLock first;
  std::string why;
  ASSERT_TRUE(first.acquire(out.string(), &why)) << why;
  expectStartError(tinyRun(folder, out, 1), "is in use by another focustrack run");
  EXPECT_EQ(readFile(out / "_cells.csv"), "rows of the first run\n");
  EXPECT_EQ(readFile(out / "run.json"), "{}\n");
}

// No frame, and words that are not options: the console has Start, a
// yellow Warning line for each warning (an unknown option is noted on the
// error stream only) and Finished; every table has its header line alone
// (the headers themselves are pinned by the reference runs).
TEST(FrameLoop, FrameCountZeroPrintsStartWarningsAndFinishedOnly) {
  const fs::path out = freshFolder("count0") / "out";
  const RunResult r = runFocustrack({"-c", "0", "stray", "-x", "-o", out.string(), "-sc", "1", "-b"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(withoutTimes(r.out), console(kWarningLine + kWarningLine + kWarningLine));
  EXPECT_EQ(r.err,
            "focustrack: ignoring unknown option '-x'\n"
            "focustrack: ignoring the word 'stray': it is neither an option nor the value of one\n"
            "focustrack: option -b is the last word and has no value; it is ignored\n"
            "focustrack: one slice per frame (-sc 1) cannot show a change through focus; no cell will be found\n");
  for (const char* table : {"_cells.csv", "_average.csv", "_events.csv", "_tracks.csv"}) {
    EXPECT_EQ(countOf(readFile(out / table), "\n"), 1u) << table;
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
  for (const auto& c : cases) {
    fs::remove_all(out);
    if (!c.taken.empty()) fs::create_directories(c.taken);
    // The case's words come last, so that its -o wins.
    std::vector<std::string> words = {"-c", "1", "-o", out.string()};
    words.insert(words.end(), c.words.begin(), c.words.end());
    expectStartError(words, c.reason);
    if (c.stopReason.empty()) continue;
    EXPECT_EQ(countOf(readFile(out / "_cells.csv"), "\n"), 1u) << c.reason;
    expectStop(out, 0, c.stopReason);
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
  const RunResult r = runFocustrack(tinyRun(folder, out, 1, {"-i", "--dump", maps.string()}));
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

TEST(FrameLoop, HelpAndVersionCreateNoFile) {
  const fs::path out = freshFolder("help") / "out";
  const RunResult help = runFocustrack({"-o", out.string(), "--help"});
  EXPECT_TRUE(help.out.starts_with("Usage: focustrack") && !has(help.out, "Start")) << help.out;
  const RunResult version = runFocustrack({"-o", out.string(), "--version"});
  EXPECT_EQ(version.out, "focustrack " FOCUSTRACK_VERSION "\n");
  EXPECT_TRUE(help.status == 0 && version.status == 0);
  EXPECT_FALSE(fs::exists(out));
}

// A complete run: the version, the words, the result images choice and the
// end time; units and picture choices only where they were given.
TEST(Manifest, CompleteRunsWithAndWithoutUnits) {
  const fs::path folder = freshFolder("manifest_units");
  writeRecording(folder, 1, 2, 3);
  ASSERT_EQ(runFocustrack(tinyRun(folder, folder / "plain", 2)).status, 0);
  const std::string plain = readFile(folder / "plain" / "run.json");
  EXPECT_TRUE(has(plain, "\"version\": \"" FOCUSTRACK_VERSION "\"")) << plain;
  EXPECT_TRUE(has(plain, "\"commandLine\": [\"focustrack\", \"-w\", \"24\", \"-h\", \"20\"")) << plain;
  EXPECT_TRUE(has(plain, "\"writeResultImages\": false")) << plain;
  EXPECT_FALSE(has(plain, "\"endTime\": null")) << plain;
  for (const char* unit : {"pixelSize", "frameInterval", "imageZoom"}) EXPECT_FALSE(has(plain, unit)) << plain;
  const std::vector<std::string> given = {"--pixel-size", "0.2", "--interval", "15", "-i", "--image-zoom", "2",
                                          "--image-format", "png", "--mask-stack"};
  ASSERT_EQ(runFocustrack(tinyRun(folder, folder / "given", 1, given)).status, 0);
  const std::string json = readFile(folder / "given" / "run.json");
  EXPECT_TRUE(has(json, "\"frameInterval\": {\"minutes\": 15, \"source\": \"option\"},")) << json;
  EXPECT_TRUE(has(json, "\"writeResultImages\": true")) << json;
  EXPECT_TRUE(has(json, "\"writeMaskStack\": true,\n    \"imageZoom\": 2,\n    \"imageFormat\": \"png\"\n  }")) << json;
}

// Strings are escaped; numbers that JSON cannot hold are strings.
TEST(Manifest, JsonStringsAndNumbers) {
  EXPECT_EQ(jsonString("a\"b\\c\nd\x01"), "\"a\\\"b\\\\c\\nd\\u0001\"");
  const double zero = 0.0;
  EXPECT_EQ(jsonNumber(0.6), "0.59999999999999998");
  EXPECT_EQ(jsonNumber(-2.5), "-2.5");
  EXPECT_EQ(jsonNumber(zero / zero), "\"nan\"");
  EXPECT_EQ(jsonNumber(1.0 / zero), "\"inf\"");
  EXPECT_EQ(jsonNumber(-1.0 / zero), "\"-inf\"");
}

// Start-up and frame errors of the input: options that do not fit the file,
// files that do not hold what they say. Each names the file.
TEST(StackInput, FilesThatDisagreeWithThemselvesOrTheOptionsStopTheStart) {
  const fs::path folder = freshFolder("stack_input_start");
  const std::string out = (folder / "out").string();
  const fs::path hyper = folder / "hyper.tif";
  writeStack(hyper, "ImageJ=1.53t\nimages=6\nslices=6\nhyperstack=true\n");
  expectStartError({"-p", hyper.string(), "-o", out},
                   "cannot read '" + hyper.string() + "': ImageDescription says images=6 but the file has 5 pages");

  const fs::path plain = folder / "plain.tif";
  writeStack(plain, "ImageJ=1.53t\nimages=5\nslices=5\n");
  expectStartError({"-p", plain.string(), "-o", out, "-w", "30"},
                   "option -w 30 disagrees with '" + plain.string() + "', which has 24 pixels per row");
  expectStartError({"-p", plain.string(), "-o", out, "-sc", "4"},
                   "option -sc 4 disagrees with '" + plain.string() + "', which has 5 slices per frame");
  expectStartError({"-p", plain.string(), "-o", out, "-c", "2"},
                   "option -c 2 runs past the last frame of '" + plain.string() + "', which holds frames 1 to 1");
  // A frame's file that holds several frames.
  const fs::path frames = folder / "t0001.tif";
  writeStack(frames, "ImageJ=1.53t\nimages=4\nslices=2\nframes=2\nhyperstack=true\n", 4);
  expectStartError({"-p", (folder / "t%0.tif").string(), "-o", out},
                   "cannot read '" + frames.string() +
                       "': it holds 2 frames; a file holding a whole recording is named without %0");
  expectStartError({"-p", plain.string(), "-o", out, "--scale", "0"}, "option --scale must be a positive number");
  expectStartError({"-p", plain.string(), "-o", out, "--channel", "0"},
                   "option --channel must be a channel number from 1");
  expectStartError({"-p", (folder / "t%0_z%1.tif").string(), "-o", out, "--channel", "2"},
                   "option --channel picks a channel of a stack file, but the pattern names one file per slice");
  expectStartError({"-p", plain.string(), "-o", out, "--scale", "50000"}, "too large to resample");
}

TEST(StackInput, BrokenPagesAndMixedDepthsStopTheFrameNamingTheFile) {
  const fs::path folder = freshFolder("stack_input_frames");
  // The last page's pixels are cut short, its directory is whole.
  std::vector<Bytes> pages;
  for (int k = 0; k < 3; ++k) pages.push_back(Bytes(24 * 20, static_cast<uint8_t>(50 + 30 * k)));
  Bytes bytes = test_images::directoryFirstTiff(24, 20, pages, "ImageJ=1.53t\nimages=3\nslices=3\n");
  bytes.resize(bytes.size() - 100);
  const fs::path cut = folder / "cut.tif";
  ASSERT_TRUE(writeBytes(cut.string(), bytes));
  RunResult r = runFocustrack({"-p", cut.string(), "-o", (folder / "out_cut").string()});
  EXPECT_TRUE(has(r.err, "cannot read slice 3 of frame 1 from '" + cut.string() + "': page 3: TIFF decoding failed: "))
      << r.err;
  const std::string cells = readFile(folder / "out_cut" / "_cells.csv");
  EXPECT_EQ(cells.find('\n'), cells.size() - 1) << cells;  // the header alone

  // Slice 2 of frame 1 is 16-bit, the others 8-bit.
  writeRecording(folder, 1, 1, 3);
  std::vector<uint16_t> deep(24 * 20, 30000);
  std::string why;
  const std::string second = slice(folder, 1, 2);
  ASSERT_TRUE(writeTiff(second, 24, 20, TiffSample::UInt16, deep.data(), &why)) << why;
  r = runFocustrack(tinyRun(folder, folder / "out_mixed", 1));
  const std::string depths = "' of frame 1: it is 16-bit, the frame's earlier slices are 8-bit";
  EXPECT_TRUE(has(r.err, "cannot read slice '" + second + depths)) << r.err;
  EXPECT_FALSE(has(r.out, "Frame 1 Finished")) << r.out;
}

TEST(StackInput, MissingStackFileIsToldByTheFrameThatNeedsIt) {
  const fs::path folder = freshFolder("stack_input_missing");
  const fs::path none = folder / "none.ome.tif";
  const RunResult r = runFocustrack({"-p", none.string(), "-o", (folder / "out").string(), "-w", "24", "-h", "20",
                                     "-sc", "3", "-c", "1"});
  EXPECT_TRUE(has(r.err, "cannot read slice 1 of frame 1 from '" + none.string() + "': file not found")) << r.err;
  // One line for the file, not one per slice.
  EXPECT_EQ(r.err.find("cannot read"), r.err.rfind("cannot read")) << r.err;
}

}  // namespace

}  // namespace focustrack
