// Physical units in whole runs: the unit columns of the track and event
// tables equal their pixel and frame figures times the run's factors, come
// after every column a run without units writes, and stay empty where the
// unit they need is unknown.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/picture_files.h"
#include "support/recording.h"
#include "support/result_table.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

std::vector<double> numbers(const std::string& list) {
  std::istringstream words(list);
  std::vector<double> values;
  for (double v = 0; words >> v;) values.push_back(v);
  return values;
}

struct Factors {
  double pixelSize = 0.0;  // microns; 0 = unknown
  double interval = 0.0;   // minutes; 0 = unknown
  int firstFrame = 1;
};

// A unit column holds (pixel figure - offset) * factor when the units it
// needs are known, and is empty otherwise. The pixel and frame figures are
// written with six significant digits, so a figure recomputed from them
// agrees to about 1e-5 of its size.
struct UnitColumn {
  const char* unit;
  const char* pixels;
  double offset, factor;
  bool known;
};

void expectUnitColumn(const ResultTable& t, size_t r, const UnitColumn& c, const std::string& what) {
  const std::string& written = t.text(r, c.unit);
  if (!c.known) {
    EXPECT_EQ(written, "") << what << ", " << c.unit;
    return;
  }
  ASSERT_FALSE(written.empty()) << what << ", " << c.unit;
  const double recomputed = (t.real(r, c.pixels) - c.offset) * c.factor;
  EXPECT_NEAR(std::atof(written.c_str()), recomputed, 1e-5 * std::fabs(recomputed) + 1e-9) << what << ", " << c.unit;
}

void expectTrackUnits(const ResultTable& t, const Factors& f) {
  ASSERT_GE(t.column("Mean Move (um)"), 0);
  const double area = f.pixelSize * f.pixelSize;
  const double growth = f.interval > 0 ? area * 60.0 / f.interval : 0.0;  // per frame -> per hour
  const bool time = f.interval > 0;
  for (size_t r = 0; r < t.rows.size(); ++r) {
    const long rows = t.integer(r, "Frames Present");
    const bool sized = f.pixelSize > 0 && rows > 0;
    const UnitColumn columns[] = {{"First Time (min)", "First Frame", double(f.firstFrame), f.interval, time},
                                  {"Last Time (min)", "Last Frame", double(f.firstFrame), f.interval, time},
                                  {"Size at Start (um^2)", "Size at Start", 0.0, area, sized},
                                  {"Size at End (um^2)", "Size at End", 0.0, area, sized},
                                  {"Mean Move (um)", "Mean Move", 0.0, f.pixelSize, sized},
                                  {"Growth Rate (um^2/h)", "Growth Rate", 0.0, growth, sized && time && rows > 1}};
    for (const UnitColumn& c : columns) expectUnitColumn(t, r, c, "track " + t.text(r, "Id"));
  }
}

void expectEventUnits(const ResultTable& t, const Factors& f) {
  ASSERT_GE(t.column("To Sizes (um^2)"), 0);
  for (size_t r = 0; r < t.rows.size(); ++r) {
    const std::string what = "event row " + std::to_string(r + 1);
    expectUnitColumn(t, r, {"Time (min)", "Frame", double(f.firstFrame), f.interval, f.interval > 0}, what);
    for (const char* column : {"From Sizes", "To Sizes"}) {
      const std::vector<double> pixels = numbers(t.text(r, column));
      const std::vector<double> microns = numbers(t.text(r, std::string(column) + " (um^2)"));
      if (f.pixelSize <= 0) {
        EXPECT_TRUE(microns.empty()) << what;
        continue;
      }
      ASSERT_EQ(microns.size(), pixels.size()) << what;
      for (size_t k = 0; k < pixels.size(); ++k) {
        EXPECT_NEAR(microns[k], pixels[k] * f.pixelSize * f.pixelSize, 1e-5 * microns[k]) << what;
      }
    }
  }
}

// Each line of the table with units begins with the whole line of the same
// run without them: the unit columns are added at the end, nothing else moves.
void expectPrefixes(const fs::path& plain, const fs::path& withUnits) {
  std::istringstream a(readFile(plain)), b(readFile(withUnits));
  std::string left, right;
  size_t lines = 0;
  while (std::getline(a, left)) {
    ASSERT_TRUE(std::getline(b, right));
    EXPECT_EQ(right.compare(0, left.size(), left), 0) << right;
    EXPECT_GT(right.size(), left.size());
    ++lines;
  }
  EXPECT_FALSE(std::getline(b, right));
  EXPECT_GT(lines, 1u);
}

// The 200 x 150 synthetic recording, 4 frames of 8 slices from `firstFrame`;
// a stack file records `pixelSize` um per pixel and `interval` minutes per
// frame. Returns the words that run it.
std::vector<std::string> synthRecording(const fs::path& pattern, SynthFormat format, int32_t firstFrame = 1,
                                        double pixelSize = 0.0, double interval = 0.0) {
  SynthOptions options = synthOptions(pattern, 200, 150, 8, 4, 9);
  options.firstFrame = firstFrame;
  options.format = format;
  options.pixelSize = pixelSize;
  options.interval = interval;
  return generated(options);
}

