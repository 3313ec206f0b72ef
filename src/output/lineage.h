// Tracks and events: what the links between frames say about each track id
// over the run. A track is the life of one track id: it begins when a cell
// gets a new id (in the first frame, or a cell without a predecessor, or
// after a division or fusion) and ends when no one-to-one link carries the
// id into the next frame. Tracks follow every cell that owns pixels, also
// while it touches the image border (such frames have no row in the cell
// table), so that parents and children stay connected; empty cells are no
// cells and are left out, with their links.
//
// Events of a frame, from the final links to the previous frame:
//   disappearance  a previous cell without a link into this frame
//   division       a previous cell linked to two or more cells of this frame
//   fusion         a cell linked to two or more previous cells
//   appearance     a cell without a link to a previous frame (not in the
//                  run's first frame, whose cells are where tracks start)
// The two kinds can meet: a cell that is one child of a division and also
// takes part in a fusion is listed in both.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

// What the run knows of one track id so far. Sizes and the growth sums come
// from the frames with a cell-table row only.
struct TrackSummary {
  int32_t firstFrame = 0;     // frame numbers, border frames included
  int32_t lastFrame = 0;
  int32_t lastOrdinal = 0;    // 0 while no cell has carried the id
  int32_t rows = 0;           // frames with a row in the cell table
  int32_t borderFrames = 0;   // frames touching the border, without a row
  int32_t nucleusFrames = 0;  // rows with Has Nuclei 1
  int32_t startSize = 0;      // Cell Size of the first and the last row
  int32_t endSize = 0;
  int32_t firstRowFrame = 0;  // frame of the first row; x of the growth fit counts from it
  int64_t sumX = 0;           // growth sums over the rows: x = frame - firstRowFrame,
  int64_t sumXX = 0;          // y = Cell Size, all exact integers
  int64_t sumY = 0;
  int64_t sumXY = 0;
  double moveSum = 0.0;       // sum of Move over the rows
  std::vector<int32_t> from;  // track ids it came from, in link order
  std::vector<int32_t> to;    // track ids that came from it
};

// The run-long record of tracks, indexed by track id (entry 0 unused), and
// the link counts of the frame being recorded.
struct Lineage {
  std::vector<TrackSummary> tracks;
  std::vector<int32_t> childCount;   // per previous cell number
  std::vector<int32_t> parentCount;  // per current cell number
};

// Writes the event table's header line, with the unit columns when the run
// knows a unit (unit_columns.h). False when the write fails.
bool writeEventHeader(const RunSettings& settings, FILE* events);

// Adds the frame just written to the cell table: its cells (read as the
// cell table reads them) and its final links. Writes the frame's event rows
// to `events`. Runs after the frame's tables and before the hand-over, while
// `previousCells` still holds the previous frame. False with a reason when
// an event row could not be written; the tracks are recorded all the same.
bool recordLineage(const RunSettings& settings, const FrameBuffers& buffers, Lineage& lineage,
                   FILE* events, const std::string& eventsPath, std::string* reason);

// Least-squares slope of Cell Size over the frame number of the track's
// rows; not a number with fewer than two rows.
double growthRate(const TrackSummary& track);

// Replaces the track table at `path` by one row per track id that a cell has
// carried, in id order: the table is written to `path`.tmp in the same
// folder and renamed over `path`, so a reader never sees half a table. The
// unit columns end every row when the run knows a unit.
bool writeTrackTable(const RunSettings& settings, const Lineage& lineage, const std::string& path,
                     std::string* reason);

}  // namespace focustrack
