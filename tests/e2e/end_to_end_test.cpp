// Whole runs on real and synthetic recordings, compared with reviewed
// reference outputs kept in tests/e2e/reference. To regenerate them on
// purpose, run scripts/update_references.sh and review the difference.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/picture_files.h"
#include "support/run_capture.h"
#include "synth/synth.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

const fs::path kReferences = fs::path(FOCUSTRACK_SOURCE_DIR) / "tests" / "e2e" / "reference";
const fs::path kSharedData = FOCUSTRACK_SHARED_DATA;

bool updating() { return std::getenv("FOCUSTRACK_UPDATE_REFERENCES") != nullptr; }

// 64-bit FNV-1a: enough to notice any change of a result image.
std::string fingerprint(const std::string& bytes) {
  uint64_t hash = 1469598103934665603ull;
  for (const unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  std::ostringstream text;
  text << std::hex << hash << " " << std::dec << bytes.size();
  return text.str();
}

std::vector<fs::path> resultImages(const fs::path& out) {
  std::vector<fs::path> images;
  for (const auto& entry : fs::directory_iterator(out)) {
    if (entry.path().extension() == ".bmp") images.push_back(entry.path());
  }
  std::sort(images.begin(), images.end());
  return images;
}

std::string imageList(const fs::path& out) {
  std::string list;
  for (const fs::path& image : resultImages(out)) {
    list += image.filename().string() + " " + fingerprint(readFile(image)) + "\n";
  }
  return list;
}

// Compares the tables and result images of a run with the references, or
// writes the references when updating.
void expectReference(const std::string& name, const fs::path& out) {
  const fs::path reference = kReferences / name;
  const char* const tables[] = {"_cells.csv", "_average.csv", "_tracks.csv", "_events.csv"};
  const std::string images = imageList(out);
  if (updating()) {
    fs::create_directories(reference);
    for (const char* table : tables) std::ofstream(reference / table, std::ios::binary) << readFile(out / table);
    std::ofstream(reference / "images.txt", std::ios::binary) << images;
    return;
  }
  ASSERT_TRUE(fs::exists(reference / "_cells.csv")) << "no reference for " << name;
  for (const char* table : tables) EXPECT_EQ(readFile(out / table), readFile(reference / table)) << name << table;
  EXPECT_EQ(images, readFile(reference / "images.txt")) << name;
}

size_t countOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Each recording's frames and the run end with a " Finished" line.
TEST(EndToEnd, RealRecordingsMatchTheirReferences) {
  bool any = false;
  for (const auto& [name, size, frames] : {std::tuple<const char*, int32_t, int32_t>{"traps-234", 234, 4},
                                           std::tuple<const char*, int32_t, int32_t>{"traps-162", 162, 5}}) {
    if (!fs::exists(kSharedData / name)) continue;
    any = true;
    SCOPED_TRACE(name);
    const fs::path out = freshFolder(std::string("e2e_") + name);
    const RunResult r = runFocustrack({"-w", std::to_string(size), "-h", std::to_string(size), "-p",
                                       (kSharedData / name / "t%0_z%1.tif").string(), "-c", std::to_string(frames),
                                       "-sc", "5", "-o", out.string(), "-i"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(r.out, " Finished"), static_cast<size_t>(frames) + 1) << r.out;
    expectReference(name, out);
  }
  if (!any) GTEST_SKIP() << "no shared data";
}

// The demo recording: 320 x 240, 16 slices, 5 frames, in a folder of its own
// for every test (tests may run in parallel processes).
class SyntheticRun : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = freshFolder(std::string("e2e_synthetic_") +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    SynthOptions options;
    options.width = 320;
    options.height = 240;
    options.sliceCount = 16;
    options.frameCount = 5;
    options.seed = 7;
    options.pathPattern = (folder_ / "slices" / "t%0_z%1.tif").string();
    std::string why;
    generated_ = generateRecording(options, &why);
  }
  std::vector<std::string> words(const fs::path& slices, const fs::path& out) const {
    return {"-w", "320", "-h", "240", "-p", (slices / "t%0_z%1.tif").string(), "-o", out.string(),
            "-i", "--masks"};
  }
  fs::path folder_;
  bool generated_ = false;
};

TEST_F(SyntheticRun, MatchesReference) {
  ASSERT_TRUE(generated_);
  const fs::path out = folder_ / "out";
  const RunResult r = runFocustrack(words(folder_ / "slices", out));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(countOf(r.out, " Finished"), 6u) << r.out;
  expectReference("synthetic", out);
}

// Lines of a table whose first field (the frame ordinal) is at most `last`.
std::string rowsUpTo(const std::string& table, int32_t last) {
  std::istringstream lines(table);
  std::string line, kept;
  std::getline(lines, line);
  kept = line + "\n";
  while (std::getline(lines, line)) {
    if (std::stoi(line) <= last) kept += line + "\n";
  }
  return kept;
}

// A run that ends at a broken frame keeps the rows and the mask stack pages
// of the frames before it.
TEST_F(SyntheticRun, LostSliceInFrameThreeKeepsEarlierRows) {
  ASSERT_TRUE(generated_);
  const fs::path slices = folder_ / "lossy";
  fs::remove_all(slices);
  fs::copy(folder_ / "slices", slices);
  fs::remove(slices / "t0003_z005.tif");
  const fs::path full = folder_ / "full";
  const fs::path cut = folder_ / "cut";
  runFocustrack(words(folder_ / "slices", full));
  std::vector<std::string> cutWords = words(slices, cut);
  cutWords.push_back("--mask-stack");
  const RunResult r = runFocustrack(cutWords);
  EXPECT_EQ(r.status, 2);  // ended early at a broken frame
  EXPECT_EQ(countOf(r.out, "Frame 2 Finished"), 1u);
  EXPECT_EQ(countOf(r.out, "Frame 3 Finished"), 0u);
  const std::string fullCells = readFile(full / "_cells.csv");
  EXPECT_EQ(readFile(cut / "_cells.csv"), rowsUpTo(fullCells, 2));
  EXPECT_GT(rowsUpTo(fullCells, 2).size(), rowsUpTo(fullCells, 0).size());  // frames 1-2 have rows
  EXPECT_EQ(readFile(cut / "_average.csv"), rowsUpTo(readFile(full / "_average.csv"), 2));
  EXPECT_EQ(readFile(cut / "_events.csv"), rowsUpTo(readFile(full / "_events.csv"), 2));
  EXPECT_NE(readFile(cut / "_tracks.csv").find("\n1, 1, 2, "), std::string::npos);  // track 1 ends at frame 2
  EXPECT_EQ(resultImages(cut).size(), 2u);
  EXPECT_EQ(readTiffPages((cut / "masks.tif").string()).size(), 2u);
}

}  // namespace

}  // namespace focustrack
