#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <string>
#include <utility>

#include "cells/cells.h"
#include "contents/contents.h"
#include "output/tables.h"
#include "support/output_fixture.h"

namespace focustrack {

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

// The frame's last analysis steps (vacuoles to cells, movement), then its rows.
bool write(HandFrame& f, CapturedTables& t) {
  attributeVacuoles(f.b);
  measureMovement(f.b);
  std::string why;
  const bool ok = writeFrameTables(f.settings, f.b, t.files, &why);
  EXPECT_TRUE(ok) << why;
  return ok;
}

// A current cell painted as the rectangle, with the given perimeter.
int32_t addRect(HandFrame& f, int32_t trackId, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t perimeter) {
  const int32_t c = f.addCell(trackId);
  f.paintRect(c, x0, y0, x1, y1);
  f.cell(c).perimeter = perimeter;
  return c;
}

// (The layout of a row with every column filled is pinned by the reference
// runs' tables in tests/e2e/reference.)

// Only cells that are not excluded count; with none, the averages divide
// zero by zero, and the nucleus averages are six empty fields.
TEST(FrameTables, FrameWithoutValidCellsWritesNan) {
  HandFrame f(40, 40);
  f.cell(addRect(f, 1, 0, 0, 9, 9, 20)).excluded = 1;
  f.cell(f.addCell(2)).excluded = 1;  // emptied: area 0, excluded
  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  EXPECT_EQ(t.cells(), "");
  EXPECT_EQ(t.average(), "1, 1, 0, nan, nan, 0, 0, , , , , , , nan, nan, nan, \n");
}

// A blob is a vacuole of the cell under its lowest pixel when its score is
// not 0 and its interior flag is set; blobs above blobCount are never read.
TEST(FrameTables, VacuoleAttribution) {
  const int32_t width = 60;
  HandFrame f(width, 30);
  addRect(f, 1, 2, 2, 20, 20, 76);   // cell a
  addRect(f, 2, 30, 2, 50, 20, 84);  // cell c
  f.addBlob(5 * width + 5, 0.4, 1, 10.0);    // cell a
  f.addBlob(6 * width + 6, 0.0, 1, 500.0);   // no score
  f.addBlob(7 * width + 7, 0.9, 0, 600.0);   // inside a nucleus or touching
  f.addBlob(8 * width + 35, 2.0, 1, 30.0);   // cell c
  f.addBlob(9 * width + 36, 1.0, 1, 6.0);    // cell c, smaller
  f.addBlob(10 * width + 8, 1.0, 1, 700.0);  // cell a, but beyond blobCount
  f.b.blobCount -= 1;
  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  // Count, mean area and largest area of each cell's vacuoles.
  const std::string cells = t.cells();
  EXPECT_NE(cells.find(", , , , , , 1, 10, 10, \n"), std::string::npos) << cells;
  EXPECT_NE(cells.find(", , , , , , 2, 18, 30, \n"), std::string::npos) << cells;
  // 3 vacuoles over 2 cells; 46 over 3 vacuoles; (10 + 30) over 2 cells.
  EXPECT_TRUE(t.average().ends_with(", , 1.5, 15.3333, 20, \n")) << t.average();
}

// A nucleus measured below the threshold shows its columns with Has Nuclei
// 0; a score of exactly the threshold counts as a nucleus; no score, or a
// negative one, leaves the five columns empty.
TEST(FrameTables, NucleusColumnsAndThreshold) {
  HandFrame f(60, 30);
  f.settings.nucleusThreshold = 0.6;
  const double values[] = {0.3, 0.6, -0.5};
  const int32_t areas[] = {20, 50, 9};
  const int32_t nucleoli[] = {5, 0, 0};
  for (int32_t k = 0; k < 3; ++k) {
    const int32_t x0 = k == 0 ? 2 : 20 * k;
    const int32_t c = addRect(f, k + 1, x0, 2, x0 + 9, 11, 40);
    f.cell(c).nucleusValue = values[k];
    f.cell(c).nucleusArea = areas[k];
    f.cell(c).nucleoliArea = nucleoli[k];
  }
  CapturedTables t;
  ASSERT_TRUE(write(f, t));
  EXPECT_EQ(t.cells(),
            "1, 1, 1, 0, 100, 0.785398, 0, 2, 2, 11, 11, 0, 20, 0.3, 0.2, 5, 0.25, 0, 0, 0, \n"
            "1, 1, 2, 1, 100, 0.785398, 0, 20, 2, 29, 11, 0, 50, 0.6, 0.5, 0, 0, 0, 0, 0, \n"
            "1, 1, 3, 0, 100, 0.785398, 0, 40, 2, 49, 11, 0, , , , , , 0, 0, 0, \n");
  EXPECT_EQ(t.average(), "1, 1, 3, 100, 0.785398, 0, 1, 100, 0.785398, 50, 0.5, 0, 0, 0, nan, nan, \n");
}

// A table that fails to take its row is reported by its path and the
// system's reason; the other table gives its row of the frame back. (A run
// that meets a full disk keeps only whole frames in both tables:
// Process.FullFileSystemLeavesOnlyCompleteFrames.)
TEST(FrameTables, FailedWriteIsReported) {
  for (const bool cellsFail : {true, false}) {
    FILE* full = std::fopen("/dev/full", "w");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    HandFrame f(30, 30);
    addRect(f, 1, 2, 2, 11, 11, 40);
    CapturedTables t;
    FILE*& failing = cellsFail ? t.files.cells : t.files.average;
    std::fclose(failing);
    failing = full;
    std::string why;
    EXPECT_FALSE(writeFrameTables(f.settings, f.b, t.files, &why));
    const std::string path = cellsFail ? "cells-table" : "average-table";
    EXPECT_TRUE(why.starts_with("cannot write table '" + path + "': " + std::strerror(ENOSPC))) << why;
    // A device cannot be cut back; the temporary file can.
    EXPECT_TRUE(why.ends_with("; its last row could not be removed")) << why;
    EXPECT_EQ(cellsFail ? t.average() : t.cells(), "") << cellsFail;
  }
}

TEST(FormatDouble, StreamDefaultsAndNonFiniteValues) {
  const double zero = 0.0;
  const std::pair<double, const char*> cases[] = {
      {0.5, "0.5"},          {0.0, "0"},     {1234567.0, "1.23457e+06"}, {123456.0, "123456"},
      {0.0001, "0.0001"},    {0.00001, "1e-05"}, {zero / zero, "nan"},   {-(zero / zero), "nan"},
      {1.0 / zero, "inf"},   {-1.0 / zero, "-inf"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(formatDouble(value), text);
}

}  // namespace

}  // namespace focustrack
