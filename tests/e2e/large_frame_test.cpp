// Frames larger than the first sizes of the region and cell tables: the
// tables grow, so no region or cell is dropped and no capacity warning is
// given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/label_image.h"
#include "support/recording.h"
#include "support/result_table.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

// Labels with a pixel in the first or last row or column.
std::set<uint32_t> borderLabels(const std::vector<uint32_t>& labels, int32_t width, int32_t height) {
  std::set<uint32_t> border;
  for (int32_t x = 0; x < width; ++x) {
    border.insert(labels[x]);
    border.insert(labels[static_cast<size_t>(height - 1) * width + x]);
  }
  for (int32_t y = 0; y < height; ++y) {
    border.insert(labels[static_cast<size_t>(y) * width]);
    border.insert(labels[static_cast<size_t>(y) * width + width - 1]);
  }
  return border;
}

// 1,587 true cells away from the border, far more than 999: each is found
// (at least 30% of its pixels lie in a found cell; touching cells merge, as
// they do at any size), and every found cell away from the border has its
// table row.
TEST(LargeFrame, FourThousandByThreeThousandKeepsEveryCell) {
  constexpr int32_t kWidth = 4000;
  constexpr int32_t kHeight = 3000;
  const fs::path folder = freshFolder("large_4000");
  std::vector<std::string> words = generated(synthOptions(folder / "t%0_z%1.tif", kWidth, kHeight, 3, 1, 1));
  words.insert(words.end(), {"-o", (folder / "out").string(), "--masks"});
  const RunResult r = runFocustrack(words);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // no capacity warning
  const std::vector<uint32_t> truth = readLabelImage((folder / "truth_0001.tif").string()).samples;
  const std::vector<uint32_t> found = readLabelImage((folder / "out" / "masks_0001.tif").string()).samples;
  ASSERT_EQ(truth.size(), static_cast<size_t>(kWidth) * kHeight);
  ASSERT_EQ(found.size(), truth.size());
  const std::set<uint32_t> trueAtBorder = borderLabels(truth, kWidth, kHeight);
  std::map<uint32_t, int64_t> area;
  std::map<uint32_t, int64_t> covered;
  for (size_t p = 0; p < truth.size(); ++p) {
    if (truth[p] == 0 || trueAtBorder.count(truth[p]) != 0) continue;
    area[truth[p]] += 1;
    if (found[p] != 0) covered[truth[p]] += 1;
  }
  EXPECT_GT(area.size(), 1500u);
  const auto missed = [&covered](const auto& entry) { return covered[entry.first] * 10 < entry.second * 3; };
  EXPECT_EQ(std::count_if(area.begin(), area.end(), missed), 0);
  std::set<uint32_t> foundAway;
  const std::set<uint32_t> foundAtBorder = borderLabels(found, kWidth, kHeight);
  for (const uint32_t id : found) {
    if (id != 0 && foundAtBorder.count(id) == 0) foundAway.insert(id);
  }
  const ResultTable cells = readResultTable((folder / "out" / "_cells.csv").string());
  std::set<uint32_t> ids;
  for (size_t k = 0; k < cells.rows.size(); ++k) ids.insert(static_cast<uint32_t>(cells.integer(k, "Id")));
  EXPECT_GT(ids.size(), 999u);
  EXPECT_EQ(ids, foundAway);
}

}  // namespace

}  // namespace focustrack
