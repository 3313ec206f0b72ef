// Events of whole runs, checked against the run's track table (first and
// last frames, joins); on a synthetic recording with budding the divisions
// are also compared with the truth's buds. The tables themselves are pinned
// byte for byte by the reference runs of end_to_end_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/label_image.h"
#include "support/result_table.h"
#include "support/run_capture.h"
#include "synth/synth.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

const fs::path kSharedData = FOCUSTRACK_SHARED_DATA;

// The run's outputs, read back; masks by frame ordinal from 0.
struct RunOutput {
  ResultTable tracks, events;
  std::vector<LabelImage> masks;
  int firstFrame = 1;

  int lastFrame() const { return firstFrame + static_cast<int>(masks.size()) - 1; }
};

RunOutput readOutput(const fs::path& out, int firstFrame) {
  RunOutput r;
  r.tracks = readResultTable(out / "_tracks.csv");
  r.events = readResultTable(out / "_events.csv");
  r.firstFrame = firstFrame;
  for (int ordinal = 1;; ++ordinal) {
    char name[32];
    std::snprintf(name, sizeof name, "masks_%04d.tif", ordinal);
    if (!fs::exists(out / name)) break;
    r.masks.push_back(readLabelImage((out / name).string()));
  }
  return r;
}

// Every event fits the tracks it names, and every parent-child pair and
// every start and end of a track inside the run has its event.
void expectEventsAgreeWithTracks(const RunOutput& r) {
  std::map<long, size_t> trackRow;
  for (size_t k = 0; k < r.tracks.rows.size(); ++k) trackRow[r.tracks.integer(k, "Id")] = k;
  auto first = [&](long id) { return r.tracks.integer(trackRow.at(id), "First Frame"); };
  auto last = [&](long id) { return r.tracks.integer(trackRow.at(id), "Last Frame"); };
  std::set<std::pair<long, long>> joins;
  std::map<long, int> appearances, disappearances;
  for (size_t k = 0; k < r.events.rows.size(); ++k) {
    const std::string kind = r.events.text(k, "Event");
    const long frame = r.events.integer(k, "Frame");
    const std::vector<long> from = r.events.ids(k, "From Ids"), to = r.events.ids(k, "To Ids");
    SCOPED_TRACE(kind + " in frame " + std::to_string(frame));
    for (const long id : from) ASSERT_EQ(last(id), frame - 1) << id;
    for (const long id : to) ASSERT_EQ(first(id), frame) << id;
    if (kind == "appearance" || kind == "disappearance") {
      EXPECT_EQ(from.size() + to.size(), 1u);
      (kind == "appearance" ? appearances[to.empty() ? 0 : to[0]] : disappearances[from.empty() ? 0 : from[0]]) += 1;
      continue;
    }
    ASSERT_TRUE(kind == "division" || kind == "fusion") << kind;
    EXPECT_EQ(kind == "division" ? from.size() : to.size(), 1u);
    EXPECT_GE(kind == "division" ? to.size() : from.size(), 2u);
    for (const long parent : from) {
      for (const long child : to) joins.insert({parent, child});
    }
  }
  for (size_t k = 0; k < r.tracks.rows.size(); ++k) {
    const long id = r.tracks.integer(k, "Id");
    const std::vector<long> from = r.tracks.ids(k, "From"), to = r.tracks.ids(k, "To");
    for (const long parent : from) EXPECT_EQ(joins.count({parent, id}), 1u) << parent << " -> " << id;
    for (const long child : to) EXPECT_EQ(joins.count({id, child}), 1u) << id << " -> " << child;
    const bool startsInside = first(id) > r.firstFrame, endsInside = last(id) < r.lastFrame();
    EXPECT_EQ(appearances[id], startsInside && from.empty() ? 1 : 0) << "track " << id;
    EXPECT_EQ(disappearances[id], endsInside && to.empty() ? 1 : 0) << "track " << id;
  }
  size_t listedJoins = 0;
  for (size_t k = 0; k < r.tracks.rows.size(); ++k) listedJoins += r.tracks.ids(k, "From").size();
  EXPECT_EQ(listedJoins, joins.size());
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
    char name[32];
    std::snprintf(name, sizeof name, "truth_%04d.tif", r.firstFrame + static_cast<int>(k));
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

// Runs with masks into `out` and checks its events against the tracks.
RunOutput runAndCheck(std::vector<std::string> words, const fs::path& out, size_t frames) {
  words.insert(words.end(), {"-c", std::to_string(frames), "-o", out.string(), "--masks"});
  const RunResult run = runFocustrack(words);
  EXPECT_EQ(run.status, 0) << run.err;
  const RunOutput r = readOutput(out, 1);
  EXPECT_EQ(r.masks.size(), frames);
  EXPECT_FALSE(r.events.rows.empty());
  if (r.masks.size() == frames) expectEventsAgreeWithTracks(r);
  return r;
}

}  // namespace

TEST(LineageOfRuns, RealRecordingTraps234) {
  if (!fs::exists(kSharedData / "traps-234")) GTEST_SKIP() << "no shared data";
  runAndCheck({"-w", "234", "-h", "234", "-sc", "5", "-p", (kSharedData / "traps-234" / "t%0_z%1.tif").string()},
              freshFolder("lineage_traps234"), 4);
}


// 20 frames of budding cells, moving and growing. The analysis mostly sees a
// bud and its mother as one cell, so most buds divide from their mother
// nowhere; in this recording one bud born in frame 15 does, and a bud of the
// first frame divides, fuses back and divides again. No division may lack a
// bud behind it.
TEST(LineageOfRuns, SyntheticRecordingWithBuddingAgainstTruth) {
  const fs::path folder = freshFolder("lineage_synthetic");
  SynthOptions options;
  options.width = 320;
  options.height = 240;
  options.sliceCount = 16;
  options.frameCount = 20;
  options.seed = 4;
  options.pathPattern = (folder / "slices" / "t%0_z%1.tif").string();
  options.truthFolder = (folder / "truth").string();
  std::string why;
  ASSERT_TRUE(generateRecording(options, &why)) << why;
  const RunOutput r = runAndCheck({"-w", "320", "-h", "240", "-sc", "16", "-p", options.pathPattern},
                                  folder / "out", 20);
  ASSERT_EQ(r.masks.size(), 20u);
  const DivisionFigures d = compareDivisions(r, options.truthFolder);
  EXPECT_GT(d.bornFound, 0);
  EXPECT_EQ(d.invented, 0);
}

}  // namespace focustrack
