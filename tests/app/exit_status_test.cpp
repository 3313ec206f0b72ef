// What a run reports when it does not simply complete: the exit status, the
// console, the reason on standard error and run.json, case by case.
#include "app/pipeline.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/folder_lock.h"
#include "io/slice_path.h"
#include "support/json_check.h"
#include "support/recording.h"
#include "support/run_capture.h"
#include "synth/synth.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

const std::string kLayoutA = "<t> ms |            |            | ";
const std::string kRedError = "\x1b[31m\n" + kLayoutA + "Error\x1b[39m";

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string slice(const fs::path& folder, int32_t frame, int32_t z) {
  return slicePath((folder / "t%0_z%1.tif").string(), frame, 4, z, 3);
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

// A recording that ends before the last requested frame is done (status 0,
// a red Error line per missing slice); one without any slice of the first
// frame is a mistyped pattern or first frame, and fails the run.
TEST(ExitStatus, RecordingThatEndsBeforeTheLastRequestedFrameIsDone) {
  const fs::path folder = freshFolder("exit_end");
  writeRecording(folder, 1, 2, 3);
  const RunResult r = runFocustrack(tinyRun(folder, folder / "out", 5));
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string log = withoutTimes(r.out);
  EXPECT_TRUE(has(log, "Frame 2 Finished" + kRedError + kRedError + kRedError + "\n" + kLayoutA + "Finished")) << log;
  expectStop(folder / "out", 2, "end of recording", "t0003_z001.tif: file not found\"");
  std::vector<std::string> words = tinyRun(folder, folder / "none", 2);
  words.insert(words.end(), {"-fs", "3"});
  EXPECT_EQ(runFocustrack(words).status, 1);
  expectStop(folder / "none", 0, "no recording", "t0003_z001.tif: file not found\"");
}

// The stop reason follows the first slice of the frame that failed.
// A stack file that is there but cannot be read is a broken frame, not the
// end of the recording.
TEST(ExitStatus, CorruptStackFileOfALaterFrameIsABrokenFrame) {
  const fs::path folder = freshFolder("exit_corrupt_stack");
  SynthOptions options;
  options.width = 80;
  options.height = 60;
  options.sliceCount = 3;
  options.frameCount = 2;
  options.format = SynthFormat::FrameTiff;
  options.pathPattern = (folder / "t%0.tif").string();
  std::string why;
  ASSERT_TRUE(generateRecording(options, &why)) << why;
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

// Not-a-number and infinity are refused, and run.json stays JSON.
TEST(ExitStatus, MalformedOptionsRefuseToStartWithValidManifest) {
  const fs::path out = freshFolder("exit_nan") / "out";
  const RunResult r = runFocustrack({"-th", "nan", "-w", "12abc", "-c", "1", "-o", out.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(withoutTimes(r.out), "\n" + kLayoutA + "Start" + kRedError + kRedError + "\n" + kLayoutA + "Finished");
  EXPECT_TRUE(has(r.err, "option -w expects a whole number, got '12abc'")) << r.err;
  const std::string json = readFile(out / "run.json");
  EXPECT_TRUE(isJson(json)) << json;
  EXPECT_TRUE(has(json, "\"stopReason\": \"unusable settings\"")) << json;
  EXPECT_TRUE(has(json, "\"nucleusThreshold\": 0.59999999999999998,")) << json;
  EXPECT_TRUE(has(json, "\"commandLine\": [\"focustrack\", \"-th\", \"nan\"")) << json;
}

// A result image that cannot be written is a warning (its lines are pinned
// by FrameLoop.UnwritableOutputFilesAreReportedTheRunGoesOnAndEndsWithStatusOne);
// the frames go on, and one such failure is enough for status 1.
TEST(ExitStatus, ImageThatCannotBeWrittenFailsTheRun) {
  const fs::path folder = freshFolder("exit_image");
  writeRecording(folder, 1, 2, 3);
  fs::create_directories(folder / "out" / "result_0001.bmp");  // a folder where the image would go
  std::vector<std::string> words = tinyRun(folder, folder / "out", 2);
  words.push_back("-i");
  EXPECT_EQ(runFocustrack(words).status, 1);
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
  {
    FolderLock first;
    std::string why;
    ASSERT_TRUE(first.acquire(out.string(), &why)) << why;
    const RunResult r = runFocustrack(tinyRun(folder, out, 1));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(withoutTimes(r.out), "\n" + kLayoutA + "Start" + kRedError + "\n" + kLayoutA + "Finished");
    EXPECT_TRUE(has(r.err, "is in use by another focustrack run")) << r.err;
    EXPECT_EQ(readFile(out / "_cells.csv"), "rows of the first run\n");
    EXPECT_EQ(readFile(out / "run.json"), "{}\n");
  }
  const RunResult later = runFocustrack(tinyRun(folder, out, 1));
  EXPECT_EQ(later.status, 0) << later.err;
  EXPECT_FALSE(fs::exists(FolderLock::lockPath(out.string())));
}

}  // namespace

}  // namespace focustrack
