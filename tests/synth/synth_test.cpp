#include "synth/synth.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/label_image.h"
#include "support/run_capture.h"

namespace focustrack {

namespace fs = std::filesystem;

namespace {

// Reads a single-page grey TIFF of `bits` bits per sample into `pixels`.
bool readGrey(const fs::path& path, int bits, int32_t width, int32_t height, std::vector<uint32_t>* pixels) {
  LabelImage image = readLabelImage(path.string());
  *pixels = std::move(image.samples);
  return image.bits == bits && image.width == static_cast<uint32_t>(width) &&
         image.height == static_cast<uint32_t>(height) && pixels->size() == static_cast<size_t>(width) * height;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct TruthRow {
  int frame, track, parent;
  double cx, cy;
  long area;
  int nucleus, vacuoles;
};

std::vector<TruthRow> readTable(const fs::path& path) {
  std::vector<TruthRow> rows;
  const std::vector<std::string> lines = splitLines(readFile(path));
  for (size_t k = 1; k < lines.size(); ++k) {
    TruthRow r{};
    char tail = 0;
    const int got = std::sscanf(lines[k].c_str(), "%d,%d,%d,%lf,%lf,%ld,%d,%d%c", &r.frame, &r.track, &r.parent,
                                &r.cx, &r.cy, &r.area, &r.nucleus, &r.vacuoles, &tail);
    EXPECT_EQ(got, 8) << "row " << k << ": " << lines[k];
    rows.push_back(r);
  }
  return rows;
}

std::set<std::string> filesUnder(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), folder).generic_string());
  }
  return names;
}

SynthOptions smallRecording(const fs::path& folder) {
  return {.width = 160, .height = 120, .sliceCount = 4, .frameCount = 2,
          .pathPattern = (folder / "t%0_z%1.tif").string(), .truthFolder = {}};
}

