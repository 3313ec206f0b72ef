#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "output/output_fixture.h"
#include "output/tables.h"

namespace {

// Both tables as temporary files, read back after the frame.
struct CapturedTables {
  TableFiles files;
  CapturedTables() {
    files.cells = std::tmpfile();
    files.average = std::tmpfile();
    files.cellsPath = "cells-table";
    files.averagePath = "average-table";
  }
  ~CapturedTables() { closeTables(files); }
  std::string cells() { return readAll(files.cells); }
  std::string average() { return readAll(files.average); }
};

size_t separators(const std::string& row) {
  size_t count = 0;
  for (size_t at = row.find(", "); at != std::string::npos; at = row.find(", ", at + 2)) ++count;
  return count;
}

bool write(HandFrame& f, CapturedTables& t) {
  std::string why;
  const bool ok = writeFrameTables(f.settings, f.b, t.files, &why);
  EXPECT_TRUE(ok) << why;
  return ok;
}

// Two valid cells, one with a nucleus above the threshold and two vacuoles,
// one without any nucleus measure.
TEST(FrameTables, RowLayoutsOfBothTables) {
  HandFrame f(80, 40);
  f.settings.nucleusThreshold = 0.6;
  const int32_t a = f.addCell(7);
  f.paintRect(a, 10, 12, 29, 26);
  f.cell(a).area = 300;
  f.cell(a).perimeter = 70;
  f.cell(a).aspect = 1.5;
  f.cell(a).nucleusValue = 0.8;
  f.cell(a).nucleusArea = 60;
  f.cell(a).nucleoliArea = 15;
  const int32_t c = f.addCell(9);
  f.paintRect(c, 40, 5, 55, 22);
  f.cell(c).area = 250;
  f.cell(c).perimeter = 64;
  f.cell(c).aspect = 2.25;
  f.addBlob(15 * 80 + 15, 0.3, 1, 12.5);
  f.addBlob(20 * 80 + 20, 0.1, 1, 20.0);

  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  const std::string cells = t.cells();
  EXPECT_EQ(cells,
            "1, 1, 7, 1, 300, 0.76937, 0, 10, 12, 29, 26, 1.5, 60, 0.8, 0.2, 15, 0.25, 2, 16.25, 20, \n"
            "1, 1, 9, 0, 250, 0.76699, 0, 40, 5, 55, 22, 2.25, , , , , , 0, 0, 0, \n");
  const std::string average = t.average();
  EXPECT_EQ(average, "1, 1, 2, 275, 0.76818, 0, 1, 300, 0.76937, 60, 0.2, 15, 0.25, 1, 16.25, 20, \n");

  const std::string firstRow = cells.substr(0, cells.find('\n'));
  const std::string secondRow = cells.substr(cells.find('\n') + 1);
  EXPECT_EQ(separators(firstRow), 20u);
  EXPECT_EQ(separators(secondRow), 20u);
  EXPECT_EQ(separators(average), 16u);

  const FrameSummary& s = f.b.frameSummaries[1];
  EXPECT_EQ(s.frameNumber, 1);
  EXPECT_EQ(s.cellCount, 2);
  EXPECT_EQ(s.vacuoleTotal, 2);
  EXPECT_EQ(s.vacuoleCellCount, 1);
  EXPECT_EQ(s.moveCount, 0.0);
}

TEST(FrameTables, FirstColumnsAreOrdinalAndFrameNumber) {
  HandFrame f(40, 40);
  f.b.frame = 17;
  f.b.frameOrdinal = 3;
  const int32_t a = f.addCell(4);
  f.paintRect(a, 5, 5, 9, 9);
  f.cell(a).perimeter = 20;
  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  EXPECT_EQ(t.cells().substr(0, 10), "3, 17, 4, ");
  EXPECT_EQ(t.average().substr(0, 7), "3, 17, ");
  EXPECT_EQ(f.b.frameSummaries[3].frameNumber, 17);
}

// Only cells that are not excluded count; with none, the averages divide
// zero by zero, and the nucleus averages are six empty fields.
TEST(FrameTables, FrameWithoutValidCellsWritesNan) {
  HandFrame f(40, 40);
  const int32_t a = f.addCell(1);
  f.paintRect(a, 0, 0, 9, 9);
  f.cell(a).perimeter = 20;
  f.cell(a).excluded = 1;
  f.addCell(2);  // emptied: area 0, excluded
  f.cell(2).excluded = 1;
  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  EXPECT_EQ(t.cells(), "");
  EXPECT_EQ(t.average(), "1, 1, 0, nan, nan, 0, 0, , , , , , , nan, nan, nan, \n");
}

TEST(FrameTables, FrameWithoutAnyCellRecord) {
  HandFrame f(40, 40);
  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  EXPECT_EQ(t.cells(), "");
  EXPECT_EQ(t.average(), "1, 1, 0, nan, nan, 0, 0, , , , , , , nan, nan, nan, \n");
}

// Frame 2: a valid cell moved by 3, an excluded cell by sqrt(5). The excluded
// cell has no row but its link counts in the per-frame Move.
TEST(FrameTables, ExcludedCellLinkCountsInMove) {
  const int32_t width = 64;
  HandFrame f(width, 48);
  f.b.frame = 2;
  f.b.frameOrdinal = 2;
  f.b.previousCells[1] = CellRecord{};
  f.b.previousCells[1].minX = 10;
  f.b.previousCells[1].minY = 10;
  f.b.previousCells[1].maxX = 20;
  f.b.previousCells[1].maxY = 20;  // centre (15, 15)
  f.b.previousCells[2] = CellRecord{};
  f.b.previousCells[2].minX = 0;
  f.b.previousCells[2].minY = 30;
  f.b.previousCells[2].maxX = 10;
  f.b.previousCells[2].maxY = 40;  // centre (5, 35)
  const int32_t a = f.addCell(11);
  f.paintRect(a, 13, 11, 24, 20);  // centre (18.5, 15.5) truncated to (18, 15)
  f.cell(a).perimeter = 44;
  const int32_t e = f.addCell(12);
  f.paintRect(e, 0, 34, 9, 40);  // centre (4.5, 37) truncated to (4, 37)
  f.cell(e).perimeter = 30;
  f.cell(e).excluded = 1;
  f.addLink(1, 5, 6);  // an earlier frame's record stays as it is
  f.addLink(2, 1, a);
  f.addLink(2, 2, e);

  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  const std::string cells = t.cells();
  EXPECT_EQ(cells, "2, 2, 11, 0, 120, 0.778907, 3, 13, 11, 24, 20, 0, , , , , , 0, 0, 0, \n");
  EXPECT_EQ(t.average(), "2, 2, 1, 120, 0.778907, 2.61803, 0, , , , , , , 0, nan, nan, \n");

  EXPECT_DOUBLE_EQ(f.cell(a).moveDistance, 3.0);
  EXPECT_EQ(f.cell(e).moveDistance, std::sqrt(5.0));
  const LinkRecord& old = f.b.linkRecords[0];
  EXPECT_EQ(old.trackId, 0);
  EXPECT_EQ(old.previousCell, 5);
  EXPECT_EQ(old.currentCell, 6);
  const LinkRecord& moved = f.b.linkRecords[1];
  EXPECT_EQ(moved.trackId, 11);
  EXPECT_EQ(moved.previousCell, 15 * width + 15);
  EXPECT_EQ(moved.currentCell, 15 * width + 18);
  const LinkRecord& border = f.b.linkRecords[2];
  EXPECT_EQ(border.trackId, 12);
  EXPECT_EQ(border.previousCell, 35 * width + 5);
  EXPECT_EQ(border.currentCell, 37 * width + 4);
  EXPECT_EQ(f.b.frameSummaries[2].moveCount, 2.0);
}

// A fusion: one current cell linked to two previous cells. Both links count;
// the row shows the distance of the later record.
TEST(FrameTables, FusionCountsBothLinksAndShowsTheLater) {
  HandFrame f(64, 48);
  f.b.frame = 5;
  f.b.frameOrdinal = 2;
  f.b.previousCells[1] = CellRecord{};
  f.b.previousCells[1].minX = 20;
  f.b.previousCells[1].minY = 20;
  f.b.previousCells[1].maxX = 24;
  f.b.previousCells[1].maxY = 24;  // centre (22, 22): distance sqrt(13)
  f.b.previousCells[2] = CellRecord{};
  f.b.previousCells[2].minX = 22;
  f.b.previousCells[2].minY = 20;
  f.b.previousCells[2].maxX = 28;
  f.b.previousCells[2].maxY = 22;  // centre (25, 21): distance sqrt(5)
  const int32_t a = f.addCell(30);
  f.paintRect(a, 20, 16, 28, 22);  // centre (24, 19)
  f.cell(a).perimeter = 32;
  f.addLink(2, 1, a);
  f.addLink(2, 2, a);
  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  EXPECT_EQ(f.cell(a).moveDistance, std::sqrt(5.0));
  EXPECT_EQ(t.cells(), "2, 5, 30, 0, 63, 0.773126, 2.23607, 20, 16, 28, 22, 0, , , , , , 0, 0, 0, \n");
  EXPECT_EQ(t.average(), "2, 5, 1, 63, 0.773126, 2.92081, 0, , , , , , , 0, nan, nan, \n");
  EXPECT_EQ(f.b.frameSummaries[2].moveCount, 2.0);
  EXPECT_EQ(f.b.frameSummaries[2].moveSum, std::sqrt(13.0) + std::sqrt(5.0));
}

// A blob is a vacuole of the cell under its lowest pixel when its score is
// not 0 and its interior flag is set; blobs above blobCount are never read.
TEST(FrameTables, VacuoleAttribution) {
  const int32_t width = 60;
  HandFrame f(width, 30);
  const int32_t a = f.addCell(1);
  f.paintRect(a, 2, 2, 20, 20);
  f.cell(a).perimeter = 76;
  const int32_t c = f.addCell(2);
  f.paintRect(c, 30, 2, 50, 20);
  f.cell(c).perimeter = 84;
  f.addBlob(5 * width + 5, 0.4, 1, 10.0);    // cell a
  f.addBlob(6 * width + 6, 0.0, 1, 500.0);   // no score
  f.addBlob(7 * width + 7, 0.9, 0, 600.0);   // inside a nucleus or touching
  f.addBlob(8 * width + 35, 2.0, 1, 30.0);   // cell c
  f.addBlob(9 * width + 36, 1.0, 1, 6.0);    // cell c, smaller
  f.addBlob(10 * width + 8, 1.0, 1, 700.0);  // cell a, but beyond blobCount
  f.b.blobCount -= 1;
  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  EXPECT_EQ(f.cell(a).vacuoleCount, 1);
  EXPECT_EQ(f.cell(a).vacuoleAreaSum, 10.0);
  EXPECT_EQ(f.cell(a).vacuoleAreaMax, 10.0);
  EXPECT_EQ(f.cell(c).vacuoleCount, 2);
  EXPECT_EQ(f.cell(c).vacuoleAreaSum, 36.0);
  EXPECT_EQ(f.cell(c).vacuoleAreaMax, 30.0);
  const std::string cells = t.cells();
  EXPECT_NE(cells.find(", , , , , , 1, 10, 10, \n"), std::string::npos) << cells;
  EXPECT_NE(cells.find(", , , , , , 2, 18, 30, \n"), std::string::npos) << cells;
  const std::string average = t.average();
  // 3 vacuoles over 2 cells; 46 over 3 vacuoles; (10 + 30) over 2 cells.
  EXPECT_TRUE(average.ends_with(", , 1.5, 15.3333, 20, \n")) << average;
}

// A nucleus measured below the threshold shows its columns with Has Nuclei
// 0; a score of exactly the threshold counts as a nucleus; no score, or a
// negative one, leaves the five columns empty.
TEST(FrameTables, NucleusColumnsAndThreshold) {
  HandFrame f(60, 30);
  f.settings.nucleusThreshold = 0.6;
  const int32_t below = f.addCell(1);
  f.paintRect(below, 2, 2, 11, 11);
  f.cell(below).perimeter = 40;
  f.cell(below).nucleusValue = 0.3;
  f.cell(below).nucleusArea = 20;
  f.cell(below).nucleoliArea = 5;
  const int32_t at = f.addCell(2);
  f.paintRect(at, 20, 2, 29, 11);
  f.cell(at).perimeter = 40;
  f.cell(at).nucleusValue = 0.6;
  f.cell(at).nucleusArea = 50;
  f.cell(at).nucleoliArea = 0;
  const int32_t negative = f.addCell(3);
  f.paintRect(negative, 40, 2, 49, 11);
  f.cell(negative).perimeter = 40;
  f.cell(negative).nucleusValue = -0.5;
  f.cell(negative).nucleusArea = 9;
  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  EXPECT_EQ(t.cells(),
            "1, 1, 1, 0, 100, 0.785398, 0, 2, 2, 11, 11, 0, 20, 0.3, 0.2, 5, 0.25, 0, 0, 0, \n"
            "1, 1, 2, 1, 100, 0.785398, 0, 20, 2, 29, 11, 0, 50, 0.6, 0.5, 0, 0, 0, 0, 0, \n"
            "1, 1, 3, 0, 100, 0.785398, 0, 40, 2, 49, 11, 0, , , , , , 0, 0, 0, \n");
  EXPECT_EQ(t.average(),
            "1, 1, 3, 100, 0.785398, 0, 1, 100, 0.785398, 50, 0.5, 0, 0, 0, nan, nan, \n");
}

TEST(FrameTables, NoNucleusCellGivesSixEmptyAverages) {
  HandFrame f(30, 30);
  f.settings.nucleusThreshold = 0.6;
  const int32_t below = f.addCell(1);
  f.paintRect(below, 2, 2, 11, 11);
  f.cell(below).perimeter = 40;
  f.cell(below).nucleusValue = 0.59;
  f.cell(below).nucleusArea = 20;
  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  EXPECT_EQ(t.average(), "1, 1, 1, 100, 0.785398, 0, 0, , , , , , , 0, nan, nan, \n");
  EXPECT_EQ(separators(t.average()), 16u);
}

// A table that fails to take its row is reported; the other still gets its row.
TEST(FrameTables, FailedWriteIsReported) {
  FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  HandFrame f(30, 30);
  const int32_t a = f.addCell(1);
  f.paintRect(a, 2, 2, 11, 11);
  f.cell(a).perimeter = 40;
  CapturedTables t;
  std::fclose(t.files.cells);
  t.files.cells = full;
  std::string why;
  EXPECT_FALSE(writeFrameTables(f.settings, f.b, t.files, &why));
  EXPECT_NE(why.find("cells-table"), std::string::npos) << why;
  EXPECT_EQ(separators(t.average()), 16u);
}

TEST(FrameTables, FailedAverageWriteIsReported) {
  FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  HandFrame f(30, 30);
  CapturedTables t;
  std::fclose(t.files.average);
  t.files.average = full;
  std::string why;
  EXPECT_FALSE(writeFrameTables(f.settings, f.b, t.files, &why));
  EXPECT_NE(why.find("average-table"), std::string::npos) << why;
}

TEST(FormatDouble, StreamDefaultsAndNonFiniteValues) {
  const double zero = 0.0;
  EXPECT_EQ(formatDouble(0.5), "0.5");
  EXPECT_EQ(formatDouble(0.0), "0");
  EXPECT_EQ(formatDouble(1234567.0), "1.23457e+06");
  EXPECT_EQ(formatDouble(123456.0), "123456");
  EXPECT_EQ(formatDouble(0.0001), "0.0001");
  EXPECT_EQ(formatDouble(0.00001), "1e-05");
  EXPECT_EQ(formatDouble(zero / zero), "nan");
  EXPECT_EQ(formatDouble(-(zero / zero)), "nan");
  EXPECT_EQ(formatDouble(1.0 / zero), "inf");
  EXPECT_EQ(formatDouble(-1.0 / zero), "-inf");
}

}  // namespace
