// The output step of a frame. A valid cell is one that is not excluded (not
// empty, not touching the image border); a vacuole is a blob of the backward
// flood with a non-zero score whose interior flag survived the nucleus mask;
// a cell's movement is the distance between the centres of its bounding box
// and of its linked previous cell's box.
#include <cmath>
#include <cstdio>

#include "output/tables.h"

namespace {

// Circularity of a cell: area x 4 pi / perimeter^2, with 4 pi as this literal.
constexpr double kFourPi = 12.5663708;

// One table row; every field is followed by ", ", the last one too. A missing
// file writes nothing and fails at the end of the row.
class RowWriter {
 public:
  explicit RowWriter(FILE* file) : file_(file) {}

  void integer(int32_t value) {
    if (file_ != nullptr) std::fprintf(file_, "%d, ", value);
  }
  void real(double value) {
    if (file_ != nullptr) std::fprintf(file_, "%s, ", formatDouble(value).c_str());
  }
  void empty() {
    if (file_ != nullptr) std::fputs(", ", file_);
  }
  // Ends the row and hands it to the system; false when any part failed.
  bool end() {
    if (file_ == nullptr) return false;
    std::fputc('\n', file_);
    const bool flushed = std::fflush(file_) == 0;
    return flushed && !std::ferror(file_);
  }

 private:
  FILE* file_;
};

// Box centre coordinate, truncated toward zero.
int32_t boxCentre(int32_t low, int32_t high) {
  return static_cast<int32_t>(static_cast<double>(high) * 0.5 + static_cast<double>(low) * 0.5);
}

bool hasNucleus(const RunSettings& settings, const CellRecord& cell) {
  return cell.nucleusValue >= settings.nucleusThreshold;
}

double circularityOf(const CellRecord& cell) {
  const double perimeter = static_cast<double>(cell.perimeter);
  return static_cast<double>(cell.area) * kFourPi / perimeter / perimeter;
}

// Step 1: every surviving scored blob counts for the cell of its lowest pixel.
void attributeVacuoles(FrameBuffers& b) {
  const int32_t* cellMap = b.cellMap.data();
  for (int32_t blob = 1; blob <= b.blobCount; ++blob) {
    const BlobRecord& record = b.blobTable[blob];
    if (record.vacuoleScore == 0.0 || record.interior == 0) continue;
    const int32_t c = cellMap[record.seedPixel];
    if (c < 1) continue;  // blobs lie inside cells; kept as a guard only
    CellRecord& cell = b.currentCells[c];
    cell.vacuoleCount += 1;
    cell.vacuoleAreaSum += record.vacuoleArea;
    if (record.vacuoleArea > cell.vacuoleAreaMax) cell.vacuoleAreaMax = record.vacuoleArea;
  }
}

// Step 2.
void resetSummary(FrameSummary& summary, int32_t frame) {
  summary = FrameSummary{};
  summary.frameNumber = frame;
}

// Step 3: the frame's link records get their track id and the pixel indices
// of both box centres. Records come in creation order, so a cell with several
// links this frame keeps the distance of the last one.
void measureMovement(FrameBuffers& b, FrameSummary& summary) {
  for (LinkRecord& link : b.linkRecords) {
    if (link.frameOrdinal != b.frameOrdinal) continue;
    CellRecord& current = b.currentCells[link.currentCell];
    const CellRecord& previous = b.previousCells[link.previousCell];
    const int32_t cx = boxCentre(current.minX, current.maxX);
    const int32_t cy = boxCentre(current.minY, current.maxY);
    const int32_t px = boxCentre(previous.minX, previous.maxX);
    const int32_t py = boxCentre(previous.minY, previous.maxY);
    const int64_t dx = int64_t{px} - cx;
    const int64_t dy = int64_t{py} - cy;
    const double distance = std::sqrt(static_cast<double>(dx * dx + dy * dy));
    link.trackId = current.trackId;
    link.currentCell = cy * b.width + cx;
    link.previousCell = py * b.width + px;
    current.moveDistance = distance;
    summary.moveSum += distance;
    summary.moveCount += 1;
  }
}

// Step 4.1.
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

// Step 4.2. The nucleus columns show any measured nucleus, also one below the
// threshold; "Has Nuclei" alone applies the threshold.
bool writeCellRow(const RunSettings& settings, const FrameBuffers& b, const CellRecord& cell,
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
  return row.end();
}

// Step 5. The averages over all cells and the vacuole averages divide without
// a zero test: an empty frame shows "nan" there.
bool writeFrameRow(const FrameBuffers& b, const FrameSummary& s, FILE* file) {
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
  return row.end();
}

}  // namespace

bool writeFrameTables(const RunSettings& settings, FrameBuffers& b, TableFiles& tables,
                      std::string* reason) {
  if (b.frameOrdinal < 1 || static_cast<size_t>(b.frameOrdinal) >= b.frameSummaries.size()) {
    *reason = "frame ordinal " + std::to_string(b.frameOrdinal) + " outside the summary table";
    return false;
  }
  FrameSummary& summary = b.frameSummaries[b.frameOrdinal];
  attributeVacuoles(b);
  resetSummary(summary, b.frame);
  measureMovement(b, summary);

  // A failed table still lets the other one receive its rows.
  bool cellsWritten = true;
  for (int32_t c = 1; c < b.nextCellNumber; ++c) {
    const CellRecord& cell = b.currentCells[c];
    if (cell.excluded != 0) continue;
    const double circularity = circularityOf(cell);
    addToSummary(settings, cell, circularity, summary);
    if (!writeCellRow(settings, b, cell, circularity, tables.cells)) cellsWritten = false;
  }
  const bool averageWritten = writeFrameRow(b, summary, tables.average);
  if (!cellsWritten) {
    *reason = "cannot write table '" + tables.cellsPath + "'";
    return false;
  }
  if (!averageWritten) {
    *reason = "cannot write table '" + tables.averagePath + "'";
    return false;
  }
  return true;
}
