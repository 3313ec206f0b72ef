// The result tables: one row per valid cell per frame ("_cells.csv"), one
// row of averages per frame ("_average.csv"), one row per event between two
// frames ("_events.csv", lineage.h) and one row per track ("_tracks.csv",
// rewritten whole after every frame, lineage.h). Every field is followed by
// ", ", rows are flushed as they are written.
#pragma once

#include <cstdio>
#include <string>

#include "frame/frame_buffers.h"
#include "io/output_paths.h"
#include "output/row_writer.h"

namespace focustrack {

struct TableFiles {
  FILE* cells = nullptr;
  FILE* average = nullptr;
  FILE* events = nullptr;
  std::string cellsPath;
  std::string averagePath;
  std::string eventsPath;
  std::string tracksPath;  // never held open: replaced whole
};

// Creates the output folder (with its parents) when missing, then creates or
// empties the cell, frame and event tables. False with a reason naming the
// file on failure; a table that could be created stays open.
bool openTables(const RunSettings& settings, TableFiles& tables, std::string* reason);

// Writes the header lines of the open tables and the track table with its
// header line alone. False when a write fails.
bool writeTableHeaders(const RunSettings& settings, TableFiles& tables, std::string* reason);

// The output step of one frame: movement from the link records, one row per
// valid cell and the frame's summary row. Rows are flushed one by one. When a
// row cannot be written (a full disk) both tables are cut back to where the
// frame began, so that they end in the last complete frame's rows, and false
// is returned with a reason naming the file and the system's cause.
bool writeFrameTables(const RunSettings& settings, FrameBuffers& buffers, TableFiles& tables,
                      std::string* reason);

// Cuts an open table back to `offset` bytes, dropping whatever its stream
// still holds, and goes on writing there. False when that fails or the
// offset is unknown (negative).
bool truncateTable(FILE* file, long offset);

// Closes the per-cell table, then the per-frame table, then the event table.
void closeTables(TableFiles& tables);

}  // namespace focustrack
