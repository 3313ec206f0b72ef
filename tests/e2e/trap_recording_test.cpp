// Trap recordings: the device mask proposed from a run's first frames keeps
// the pillars of the trap and their halo pieces out of the tables without
// losing a true cell.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "io/output_paths.h"
#include "io/tiff_writer.h"
#include "mask/propose.h"
#include "support/result_table.h"
#include "support/recording.h"
#include "support/run_capture.h"

namespace focustrack {
namespace {

namespace fs = std::filesystem;

using Row = std::pair<long, long>;  // (frame ordinal, id)

std::set<Row> tableRows(const fs::path& out) {
  const ResultTable cells = readResultTable((out / "_cells.csv").string());
  std::set<Row> rows;
  for (size_t k = 0; k < cells.rows.size(); ++k) rows.insert({cells.integer(k, "Index"), cells.integer(k, "Id")});
  return rows;
}

// A synthetic trap recording of 6 slices per frame with `pairs` pillar pairs.
SynthOptions trapRecording(const fs::path& slices, int32_t width, int32_t height, int32_t frames, int32_t pairs) {
  SynthOptions options = synthOptions(slices / "t%0_z%1.tif", width, height, 6, frames, 4);
  options.trapPairs = pairs;
  return options;
}

LabelMap labels(const fs::path& path) {
  LabelMap image;
  std::string why;
  EXPECT_TRUE(readLabelMap(path.string(), &image, &why)) << why;
  return image;
}

// A mask file of `width` x `height` pixels, all `value`.
fs::path writeMask(const fs::path& path, int32_t width, int32_t height, uint8_t value) {
  const std::vector<uint8_t> samples(static_cast<size_t>(width) * height, value);
  std::string why;
  EXPECT_TRUE(writeTiff(path.string(), width, height, TiffSample::UInt8, samples.data(), &why)) << why;
  return path;
}

// A row is a true cell when most of its pixels lie on a true cell.
bool isTrueCell(const LabelMap& found, const LabelMap& truth, int id) {
  int64_t pixels = 0, onCell = 0;
  for (size_t i = 0; i < found.labels.size(); ++i) {
    if (found.labels[i] != static_cast<uint32_t>(id)) continue;
    ++pixels;
    onCell += truth.labels[i] != 0;
  }
  return 2 * onCell > pixels;
}

// The rows of a run's cell table, and those of them that are true cells.
struct TrapRun {
  std::set<Row> rows;
  std::set<Row> trueRows;
};

class TrapRecording : public ::testing::Test {
 protected:
  static constexpr int kFrames = 4;
  void SetUp() override {
    folder_ = freshFolder(std::string("traps_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    SynthOptions options = trapRecording(folder_ / "slices", 400, 300, kFrames, 2);
    options.truthFolder = (folder_ / "truth").string();
    words_ = generated(options);
  }

  TrapRun analyse(const std::string& name, std::vector<std::string> extra) {
    const fs::path out = folder_ / name;
    std::vector<std::string> words = words_;
    words.insert(words.end(), {"-o", out.string(), "--masks"});
    words.insert(words.end(), extra.begin(), extra.end());
    const RunResult result = runFocustrack(words);
    EXPECT_EQ(result.out.find("Error"), std::string::npos) << result.err;
    TrapRun run{tableRows(out), {}};
    for (const Row& row : run.rows) {
      const LabelMap found = labels(frameFilePath(out.string(), "masks", row.first, "tif"));
      const LabelMap truth = labels(folder_ / "truth" / ("truth_000" + std::to_string(row.first) + ".tif"));
      if (isTrueCell(found, truth, row.second)) run.trueRows.insert(row);
    }
    return run;
  }

  fs::path proposeMask(const fs::path& run) {
    std::vector<LabelMap> first = {labels(run / "masks_0001.tif"), labels(run / "masks_0002.tif")};
    const std::vector<uint8_t> mask = proposeDeviceMask(first, ProposalRules{});
    const fs::path path = folder_ / "device_mask.tif";
    std::string why;
    EXPECT_TRUE(writeTiff(path.string(), 400, 300, TiffSample::UInt8, mask.data(), &why)) << why;
    return path;
  }

  fs::path folder_;
  std::vector<std::string> words_;  // sizes and slices of the recording
};

TEST_F(TrapRecording, ProposedMaskKeepsPillarsOutAndEveryTrueCellIn) {
  const TrapRun plain = analyse("plain", {});
  const fs::path mask = proposeMask(folder_ / "plain");
  const TrapRun masked = analyse("masked", {"--exclude", mask.string()});
  EXPECT_GT(plain.rows.size(), plain.trueRows.size());  // the pillars show as cells without a mask
  EXPECT_EQ(masked.trueRows, masked.rows);
  EXPECT_EQ(masked.trueRows, plain.trueRows);  // no true cell lost to the mask
}

TEST_F(TrapRecording, UnusableMasksStopOrWarn) {
  struct Case {
    fs::path mask;
    const char* reason;
    bool runs;
  };
  const Case cases[] = {{writeMask(folder_ / "small.tif", 300, 400, 0), "expected 400 x 300", false},
                        {folder_ / "missing.tif", "file not found", false},
                        {writeMask(folder_ / "full.tif", 400, 300, 7), "marks every pixel", false},
                        {writeMask(folder_ / "empty.tif", 400, 300, 0), "marks no pixel", true}};
  for (const Case& c : cases) {
    const RunResult r = runFocustrack({"-w", "400", "-h", "300", "-sc", "6", "-c", "1", "-p",
                                       (folder_ / "slices" / "t%0_z%1.tif").string(), "-o",
                                       (folder_ / "unusable").string(), "--exclude", c.mask.string()});
    SCOPED_TRACE(c.mask.string());
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Frame 1 Finished") != std::string::npos, c.runs) << r.out;
  }
}

// With --scale the mask has the input's size, like the slices and the label
// masks: it is resampled as the slices are.
TEST(TrapRecordingScaled, InputSizedMaskKeepsThePillarsOut) {
  const fs::path folder = freshFolder("traps_scaled");
  const std::vector<std::string> recording = generated(trapRecording(folder, 200, 150, 2, 1));
  const auto run = [&](const std::string& name, std::vector<std::string> extra) {
    std::vector<std::string> words = recording;
    words.insert(words.end(), {"--scale", "2", "-o", (folder / name).string(), "--masks"});
    words.insert(words.end(), extra.begin(), extra.end());
    return runFocustrack(words);
  };
  const RunResult plain = run("plain", {});
  const RunResult masked = run("masked", {"--exclude", (folder / "device.tif").string()});
  EXPECT_EQ(masked.status, 0) << masked.err;
  const std::set<Row> maskedRows = tableRows(folder / "masked");
  EXPECT_LT(maskedRows.size(), tableRows(folder / "plain").size());
  const LabelMap device = labels(folder / "device.tif");
  for (const Row& row : maskedRows) {
    const LabelMap found = labels(frameFilePath((folder / "masked").string(), "masks", row.first, "tif"));
    EXPECT_FALSE(isTrueCell(found, device, row.second)) << "id " << row.second << " lies on the device";
  }
  // A mask of the analysed size is the wrong size here.
  const RunResult wrong = run("wrong", {"--exclude", writeMask(folder / "big.tif", 400, 300, 0).string()});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("expected 200 x 150"), std::string::npos) << wrong.err;
}

}  // namespace
}  // namespace focustrack
