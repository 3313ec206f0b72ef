// The rows of a frame. A valid cell is one that is not excluded (not empty,
// not touching the image border); it gets a row of the cell table and counts
// in the frame's averages.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frame/predicates.h"
#include "output/row_writer.h"
#include "output/tables.h"

namespace focustrack {

namespace {


void resetSummary(FrameSummary& summary, int32_t frame) {
  summary = FrameSummary{};
  summary.frameNumber = frame;
}

// The movement average runs over this frame's links in creation order.
void addMovement(const FrameBuffers& b, FrameSummary& summary) {
  for (const LinkRecord& link : b.linkRecords) {
    if (link.frameOrdinal != b.frameOrdinal) continue;
    summary.moveSum += link.distance;
    summary.moveCount += 1;
  }
}

void addToSummary(const RunSettings& settings, const CellRecord& cell, double circularity,
                  FrameSummary& s) {
  s.cellCount += 1;
  s.areaSum += cell.area;
  s.circularitySum += circularity;
  s.vacuoleTotal += cell.vacuoleCount;
  s.vacuoleAreaTotal += cell.vacuoleAreaSum;
  s.vacuoleMaxTotal += cell.vacuoleAreaMax;
  if (cell.vacuoleCount > 0) s.vacuoleCellCount += 1;
  if (!hasNucleus(settings, cell)) return;
  s.nucleusCellCount += 1;
  s.nucleusCellAreaSum += cell.area;
  s.nucleusCellCircularitySum += circularity;
  s.nucleusAreaSum += cell.nucleusArea;
  s.nucleusShareSum += cell.nucleusArea / cell.area;
  s.nucleoliAreaSum += cell.nucleoliArea;
  s.nucleoliShareSum += cell.nucleoliArea / cell.nucleusArea;
}

// The nucleus columns show any measured nucleus, also one below the
// threshold; "Has Nuclei" alone applies the threshold.
int writeCellRow(const RunSettings& settings, const FrameBuffers& b, const CellRecord& cell,
                 double circularity, FILE* file) {
  RowWriter row(file);
  row.integer(b.frameOrdinal);
  row.integer(b.frame);
  row.integer(cell.trackId);
  row.integer(hasNucleus(settings, cell) ? 1 : 0);
  row.integer(cell.area);
  row.real(circularity);
  row.real(cell.moveDistance);
  row.integer(cell.minX);
  row.integer(cell.minY);
  row.integer(cell.maxX);
  row.integer(cell.maxY);
  row.real(cell.aspect);
  if (cell.nucleusValue > 0) {
    row.real(cell.nucleusArea);
    row.real(cell.nucleusValue);
    row.real(cell.nucleusArea / cell.area);
    row.real(cell.nucleoliArea);
    row.real(cell.nucleoliArea / cell.nucleusArea);
  } else {
    for (int column = 0; column < 5; ++column) row.empty();
  }
  row.integer(cell.vacuoleCount);
  row.real(cell.vacuoleCount > 0 ? cell.vacuoleAreaSum / cell.vacuoleCount : 0.0);
  row.real(cell.vacuoleAreaMax);
  return row.end() ? 0 : row.error();
}

// The averages over all cells and the vacuole averages divide without
// a zero test: an empty frame shows "nan" there.
int writeFrameRow(const FrameBuffers& b, const FrameSummary& s, FILE* file) {
  const double cells = s.cellCount;
  const double nucleusCells = s.nucleusCellCount;
  RowWriter row(file);
  row.integer(b.frameOrdinal);
  row.integer(b.frame);
  row.integer(s.cellCount);
  row.real(s.areaSum / cells);
  row.real(s.circularitySum / cells);
  row.real(s.moveCount > 0 ? s.moveSum / s.moveCount : 0.0);
  row.integer(s.nucleusCellCount);
  if (s.nucleusCellCount > 0) {
    row.real(s.nucleusCellAreaSum / nucleusCells);
    row.real(s.nucleusCellCircularitySum / nucleusCells);
    row.real(s.nucleusAreaSum / nucleusCells);
    row.real(s.nucleusShareSum / nucleusCells);
    row.real(s.nucleoliAreaSum / nucleusCells);
    row.real(s.nucleoliShareSum / nucleusCells);
  } else {
    for (int column = 0; column < 6; ++column) row.empty();
  }
  row.real(static_cast<double>(s.vacuoleTotal) / cells);
  row.real(s.vacuoleAreaTotal / static_cast<double>(s.vacuoleTotal));
  row.real(s.vacuoleMaxTotal / static_cast<double>(s.vacuoleCellCount));
  return row.end() ? 0 : row.error();
}

}  // namespace

bool writeFrameTables(const RunSettings& settings, FrameBuffers& b, TableFiles& tables,
                      std::string* reason) {
  if (b.frameOrdinal < 1 || static_cast<size_t>(b.frameOrdinal) >= b.frameSummaries.size()) {
    *reason = "frame ordinal " + std::to_string(b.frameOrdinal) + " outside the summary table";
    return false;
  }
  FrameSummary& summary = b.frameSummaries[b.frameOrdinal];
  resetSummary(summary, b.frame);
  addMovement(b, summary);

  // A frame's rows are kept whole or not at all: a failed row takes the
  // rows of its frame out of both tables again.
  const long cellsStart = tables.cells != nullptr ? std::ftell(tables.cells) : -1;
  const long averageStart = tables.average != nullptr ? std::ftell(tables.average) : -1;
  int cellsError = 0;
  for (int32_t c = 1; c < b.nextCellNumber && cellsError == 0; ++c) {
    const CellRecord& cell = b.currentCells[c];
    if (cell.excluded != 0) continue;
    const double circularity = cellCircularity(cell);
    addToSummary(settings, cell, circularity, summary);
    cellsError = writeCellRow(settings, b, cell, circularity, tables.cells);
  }
  const int averageError = cellsError == 0 ? writeFrameRow(b, summary, tables.average) : 0;
  if (cellsError == 0 && averageError == 0) return true;
  const bool cellsFailed = cellsError != 0;
  const std::string& path = cellsFailed ? tables.cellsPath : tables.averagePath;
  *reason = "cannot write table '" + path + "': " + std::strerror(cellsFailed ? cellsError : averageError);
  const bool cellsBack = truncateTable(tables.cells, cellsStart);
  const bool averageBack = truncateTable(tables.average, averageStart);
  if (!cellsBack || !averageBack) *reason += "; its last row could not be removed";
  return false;
}

}  // namespace focustrack