// traps-234 with both units: only the track and event tables change, by
// unit columns after their own; those of the events are the pixel figures
// times the factors (the synthetic recordings below have no events).
TEST(Units, TrackAndEventColumnsAreThePixelFiguresTimesTheFactors) {
  if (!fs::exists(kSharedData / "traps-234")) GTEST_SKIP() << "no shared data";
  const fs::path folder = freshFolder("units_traps234");
  std::vector<std::string> words = realWords("traps-234");
  words.insert(words.end(), {"-o", (folder / "plain").string()});
  ASSERT_EQ(runFocustrack(words).status, 0);
  words.back() = (folder / "units").string();
  words.insert(words.end(), {"--pixel-size", "0.13", "--interval", "7.5"});
  ASSERT_EQ(runFocustrack(words).status, 0);
  for (const char* table : {"_cells.csv", "_average.csv"}) {
    EXPECT_EQ(readFile(folder / "units" / table), readFile(folder / "plain" / table)) << table;
  }
  expectPrefixes(folder / "plain" / "_tracks.csv", folder / "units" / "_tracks.csv");
  expectPrefixes(folder / "plain" / "_events.csv", folder / "units" / "_events.csv");
  const ResultTable events = readResultTable((folder / "units" / "_events.csv").string());
  ASSERT_FALSE(events.rows.empty());
  expectEventUnits(events, Factors{0.13, 7.5, 1});
}

// A synthetic recording from frame 3: times count from the run's first
// frame; with one unit known the other's columns stay empty; with none the
// tables have no unit columns.
TEST(Units, OneUnitKnownLeavesTheOthersColumnsEmpty) {
  const fs::path folder = freshFolder("units_one");
  const std::vector<std::string> words = synthRecording(folder / "slices" / "t%0_z%1.tif", SynthFormat::Slices, 3);
  for (const Factors& f : {Factors{0.0, 4.0, 3}, Factors{0.25, 0.0, 3}, Factors{0.0, 0.0, 3}}) {
    const fs::path out = folder / (f.interval > 0 ? "interval" : f.pixelSize > 0 ? "pixel" : "none");
    std::vector<std::string> run = words;
    run.insert(run.end(), {"-o", out.string()});
    if (f.interval > 0) run.insert(run.end(), {"--interval", "4"});
    if (f.pixelSize > 0) run.insert(run.end(), {"--pixel-size", "0.25"});
    ASSERT_EQ(runFocustrack(run).status, 0);
    const ResultTable tracks = readResultTable((out / "_tracks.csv").string());
    const ResultTable events = readResultTable((out / "_events.csv").string());
    if (f.interval == 0 && f.pixelSize == 0) {
      EXPECT_EQ(tracks.column("First Time (min)"), -1);
      EXPECT_EQ(events.column("Time (min)"), -1);
      continue;
    }
    expectTrackUnits(tracks, f);
    expectEventUnits(events, f);
  }
}

void expectUnitTables(const fs::path& out, const Factors& f) {
  const ResultTable tracks = readResultTable((out / "_tracks.csv").string());
  ASSERT_FALSE(tracks.rows.empty());
  expectTrackUnits(tracks, f);
  expectEventUnits(readResultTable((out / "_events.csv").string()), f);
}

// The OME-TIFF's units enlarged twice: an analysed pixel is half as wide,
// the mask stack keeps the input's size and pixel. A pixel size given as an
// option wins over the ImageJ hyperstack's; its interval stays.
TEST(Units, StackMetadataAlsoWithAScaleAndAnOptionThatOverridesIt) {
  const fs::path folder = freshFolder("units_stacks");
  const std::string ome = synthRecording(folder / "ome" / "rec.ome.tif", SynthFormat::Ome, 1, 0.13, 7.5).back();
  const fs::path out = folder / "scaled";
  ASSERT_EQ(runFocustrack({"-p", ome, "--scale", "2", "-o", out.string(), "--mask-stack"}).status, 0);
  const std::string scaled = readFile(out / "run.json");
  EXPECT_TRUE(has(scaled, "\"pixelSize\": {\"microns\": 0.065000000000000002, \"source\": \"OME-TIFF "
                          "metadata\", \"inputMicrons\": 0.13}"))
      << scaled;
  EXPECT_TRUE(has(scaled, "\"frameInterval\": {\"minutes\": 7.5, \"source\": \"OME-TIFF metadata\"}")) << scaled;
  expectUnitTables(out, Factors{0.065, 7.5, 1});
  const std::vector<TiffPage> pages = readTiffPages((out / "masks.tif").string());
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_EQ(pages[0].width, 200u);
  EXPECT_NEAR(pages[0].xResolution, 1.0 / 0.13, 1e-4);
  EXPECT_TRUE(has(pages[0].description, "unit=micron\nspacing=0.13\nfinterval=450\n")) << pages[0].description;

  const std::string imagej = synthRecording(folder / "imagej" / "rec.tif", SynthFormat::ImageJ, 1, 0.13, 7.5).back();
  ASSERT_EQ(runFocustrack({"-p", imagej, "-o", (folder / "given").string(), "--pixel-size", "0.2"}).status, 0);
  const std::string given = readFile(folder / "given" / "run.json");
  EXPECT_TRUE(has(given, "\"pixelSize\": {\"microns\": 0.20000000000000001, \"source\": \"option\"}")) << given;
  EXPECT_TRUE(has(given, "\"frameInterval\": {\"minutes\": 7.5, \"source\": \"ImageJ hyperstack metadata\"}"))
      << given;
  expectUnitTables(folder / "given", Factors{0.2, 7.5, 1});
}

}  // namespace

}  // namespace focustrack
