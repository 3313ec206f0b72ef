#include "output/lineage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "support/output_fixture.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

// Frames of hand-made cells and final links, recorded one after another the
// way the frame loop does: tables first, then the lineage, then the hand-over.
class HandLineage {
 public:
  HandLineage() : f_(40, 40) {
    f_.settings.nucleusThreshold = 0.5;
    f_.b.previousCellNumberEnd = 0;
  }
  ~HandLineage() { std::fclose(events_); }

  // Starts frame `frame`; every frame after the first hands the last one over.
  void startFrame(int32_t frame) {
    if (started_) {
      handOverFrame(f_.b);
      f_.b.frameOrdinal += 1;
    }
    started_ = true;
    f_.b.frame = frame;
    f_.b.nextCellNumber = 1;
  }
  // A current cell; `border` marks it as touching the image edge.
  int32_t cell(int32_t trackId, int32_t area, bool border = false, double move = 0.0, double nucleus = 0.0) {
    const int32_t c = f_.addCell(trackId);
    f_.cell(c).area = area;
    f_.cell(c).excluded = border || area == 0 ? 1 : 0;
    f_.cell(c).moveDistance = move;
    f_.cell(c).nucleusValue = nucleus;
    f_.b.nextTrackId = std::max(f_.b.nextTrackId, trackId + 1);
    return c;
  }
  // A final link from previous cell `previous` to current cell `current`.
  void link(int32_t previous, int32_t current) { f_.addLink(f_.b.frameOrdinal, previous, current); }

  bool record(FILE* events, std::string* why) {
    return recordLineage(f_.settings, f_.b, lineage_, events, "events-table", why);
  }
  void record() {
    std::string why;
    ASSERT_TRUE(record(events_, &why)) << why;
  }
  std::string events() { return readAll(events_); }
  std::string tracks() {
    TempFolder folder;
    std::string why;
    EXPECT_TRUE(writeTrackTable(RunSettings{}, lineage_, folder.file("_tracks.csv"), &why)) << why;
    const std::string text = readFile(folder.file("_tracks.csv"));
    return text.substr(text.find('\n') + 1);  // the rows after the header
  }
  const Lineage& lineage() const { return lineage_; }

 private:
  HandFrame f_;
  Lineage lineage_;
  FILE* events_ = std::tmpfile();
  bool started_ = false;
};

// Previous cells 1..5 with ids 1..5: 1 goes on, 2 divides into 6 and 7, 3
// and 4 fuse into 8, 5 disappears, 9 appears. Events of previous cells come
// first, in their order, then those of the current cells.
TEST(Lineage, EventsAndTracksFollowTheFinalLinks) {
  HandLineage h;
  h.startFrame(10);
  for (int32_t id = 1; id <= 5; ++id) h.cell(id, 600 - 100 * id, false, 0.0, id == 1 ? 0.7 : 0.0);
  h.record();
  h.startFrame(11);
  const int32_t on = h.cell(1, 520, false, 3.0, 0.9);
  const int32_t left = h.cell(6, 250);
  const int32_t right = h.cell(7, 90);
  const int32_t fused = h.cell(8, 480);
  h.cell(9, 150);
  for (const auto& [previous, current] : {std::pair{1, on}, {2, left}, {2, right}, {3, fused}, {4, fused}}) {
    h.link(previous, current);
  }
  h.record();
  EXPECT_EQ(h.events(),
            "2, 11, division, 2, 400, 6 7, 250 90, \n"
            "2, 11, disappearance, 5, 100, , , \n"
            "2, 11, fusion, 3 4, 300 200, 8, 480, \n"
            "2, 11, appearance, , , 9, 150, \n");
  EXPECT_EQ(h.tracks(),
            "1, 10, 11, 2, , , 500, 520, 20, 1.5, 2, 0, 0, \n"
            "2, 10, 10, 1, , 6 7, 400, 400, , 0, 0, 0, 0, \n"
            "3, 10, 10, 1, , 8, 300, 300, , 0, 0, 0, 0, \n"
            "4, 10, 10, 1, , 8, 200, 200, , 0, 0, 0, 0, \n"
            "5, 10, 10, 1, , , 100, 100, , 0, 0, 0, 0, \n"
            "6, 11, 11, 1, 2, , 250, 250, , 0, 0, 0, 0, \n"
            "7, 11, 11, 1, 2, , 90, 90, , 0, 0, 0, 0, \n"
            "8, 11, 11, 1, 3 4, , 480, 480, , 0, 0, 0, 0, \n"
            "9, 11, 11, 1, , , 150, 150, , 0, 0, 0, 0, \n");
}

// The first frame's cells start tracks without events. A cell at the border
// keeps its track with no row; an empty cell is no cell: no track, and its
// link neither makes a division nor a disappearance. Events that cannot be
// written are reported, naming the table, and the tracks are kept.
TEST(Lineage, BorderFramesCountAndEmptyCellsAreLeftOut) {
  HandLineage h;
  h.startFrame(1);
  h.cell(1, 400, true);
  h.cell(2, 0);
  h.cell(3, 300);
  h.record();
  EXPECT_EQ(h.tracks(),
            "1, 1, 1, 0, , , , , , , 0, 1, 1, \n"
            "3, 1, 1, 1, , , 300, 300, , 0, 0, 0, 0, \n");
  h.startFrame(2);
  const int32_t inside = h.cell(1, 420);
  const int32_t child = h.cell(4, 310);
  const int32_t emptied = h.cell(5, 0);
  for (const auto& [previous, current] : {std::pair{1, inside}, {3, child}, {3, emptied}}) h.link(previous, current);
  h.record();
  EXPECT_EQ(h.events(), "");
  EXPECT_EQ(h.tracks(),
            "1, 1, 2, 1, , , 420, 420, , 0, 0, 1, 1, \n"
            "3, 1, 1, 1, , 4, 300, 300, , 0, 0, 0, 0, \n"
            "4, 2, 2, 1, 3, , 310, 310, , 0, 0, 0, 0, \n");
  h.startFrame(3);  // an appearance with nowhere to go
  h.cell(6, 100);
  std::string why;
  EXPECT_FALSE(h.record(nullptr, &why));
  EXPECT_NE(why.find("events-table"), std::string::npos) << why;
  EXPECT_EQ(h.lineage().tracks[6].rows, 1);
}

// Sizes near the int32 limit over many frames, whose sums of products pass
// 64 bits: the slope of an exact line stays exact.
TEST(Lineage, GrowthRateOfALineIsExactForLargeValues) {
  TrackSummary t;
  t.rows = 10000;
  for (int64_t x = 0; x < t.rows; ++x) {
    const int64_t y = 2000000000 + 7 * x;
    t.sumX += x;
    t.sumXX += x * x;
    t.sumY += y;
    t.sumXY += x * y;
  }
  EXPECT_EQ(growthRate(t), 7.0);
}

}  // namespace

}  // namespace focustrack