int runSynth(const std::string& arguments) {
  const std::string command = std::string(FOCUSTRACK_SYNTH_BIN) + " " + arguments + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// Slice and truth file names follow the naming options, and a frame may
// have a folder of its own; a truth folder of its own is used by the trap
// runs of tests/e2e.
TEST(SynthRecording, NamingOptionsAndFrameFolders) {
  const fs::path folder = freshFolder("synth_naming");
  const SynthOptions o{.width = 160, .height = 120, .sliceCount = 2, .frameCount = 2,
                       .pathPattern = (folder / "run" / "%0" / "img-%1.tif").string(), .firstFrame = 7,
                       .frameDigits = 2, .firstSlice = 0, .sliceDigits = 1, .truthFolder = {}};
  std::string error;
  ASSERT_TRUE(generateRecording(o, &error)) << error;
  EXPECT_EQ(filesUnder(folder), (std::set<std::string>{"run/07/img-0.tif", "run/07/img-1.tif", "run/08/img-0.tif",
                                                       "run/08/img-1.tif", "run/truth_07.tif", "run/truth_08.tif",
                                                       "run/truth.csv"}));
  for (const TruthRow& r : readTable(truthTablePath(o))) EXPECT_TRUE(r.frame == 7 || r.frame == 8) << r.frame;
}

// The truth table agrees with the label images: one row per label and
// frame, in rising track order, with the label's area and centre; parents
// are tracks of the run. The pictures themselves are pinned by the analysed
// outputs of SyntheticRun.MatchesReference.
TEST(SynthRecording, TruthTableMatchesTheLabelImages) {
  const fs::path folder = freshFolder("synth_truth");
  std::string error;
  const SynthOptions o{.width = 480, .height = 360, .sliceCount = 2, .frameCount = 4,
                       .pathPattern = (folder / "t%0_z%1.tif").string(), .firstFrame = 4, .truthFolder = {}};
  ASSERT_TRUE(generateRecording(o, &error)) << error;
  ASSERT_EQ(splitLines(readFile(folder / "truth.csv")).at(0),
            "frame,track_id,parent_id,centre_x,centre_y,area,has_nucleus,vacuole_count");
  const std::vector<TruthRow> rows = readTable(folder / "truth.csv");
  const int32_t w = o.width;
  int nuclei = 0, vacuoles = 0;
  std::set<int> everSeen;
  for (int32_t frame = o.firstFrame; frame < o.firstFrame + o.frameCount; ++frame) {
    std::vector<uint32_t> labels;
    ASSERT_TRUE(readGrey(truthImagePath(o, frame), 16, w, o.height, &labels));
    std::map<int, long> area;
    std::map<int, double> sumX, sumY;
    for (size_t i = 0; i < labels.size(); ++i) {
      if (labels[i] == 0) continue;
      ++area[labels[i]];
      sumX[labels[i]] += i % w;
      sumY[labels[i]] += i / w;
    }
    std::vector<int> tracks;
    for (const TruthRow& r : rows) {
      if (r.frame != frame) continue;
      SCOPED_TRACE("frame " + std::to_string(frame) + " track " + std::to_string(r.track));
      tracks.push_back(r.track);
      EXPECT_EQ(r.area, area[r.track]);
      EXPECT_NEAR(r.cx, sumX[r.track] / area[r.track], 0.006);
      EXPECT_NEAR(r.cy, sumY[r.track] / area[r.track], 0.006);
      EXPECT_TRUE((r.nucleus == 0 || r.nucleus == 1) && r.vacuoles >= 0 && r.parent != r.track);
      EXPECT_TRUE(r.parent == 0 || everSeen.count(r.parent) || area.count(r.parent)) << r.parent;
      nuclei += r.nucleus;
      vacuoles += r.vacuoles;
    }
    EXPECT_TRUE(std::is_sorted(tracks.begin(), tracks.end()));
    EXPECT_EQ(tracks.size(), area.size()) << "every label has one row";
    everSeen.insert(tracks.begin(), tracks.end());
  }
  EXPECT_GT(nuclei, 5);
  EXPECT_GT(vacuoles, 5);
}

TEST(SynthRecording, EmptyAndTinyRecordings) {
  const fs::path folder = freshFolder("synth_tiny");
  std::string error;
  SynthOptions o = smallRecording(folder);
  o.cellCount = 0;
  ASSERT_TRUE(generateRecording(o, &error)) << error;
  EXPECT_EQ(splitLines(readFile(folder / "truth.csv")).size(), 1u);
  o.width = 1;
  o.height = 1;
  o.sliceCount = 1;
  o.cellCount = -1;
  ASSERT_TRUE(generateRecording(o, &error)) << error;
  std::vector<uint32_t> pixel;
  EXPECT_TRUE(readGrey(folder / "t0002_z001.tif", 8, 1, 1, &pixel));
}

TEST(SynthRecording, UnwritableFolderIsReported) {
  const fs::path folder = freshFolder("synth_unwritable");
  std::ofstream(folder / "blocker") << "a file, not a folder";
  fs::create_directories(folder / "slices" / "t0001_z002.tif");  // a folder where a slice goes
  struct Case {
    fs::path pattern;
    std::string truthFolder;
    const char* mentions;
  };
  const Case cases[] = {{folder / "t%0_z%1.tif", (folder / "blocker").string(), "blocker"},
                        {folder / "slices" / "t%0_z%1.tif", "", "t0001_z002.tif"}};
  for (const Case& c : cases) {
    SynthOptions o = smallRecording(folder);
    o.pathPattern = c.pattern.string();
    o.truthFolder = c.truthFolder;
    std::string error;
    EXPECT_FALSE(generateRecording(o, &error));
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
  }
}

TEST(SynthRecording, ExitStatusOfTheProgram) {
  const fs::path folder = freshFolder("synth_program");
  const std::string pattern = (folder / "t%0_z%1.tif").string();
  EXPECT_EQ(runSynth("-w 5 --help"), 0);  // help wins over any other word
  EXPECT_EQ(runSynth("-w 0 -p " + pattern), 2);
  EXPECT_TRUE(fs::is_empty(folder)) << "nothing is written on a bad command line";
  std::ofstream(folder / "blocker") << "x";
  EXPECT_EQ(runSynth("-w 64 -h 48 -sc 2 -c 1 -p " + (folder / "blocker" / "t%0_z%1.tif").string()), 1);
  EXPECT_EQ(runSynth("-w 64 -h 48 -sc 2 -c 1 -p " + pattern), 0);
  EXPECT_TRUE(fs::exists(folder / "t0001_z002.tif"));
  EXPECT_TRUE(fs::exists(folder / "truth_0001.tif"));
}

}  // namespace focustrack
