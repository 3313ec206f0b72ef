#include "app/manifest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/recording.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Manifest, CompleteRun) {
  const fs::path folder = freshFolder("manifest_complete");
  writeRecording(folder, 1, 2, 3);
  std::vector<std::string> words = tinyRun(folder, folder / "out", 2);
  words.push_back("-i");
  const RunResult r = runFocustrack(words);
  ASSERT_EQ(r.status, 0);
  const std::string json = readFile(folder / "out" / "run.json");
  EXPECT_TRUE(has(json, "\"version\": \"" FOCUSTRACK_VERSION "\"")) << json;
  EXPECT_TRUE(has(json, "\"commandLine\": [\"focustrack\", \"-w\", \"24\", \"-h\", \"20\"")) << json;
  EXPECT_TRUE(has(json, "\"width\": 24,")) << json;
  EXPECT_TRUE(has(json, "\"sliceCount\": 3,")) << json;
  EXPECT_TRUE(has(json, "\"writeResultImages\": true")) << json;
  EXPECT_TRUE(has(json, "\"framesCompleted\": 2,")) << json;
  EXPECT_TRUE(has(json, "\"stopReason\": \"end of frames\"")) << json;
  EXPECT_FALSE(has(json, "\"endTime\": null")) << json;
}

TEST(Manifest, RunStoppedByAMissingSlice) {
  const fs::path folder = freshFolder("manifest_stopped");
  writeRecording(folder, 1, 3, 3, {2});
  const RunResult r = runFocustrack(tinyRun(folder, folder / "out", 5));
  ASSERT_EQ(r.status, 2);
  const std::string json = readFile(folder / "out" / "run.json");
  EXPECT_TRUE(has(json, "\"framesCompleted\": 2,")) << json;
  EXPECT_TRUE(has(json, "\"stopReason\": \"missing slice\"")) << json;
  EXPECT_TRUE(has(json, "t0003_z002.tif: file not found\"")) << json;
}

TEST(Manifest, RunStoppedByAllocation) {
  const fs::path out = freshFolder("manifest_alloc") / "out";
  runFocustrack({"-w", "40000", "-h", "40000", "-o", out.string()});
  const std::string json = readFile(out / "run.json");
  EXPECT_TRUE(has(json, "\"framesCompleted\": 0,")) << json;
  EXPECT_TRUE(has(json, "\"stopReason\": \"allocation failure\"")) << json;
}

TEST(Manifest, JsonStringsAreEscaped) {
  EXPECT_EQ(jsonString("a\"b\\c\nd\x01"), "\"a\\\"b\\\\c\\nd\\u0001\"");
}

TEST(Manifest, NumbersThatJsonCannotHoldAreStrings) {
  const double zero = 0.0;
  EXPECT_EQ(jsonNumber(0.6), "0.59999999999999998");
  EXPECT_EQ(jsonNumber(-2.5), "-2.5");
  EXPECT_EQ(jsonNumber(zero / zero), "\"nan\"");
  EXPECT_EQ(jsonNumber(1.0 / zero), "\"inf\"");
  EXPECT_EQ(jsonNumber(-1.0 / zero), "\"-inf\"");
}

// The first stop of a run is the one it keeps.
TEST(Manifest, FirstStopIsKept) {
  RunRecord record;
  record.stopReason = "running";
  recordStop(record, "missing slice", "a.tif: file not found", kExitBrokenFrame);
  recordStop(record, "end of frames", "", kExitDone);
  EXPECT_EQ(record.stopReason, "missing slice");
  EXPECT_EQ(record.stopDetail, "a.tif: file not found");
  EXPECT_EQ(record.exitStatus, kExitBrokenFrame);
}

}  // namespace

}  // namespace focustrack
