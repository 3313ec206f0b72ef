#include "output/lineage.h"

#include <algorithm>
#include <span>

#include "frame/predicates.h"
#include "output/row_writer.h"
#include "output/unit_columns.h"

namespace focustrack {

namespace {

constexpr const char* kEventHeader[] = {"Index", "Frame", "Event", "From Ids", "From Sizes",
                                        "To Ids", "To Sizes"};

// One event row: the cells before (previous frame) and after (this frame),
// each list as space-separated track ids and sizes in the same order.
struct Event {
  const char* kind;
  std::string fromIds, fromSizes, toIds, toSizes;
  std::vector<int32_t> fromAreas, toAreas;  // the sizes as numbers, for the unit columns
};

void addCell(std::string& ids, std::string& sizes, std::vector<int32_t>& areas, const CellRecord& cell) {
  if (!ids.empty()) {
    ids += ' ';
    sizes += ' ';
  }
  ids += std::to_string(cell.trackId);
  sizes += std::to_string(cell.area);
  areas.push_back(cell.area);
}

// The run's link records come in frame order: this frame's are the tail.
std::span<const LinkRecord> frameLinks(const FrameBuffers& b) {
  size_t start = b.linkRecords.size();
  while (start > 0 && b.linkRecords[start - 1].frameOrdinal == b.frameOrdinal) --start;
  return std::span<const LinkRecord>(b.linkRecords).subspan(start);
}

// A link to a cell that lost all its pixels after linking is no link.
bool counts(const FrameBuffers& b, const LinkRecord& link) {
  return b.currentCells[link.currentNumber].area > 0 && b.previousCells[link.previousNumber].area > 0;
}

void countLinks(const FrameBuffers& b, std::span<const LinkRecord> links, Lineage& lineage) {
  lineage.childCount.assign(static_cast<size_t>(std::max(b.previousCellNumberEnd, 1)), 0);
  lineage.parentCount.assign(static_cast<size_t>(b.nextCellNumber), 0);
  for (const LinkRecord& link : links) {
    if (!counts(b, link)) continue;
    lineage.childCount[link.previousNumber] += 1;
    lineage.parentCount[link.currentNumber] += 1;
  }
}

bool writeEvent(const RunSettings& settings, const FrameBuffers& b, const Event& event, FILE* file) {
  RowWriter row(file);
  row.integer(b.frameOrdinal);
  row.integer(b.frame);
  row.text(event.kind);
  row.text(event.fromIds);
  row.text(event.fromSizes);
  row.text(event.toIds);
  row.text(event.toSizes);
  if (hasUnitColumns(settings)) writeEventUnits(settings, row, b.frame, event.fromAreas, event.toAreas);
  return row.end();
}

// Disappearances and divisions, in previous cell order; a division lists
// its children in link order (ascending cell number). Only the few cells
// that divide or fuse look through the frame's links.
bool writePreviousEvents(const RunSettings& settings, const FrameBuffers& b, std::span<const LinkRecord> links,
                         const Lineage& lineage, FILE* file) {
  bool written = true;
  for (int32_t prev = 1; prev < b.previousCellNumberEnd; ++prev) {
    const CellRecord& cell = b.previousCells[prev];
    const int32_t children = lineage.childCount[prev];
    if (cell.area == 0 || children == 1) continue;
    Event event{children == 0 ? "disappearance" : "division", {}, {}, {}, {}, {}, {}};
    addCell(event.fromIds, event.fromSizes, event.fromAreas, cell);
    for (const LinkRecord& link : children > 0 ? links : std::span<const LinkRecord>()) {
      if (link.previousNumber != prev || !counts(b, link)) continue;
      addCell(event.toIds, event.toSizes, event.toAreas, b.currentCells[link.currentNumber]);
    }
    written = writeEvent(settings, b, event, file) && written;
  }
  return written;
}

// Fusions and appearances, in current cell order; a fusion lists its
// parents in link order (ascending previous cell number).
bool writeCurrentEvents(const RunSettings& settings, const FrameBuffers& b, std::span<const LinkRecord> links,
                        const Lineage& lineage, FILE* file) {
  const bool firstFrame = b.previousCellNumberEnd == 0;
  bool written = true;
  for (int32_t cur = 1; cur < b.nextCellNumber; ++cur) {
    const CellRecord& cell = b.currentCells[cur];
    const int32_t parents = lineage.parentCount[cur];
    if (cell.area == 0 || parents == 1 || (parents == 0 && firstFrame)) continue;
    Event event{parents == 0 ? "appearance" : "fusion", {}, {}, {}, {}, {}, {}};
    for (const LinkRecord& link : parents > 0 ? links : std::span<const LinkRecord>()) {
      if (link.currentNumber != cur || !counts(b, link)) continue;
      addCell(event.fromIds, event.fromSizes, event.fromAreas, b.previousCells[link.previousNumber]);
    }
    addCell(event.toIds, event.toSizes, event.toAreas, cell);
    written = writeEvent(settings, b, event, file) && written;
  }
  return written;
}

// Every link that does not carry an id on joins two tracks.
void joinTracks(const FrameBuffers& b, std::span<const LinkRecord> links, Lineage& lineage) {
  for (const LinkRecord& link : links) {
    if (!counts(b, link)) continue;
    const int32_t parent = b.previousCells[link.previousNumber].trackId;
    const int32_t child = b.currentCells[link.currentNumber].trackId;
    if (parent == child) continue;
    lineage.tracks[parent].to.push_back(child);
    lineage.tracks[child].from.push_back(parent);
  }
}

void addRow(const RunSettings& settings, const FrameBuffers& b, const CellRecord& cell,
            TrackSummary& track) {
  if (track.rows == 0) {
    track.firstRowFrame = b.frame;
    track.startSize = cell.area;
  }
  const int64_t x = int64_t{b.frame} - track.firstRowFrame;
  const int64_t y = cell.area;
  track.rows += 1;
  track.endSize = cell.area;
  track.sumX += x;
  track.sumXX += x * x;
  track.sumY += y;
  track.sumXY += x * y;
  track.moveSum += cell.moveDistance;
  if (hasNucleus(settings, cell)) track.nucleusFrames += 1;
}

void addCells(const RunSettings& settings, const FrameBuffers& b, Lineage& lineage) {
  for (int32_t cur = 1; cur < b.nextCellNumber; ++cur) {
    const CellRecord& cell = b.currentCells[cur];
    if (cell.area == 0) continue;
    TrackSummary& track = lineage.tracks[cell.trackId];
    if (track.lastOrdinal == 0) track.firstFrame = b.frame;
    track.lastFrame = b.frame;
    track.lastOrdinal = b.frameOrdinal;
    if (cell.excluded != 0) {
      track.borderFrames += 1;
    } else {
      addRow(settings, b, cell, track);
    }
  }
}

}  // namespace

bool writeEventHeader(const RunSettings& settings, FILE* events) {
  RowWriter row(events);
  for (const char* name : kEventHeader) row.text(name);
  if (hasUnitColumns(settings)) writeEventUnitHeader(row);
  return row.end();
}

bool recordLineage(const RunSettings& settings, const FrameBuffers& b, Lineage& lineage,
                   FILE* events, const std::string& eventsPath, std::string* reason) {
  if (lineage.tracks.size() < static_cast<size_t>(b.nextTrackId)) {
    lineage.tracks.resize(static_cast<size_t>(b.nextTrackId));
  }
  const std::span<const LinkRecord> links = frameLinks(b);
  countLinks(b, links, lineage);
  bool written = writePreviousEvents(settings, b, links, lineage, events);
  written = writeCurrentEvents(settings, b, links, lineage, events) && written;
  joinTracks(b, links, lineage);
  addCells(settings, b, lineage);
  if (!written) *reason = "cannot write table '" + eventsPath + "'";
  return written;
}

}  // namespace focustrack
