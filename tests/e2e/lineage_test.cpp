// Divisions of a whole run on a synthetic recording with budding, compared
// with the truth's buds. The event rules are pinned by
// tests/output/lineage_test.cpp, the tables of real recordings byte for byte
// by the reference runs of end_to_end_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/padded_number.h"
#include "support/label_image.h"
#include "support/recording.h"
#include "support/result_table.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

// The run's events and masks, read back; masks by frame ordinal from 0.
struct RunOutput {
  ResultTable events;
  std::vector<LabelImage> masks;
  int firstFrame = 1;
};

RunOutput readOutput(const fs::path& out) {
  RunOutput r;
  r.events = readResultTable(out / "_events.csv");
  for (int ordinal = 1;; ++ordinal) {
    const fs::path mask = out / ("masks_" + paddedNumber(ordinal, 4) + ".tif");
    if (!fs::exists(mask)) break;
    r.masks.push_back(readLabelImage(mask.string()));
  }
  return r;
}

// Per found id of a frame, the truth id under most of its pixels (0 when
// that is background).
std::map<long, long> truthOfFound(const LabelImage& found, const LabelImage& truth) {
  std::map<long, std::map<long, long>> overlap;
  for (size_t p = 0; p < found.samples.size() && p < truth.samples.size(); ++p) {
    if (found.samples[p] != 0) overlap[found.samples[p]][truth.samples[p]] += 1;
  }
  std::map<long, long> best;
  for (const auto& [id, counts] : overlap) {
    long most = -1;
    for (const auto& [t, pixels] : counts) {
      if (pixels > most) best[id] = t, most = pixels;
    }
  }
  return best;
}

// A bud of the truth and its mother; `frame` is the first frame it shows in.
struct Bud {
  long frame = 0, parent = 0, bud = 0;
  bool matched = false;
};

std::vector<Bud> budsOf(const fs::path& truthTable, long* firstFrame) {
  std::ifstream in(truthTable);
  std::string line;
  std::getline(in, line);  // frame,track_id,parent_id,...
  std::map<long, Bud> firstSeen;
  *firstFrame = -1;
  while (std::getline(in, line)) {
    long frame = 0, id = 0, parent = 0;
    if (std::sscanf(line.c_str(), "%ld,%ld,%ld", &frame, &id, &parent) != 3) continue;
    if (*firstFrame < 0) *firstFrame = frame;
    if (!firstSeen.count(id)) firstSeen[id] = Bud{frame, parent, id};
  }
  std::vector<Bud> buds;
  for (const auto& [id, bud] : firstSeen) {
    if (bud.parent > 0) buds.push_back(bud);
  }
  return buds;
}

// Buds born during the recording that a division found, and divisions
// that found no bud.
struct DivisionFigures {
  int bornFound = 0, invented = 0;
};

// A division of the events table finds a bud when one of its children lies
// mostly on the bud and the parent or another child mostly on the mother,
// in the bud's first frame or later. A bud found before (divided, fused
// again, divided again) counts the division as repeated; a division that
// finds no bud is invented.
DivisionFigures compareDivisions(const RunOutput& r, const fs::path& truthFolder) {
  std::vector<std::map<long, long>> truthOf;
  for (size_t k = 0; k < r.masks.size(); ++k) {
    const std::string name = "truth_" + paddedNumber(r.firstFrame + static_cast<int>(k), 4) + ".tif";
    truthOf.push_back(truthOfFound(r.masks[k], readLabelImage((truthFolder / name).string())));
  }
  long firstFrame = 0;
  std::vector<Bud> buds = budsOf(truthFolder / "truth.csv", &firstFrame);
  DivisionFigures d;
  for (size_t k = 0; k < r.events.rows.size(); ++k) {
    if (r.events.text(k, "Event") != "division") continue;
    const long frame = r.events.integer(k, "Frame");
    const long mother = truthOf[frame - 1 - r.firstFrame][r.events.ids(k, "From Ids")[0]];
    std::set<long> children;
    for (const long id : r.events.ids(k, "To Ids")) children.insert(truthOf[frame - r.firstFrame][id]);
    Bud* seen = nullptr;
    for (Bud& b : buds) {
      if (b.frame > frame || !children.count(b.bud)) continue;
      if (mother != b.parent && !children.count(b.parent)) continue;
      if (seen == nullptr || (seen->matched && !b.matched)) seen = &b;
    }
    if (seen == nullptr) {
      d.invented += 1;
    } else if (!seen->matched) {
      seen->matched = true;
      if (seen->frame > firstFrame) d.bornFound += 1;
    }
  }
  return d;
}

}  // namespace

// 20 frames of budding cells, moving and growing. The analysis mostly sees a
// bud and its mother as one cell, so most buds divide from their mother
// nowhere; in this recording one bud born in frame 15 does, and a bud of the
// first frame divides, fuses back and divides again. No division may lack a
// bud behind it.
TEST(LineageOfRuns, SyntheticRecordingWithBuddingAgainstTruth) {
  const fs::path folder = freshFolder("lineage_synthetic");
  SynthOptions options = synthOptions(folder / "slices" / "t%0_z%1.tif", 320, 240, 16, 20, 4);
  options.truthFolder = (folder / "truth").string();
  std::vector<std::string> words = generated(options);
  words.insert(words.end(), {"-o", (folder / "out").string(), "--masks"});
  const RunResult run = runFocustrack(words);
  ASSERT_EQ(run.status, 0) << run.err;
  const RunOutput r = readOutput(folder / "out");
  ASSERT_EQ(r.masks.size(), 20u);
  const DivisionFigures d = compareDivisions(r, options.truthFolder);
  EXPECT_GT(d.bornFound, 0);
  EXPECT_EQ(d.invented, 0);
}

}  // namespace focustrack
