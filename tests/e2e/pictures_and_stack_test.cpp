// Whole runs with the mask stack, zoomed and PNG result images: the new
// files agree with the per-frame masks, the tables and the classic BMPs of
// the same recording, and the tables stay as they are.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "io/output_paths.h"
#include "support/picture_files.h"
#include "support/result_table.h"
#include "support/run_capture.h"
#include "synth/synth.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

const fs::path kSharedData = FOCUSTRACK_SHARED_DATA;

struct Recording {
  std::vector<std::string> words;  // size, slices, frames and pattern
  int32_t frames = 0;
};

// The 200 x 150 synthetic recording of the snapshots, 4 frames of 8 slices.
Recording synthetic(const fs::path& folder) {
  SynthOptions options;
  options.width = 200;
  options.height = 150;
  options.sliceCount = 8;
  options.frameCount = 4;
  options.seed = 9;
  options.pathPattern = (folder / "slices" / "t%0_z%1.tif").string();
  std::string why;
  EXPECT_TRUE(generateRecording(options, &why)) << why;
  return {{"-w", "200", "-h", "150", "-sc", "8", "-c", "4", "-p", options.pathPattern}, 4};
}

Recording traps234() {
  return {{"-w", "234", "-h", "234", "-sc", "5", "-c", "4", "-p", (kSharedData / "traps-234" / "t%0_z%1.tif").string()},
          4};
}

RunResult runWith(const Recording& recording, const fs::path& out, std::vector<std::string> extra) {
  std::vector<std::string> words = recording.words;
  words.insert(words.end(), {"-o", out.string()});
  words.insert(words.end(), extra.begin(), extra.end());
  return runFocustrack(words);
}

// (frame ordinal, track id) -> Cell Size, from the rows of _cells.csv.
std::map<std::pair<int32_t, uint32_t>, int64_t> cellSizes(const fs::path& table) {
  const ResultTable cells = readResultTable(table.string());
  std::map<std::pair<int32_t, uint32_t>, int64_t> sizes;
  for (size_t k = 0; k < cells.rows.size(); ++k) {
    sizes[{cells.integer(k, "Index"), static_cast<uint32_t>(cells.integer(k, "Id"))}] = cells.integer(k, "Cell Size");
  }
  return sizes;
}

// The stack holds one page per frame, each equal to that frame's mask file,
// and every row of the cell table finds its track id on its frame's page
// with exactly its Cell Size in pixels.
void expectStackMatchesMasksAndTable(const Recording& recording, const fs::path& folder) {
  const fs::path out = folder / "out";
  const RunResult r = runWith(recording, out, {"--masks", "--mask-stack"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<TiffPage> pages = readTiffPages((out / "masks.tif").string());
  ASSERT_EQ(pages.size(), size_t(recording.frames));
  std::map<std::pair<int32_t, uint32_t>, int64_t> counted;
  for (int32_t k = 0; k < recording.frames; ++k) {
    const std::vector<TiffPage> mask = readTiffPages(frameFilePath(out.string(), "masks", k + 1, "tif"));
    ASSERT_EQ(mask.size(), 1u);
    EXPECT_EQ(pages[k].bits, mask[0].bits);
    EXPECT_EQ(pages[k].samples, mask[0].samples) << "frame " << k + 1;
    for (const uint32_t id : pages[k].samples) {
      if (id != 0) counted[{k + 1, id}] += 1;
    }
  }
  const auto sizes = cellSizes(out / "_cells.csv");
  ASSERT_FALSE(sizes.empty());
  for (const auto& [key, size] : sizes) {
    EXPECT_EQ(counted[key], size) << "frame " << key.first << " id " << key.second;
  }
  EXPECT_FALSE(fs::exists(out / "masks.tif.part"));
}

TEST(PicturesAndStack, StackAgreesWithMasksAndTable) {
  const fs::path folder = freshFolder("stack_synthetic");
  expectStackMatchesMasksAndTable(synthetic(folder), folder);
  if (fs::exists(kSharedData / "traps-234")) {
    expectStackMatchesMasksAndTable(traps234(), freshFolder("stack_traps234"));
  }
}

TEST(PicturesAndStack, ZoomedAndPngImagesShowTheClassicPicture) {
  const fs::path folder = freshFolder("pictures");
  const Recording recording = synthetic(folder);
  ASSERT_EQ(runWith(recording, folder / "bmp", {"-i"}).status, 0);
  ASSERT_EQ(runWith(recording, folder / "zoom", {"-i", "--image-zoom", "3"}).status, 0);
  ASSERT_EQ(runWith(recording, folder / "png", {"-i", "--image-format", "png"}).status, 0);
  // The options change pictures only, never the tables.
  for (const char* table : {"_cells.csv", "_average.csv"}) {
    EXPECT_EQ(readFile(folder / "zoom" / table), readFile(folder / "bmp" / table));
  }
  for (int32_t k = 1; k <= recording.frames; ++k) {
    const Picture classic = readBmpPicture(frameFilePath((folder / "bmp").string(), "result", k, "bmp"));
    const Picture zoomed = readBmpPicture(frameFilePath((folder / "zoom").string(), "result", k, "bmp"));
    const Picture png = readPngPicture(frameFilePath((folder / "png").string(), "result", k, "png"));
    ASSERT_EQ(classic.width, 200);
    EXPECT_TRUE(png == classic) << "frame " << k;
    ASSERT_EQ(zoomed.width, 600);
    ASSERT_EQ(zoomed.height, 450);
    int32_t mismatches = 0;
    for (int32_t y = 0; y < classic.height; ++y) {
      for (int32_t x = 0; x < classic.width; ++x) {
        const uint8_t* want = classic.at(x, y);
        for (int32_t dy = 0; dy < 3; ++dy) {
          for (int32_t dx = 0; dx < 3; ++dx) {
            const uint8_t* got = zoomed.at(3 * x + dx, 3 * y + dy);
            mismatches += got[0] != want[0] || got[1] != want[1] || got[2] != want[2];
          }
        }
      }
    }
    EXPECT_EQ(mismatches, 0) << "frame " << k;
  }
}

}  // namespace

}  // namespace focustrack
