// Whole runs on real and synthetic recordings, compared with reviewed
// reference outputs kept in tests/e2e/reference. To regenerate them on
// purpose, run scripts/update_references.sh and review the difference.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "io/output_paths.h"
#include "support/picture_files.h"
#include "support/recording.h"
#include "support/result_table.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

const fs::path kReferences = fs::path(FOCUSTRACK_SOURCE_DIR) / "tests" / "e2e" / "reference";

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
  if (std::getenv("FOCUSTRACK_UPDATE_REFERENCES") != nullptr) {
    fs::create_directories(reference);
    for (const char* table : tables) std::ofstream(reference / table, std::ios::binary) << readFile(out / table);
    std::ofstream(reference / "images.txt", std::ios::binary) << images;
    return;
  }
  ASSERT_TRUE(fs::exists(reference / "_cells.csv")) << "no reference for " << name;
  for (const char* table : tables) EXPECT_EQ(readFile(out / table), readFile(reference / table)) << name << table;
  EXPECT_EQ(images, readFile(reference / "images.txt")) << name;
}

// Each recording's frames and the run end with a " Finished" line.
TEST(EndToEnd, RealRecordingsMatchTheirReferences) {
  bool any = false;
  for (const auto& [name, frames] : {std::pair<const char*, size_t>{"traps-234", 4}, {"traps-162", 5}}) {
    if (!fs::exists(kSharedData / name)) continue;
    any = true;
    SCOPED_TRACE(name);
    const fs::path out = freshFolder(std::string("e2e_") + name);
    std::vector<std::string> words = realWords(name);
    words.insert(words.end(), {"-o", out.string(), "-i"});
    const RunResult r = runFocustrack(words);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(r.out, " Finished"), frames + 1) << r.out;
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
    generated(synthOptions(folder_ / "slices" / "t%0_z%1.tif", 320, 240, 16, 5, 7));
  }
  std::vector<std::string> words(const fs::path& slices, const fs::path& out) const {
    return {"-w", "320", "-h", "240", "-p", (slices / "t%0_z%1.tif").string(), "-o", out.string(),
            "-i", "--masks", "--mask-stack"};
  }
  fs::path folder_;
};

// The mask stack read without a complaint holds one page per frame, each
// equal to that frame's mask file, and every row of the cell table finds its
// track id on its frame's page with exactly its Cell Size in pixels.
TEST_F(SyntheticRun, MatchesReference) {
  const fs::path out = folder_ / "out";
  const RunResult r = runFocustrack(words(folder_ / "slices", out));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(countOf(r.out, " Finished"), 6u) << r.out;
  expectReference("synthetic", out);
  int complaints = 0;
  const std::vector<TiffPage> pages = readTiffPagesStrictly((out / "masks.tif").string(), &complaints);
  EXPECT_EQ(complaints, 0);
  ASSERT_EQ(pages.size(), 5u);
  std::map<std::pair<long, long>, long> counted;  // (frame ordinal, track id) -> pixels
  for (int32_t k = 1; k <= 5; ++k) {
    const std::vector<TiffPage> mask = readTiffPages(frameFilePath(out.string(), "masks", k, "tif"));
    ASSERT_EQ(mask.size(), 1u);
    EXPECT_TRUE(pages[k - 1].samples == mask[0].samples) << "frame " << k;
    for (const uint32_t id : pages[k - 1].samples) counted[std::pair<long, long>(k, id)] += 1;
  }
  const ResultTable cells = readResultTable((out / "_cells.csv").string());
  ASSERT_FALSE(cells.rows.empty());
  for (size_t k = 0; k < cells.rows.size(); ++k) {
    const long pixels = counted[std::pair(cells.integer(k, "Index"), cells.integer(k, "Id"))];
    EXPECT_EQ(pixels, cells.integer(k, "Cell Size")) << "row " << k + 1;
  }
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
  const fs::path slices = folder_ / "lossy";
  fs::remove_all(slices);
  fs::copy(folder_ / "slices", slices);
  fs::remove(slices / "t0003_z005.tif");
  const fs::path full = folder_ / "full";
  const fs::path cut = folder_ / "cut";
  runFocustrack(words(folder_ / "slices", full));
  const RunResult r = runFocustrack(words(slices, cut));
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
