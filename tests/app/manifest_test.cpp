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

// Frame 3 lacks slices 1 and 3: frames 1 and 2 are kept, both missing files
// are named on the error stream with a red Error line each, and run.json
// names the first of them.
TEST(Manifest, RunStoppedByAMissingSlice) {
  const fs::path folder = freshFolder("manifest_stopped");
  writeRecording(folder, 1, 3, 3, {1, 3});
  const RunResult r = runFocustrack(tinyRun(folder, folder / "out", 5));
  ASSERT_EQ(r.status, 2);
  const std::string log = withoutTimes(r.out);
  const std::string layout = "<t> ms |            |            | ";
  const std::string errorLine = "\x1b[31m\n" + layout + "Error\x1b[39m";
  EXPECT_TRUE(log.ends_with("Frame 2 Finished" + errorLine + errorLine + "\n" + layout + "Finished")) << log;
  EXPECT_TRUE(has(r.err, "t0003_z001.tif")) << r.err;
  EXPECT_TRUE(has(r.err, "t0003_z003.tif")) << r.err;
  EXPECT_FALSE(has(r.err, "t0003_z002.tif")) << r.err;
  const std::string json = readFile(folder / "out" / "run.json");
  EXPECT_TRUE(has(json, "\"framesCompleted\": 2,")) << json;
  EXPECT_TRUE(has(json, "\"stopReason\": \"missing slice\"")) << json;
  // Of two missing slices the first is named.
  EXPECT_TRUE(has(json, "t0003_z001.tif: file not found\"")) << json;
  EXPECT_FALSE(has(json, "z003")) << json;
}

// A complete run: the version, the words, the settings and the stop; units
// and picture choices only where they were given.
TEST(Manifest, CompleteRunsWithAndWithoutUnits) {
  const fs::path folder = freshFolder("manifest_units");
  writeRecording(folder, 1, 2, 3);
  ASSERT_EQ(runFocustrack(tinyRun(folder, folder / "plain", 2)).status, 0);
  const std::string plain = readFile(folder / "plain" / "run.json");
  EXPECT_TRUE(has(plain, "\"version\": \"" FOCUSTRACK_VERSION "\"")) << plain;
  EXPECT_TRUE(has(plain, "\"commandLine\": [\"focustrack\", \"-w\", \"24\", \"-h\", \"20\"")) << plain;
  EXPECT_TRUE(has(plain, "\"width\": 24,")) << plain;
  EXPECT_TRUE(has(plain, "\"sliceCount\": 3,")) << plain;
  EXPECT_TRUE(has(plain, "\"writeResultImages\": false")) << plain;
  EXPECT_TRUE(has(plain, "\"framesCompleted\": 2,")) << plain;
  EXPECT_TRUE(has(plain, "\"stopReason\": \"end of frames\"")) << plain;
  EXPECT_FALSE(has(plain, "\"endTime\": null")) << plain;
  for (const char* unit : {"pixelSize", "frameInterval", "imageZoom"}) EXPECT_FALSE(has(plain, unit)) << plain;
  std::vector<std::string> words = tinyRun(folder, folder / "given", 1);
  words.insert(words.end(), {"--pixel-size", "0.2", "--interval", "15", "-i", "--image-zoom", "2",
                             "--image-format", "png", "--mask-stack"});
  ASSERT_EQ(runFocustrack(words).status, 0);
  const std::string given = readFile(folder / "given" / "run.json");
  EXPECT_TRUE(has(given, "\"pixelSize\": {\"microns\": 0.20000000000000001, \"source\": \"option\"},")) << given;
  EXPECT_TRUE(has(given, "\"frameInterval\": {\"minutes\": 15, \"source\": \"option\"},")) << given;
  EXPECT_TRUE(has(given, "\"writeResultImages\": true")) << given;
  EXPECT_TRUE(has(given, "\"writeMaskStack\": true,\n    \"imageZoom\": 2,\n    \"imageFormat\": \"png\"\n  }"))
      << given;
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

}  // namespace

}  // namespace focustrack
