// The track table: one row per track id, replaced whole after every frame.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "output/lineage.h"
#include "output/row_writer.h"
#include "output/unit_columns.h"

namespace focustrack {

namespace {

constexpr const char* kTracksHeader[] = {
    "Id", "First Frame", "Last Frame", "Frames Present", "From", "To", "Size at Start",
    "Size at End", "Growth Rate", "Mean Move", "Nucleus Frames", "Touched Border",
    "Border Frames"};

std::string idList(const std::vector<int32_t>& ids) {
  std::string text;
  for (const int32_t id : ids) {
    if (!text.empty()) text += ' ';
    text += std::to_string(id);
  }
  return text;
}

// A track without rows (always at the border) has no sizes, growth or Move;
// one row gives no growth rate.
void writeTrackRow(const RunSettings& settings, int32_t id, const TrackSummary& t, FILE* file) {
  RowWriter row(file);
  row.integer(id);
  row.integer(t.firstFrame);
  row.integer(t.lastFrame);
  row.integer(t.rows);
  row.text(idList(t.from));
  row.text(idList(t.to));
  if (t.rows > 0) {
    row.integer(t.startSize);
    row.integer(t.endSize);
  } else {
    row.empty();
    row.empty();
  }
  if (t.rows > 1) {
    row.real(growthRate(t));
  } else {
    row.empty();
  }
  if (t.rows > 0) {
    row.real(t.moveSum / t.rows);
  } else {
    row.empty();
  }
  row.integer(t.nucleusFrames);
  row.integer(t.borderFrames > 0 ? 1 : 0);
  row.integer(t.borderFrames);
  if (hasUnitColumns(settings)) {
    writeTrackUnits(settings, row, t.firstFrame, t.lastFrame, t.rows, t.startSize, t.endSize,
                    t.rows > 1 ? growthRate(t) : 0.0, t.rows > 0 ? t.moveSum / t.rows : 0.0);
  }
  row.end(false);
}

}  // namespace

// From the exact integer sums: (n Sxy - Sx Sy) / (n Sxx - Sx Sx), the
// products in 128 bits, so that nothing is lost before the division.
double growthRate(const TrackSummary& t) {
  if (t.rows < 2) return std::nan("");
  using Wide = __int128;
  const Wide n = t.rows;
  const Wide numerator = n * t.sumXY - Wide{t.sumX} * t.sumY;
  const Wide denominator = n * t.sumXX - Wide{t.sumX} * t.sumX;
  return static_cast<double>(numerator) / static_cast<double>(denominator);
}

bool writeTrackTable(const RunSettings& settings, const Lineage& lineage, const std::string& path,
                     std::string* reason) {
  const std::string temporary = path + ".tmp";
  FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) {
    *reason = "cannot create table '" + temporary + "': " + std::strerror(errno);
    return false;
  }
  RowWriter header(file);
  for (const char* name : kTracksHeader) header.text(name);
  if (hasUnitColumns(settings)) writeTrackUnitHeader(header);
  header.end(false);
  for (size_t id = 1; id < lineage.tracks.size(); ++id) {
    const TrackSummary& track = lineage.tracks[id];
    if (track.lastOrdinal != 0) writeTrackRow(settings, static_cast<int32_t>(id), track, file);
  }
  const bool written = !std::ferror(file);
  if (std::fclose(file) != 0 || !written) {
    *reason = "cannot write table '" + temporary + "'";
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    *reason = "cannot replace table '" + path + "': " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace focustrack
