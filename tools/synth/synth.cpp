#include "synth/synth.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "io/tiff_writer.h"
#include "base/padded_number.h"
#include "io/slice_path.h"
#include "synth/population.h"
#include "synth/random.h"
#include "synth/render.h"
#include "synth/stack_writer.h"

namespace focustrack {

namespace {

// Stream keys: the population, the background texture and the noise of each
// slice draw from separate generators derived from the seed.
constexpr uint64_t kPopulationStream = 0x9091;
constexpr uint64_t kBackgroundStream = 0xBAC6;
constexpr uint64_t kDeviceStream = 0xDE71;
constexpr uint64_t kNoiseStream = 0x4015E;

const char kTableHeader[] =
    "frame,track_id,parent_id,centre_x,centre_y,area,has_nucleus,vacuole_count\n";

struct TruthRow {
  int64_t area = 0;
  double sumX = 0.0;
  double sumY = 0.0;
};

bool inImage(const FrameMaps& maps, double x, double y) {
  return x >= 0.0 && x < maps.width && y >= 0.0 && y < maps.height;
}

// Contents count where their centre lies inside the picture.
void countContents(const SynthCell& cell, const FrameMaps& maps, int32_t* hasNucleus,
                   int32_t* vacuoles) {
  double x, y;
  *hasNucleus = 0;
  if (cell.hasNucleus) {
    contentCentre(cell, cell.nucleus, &x, &y);
    *hasNucleus = inImage(maps, x, y) ? 1 : 0;
  }
  *vacuoles = 0;
  for (int32_t k = 0; k < cell.vacuoleCount; ++k) {
    contentCentre(cell, cell.vacuoles[k], &x, &y);
    if (inImage(maps, x, y)) ++*vacuoles;
  }
}

// The label image of the frame and its rows: one per cell with at least one
// pixel in the picture, in track id order (the cells' creation order).
std::string truthOfFrame(const Population& population, const FrameMaps& maps, int32_t frame,
                         std::vector<uint16_t>* labels) {
  std::vector<TruthRow> rows(population.cells.size());
  for (int32_t y = 0; y < maps.height; ++y) {
    for (int32_t x = 0; x < maps.width; ++x) {
      const size_t i = static_cast<size_t>(y) * maps.width + x;
      const int32_t owner = maps.owner[i];
      if (owner == 0 || owner > static_cast<int32_t>(population.cells.size())) {
        (*labels)[i] = 0;
        continue;
      }
      (*labels)[i] = static_cast<uint16_t>(population.cells[owner - 1].trackId);
      TruthRow& row = rows[owner - 1];
      ++row.area;
      row.sumX += x;
      row.sumY += y;
    }
  }
  std::string text;
  char line[160];
  for (size_t k = 0; k < rows.size(); ++k) {
    if (rows[k].area == 0) continue;
    const SynthCell& cell = population.cells[k];
    int32_t hasNucleus, vacuoles;
    countContents(cell, maps, &hasNucleus, &vacuoles);
    std::snprintf(line, sizeof line, "%d,%d,%d,%.2f,%.2f,%lld,%d,%d\n", frame, cell.trackId,
                  cell.parentId, rows[k].sumX / rows[k].area, rows[k].sumY / rows[k].area,
                  static_cast<long long>(rows[k].area), hasNucleus, vacuoles);
    text += line;
  }
  return text;
}

// The pillars never move, so the first frame's picture of them stands for all.
bool writeDeviceMask(const SynthOptions& options, const Population& population, const FrameMaps& maps,
                     std::string* error) {
  const int32_t cellCount = static_cast<int32_t>(population.cells.size());
  std::vector<uint8_t> mask(maps.owner.size());
  for (size_t i = 0; i < mask.size(); ++i) mask[i] = maps.owner[i] > cellCount ? 255 : 0;
  const std::string path = deviceMaskPath(options);
  std::string reason;
  if (writeTiff(path, options.width, options.height, TiffSample::UInt8, mask.data(), &reason)) return true;
  *error = "cannot write device mask '" + path + "': " + reason;
  return false;
}

void renderOneSlice(const SynthOptions& options, const Population& population, const FrameMaps& maps,
                    int32_t ordinal, int32_t s, uint8_t* plane) {
  Random noise(mixBits(options.seed ^ kNoiseStream) ^
               mixBits((static_cast<uint64_t>(ordinal) << 32) | static_cast<uint32_t>(s)));
  renderSlice(maps, focusCurve(s, options.sliceCount, population.focusDrift), options.noise, noise, plane);
}

// One file per slice: each slice is written as soon as it is drawn. Stack
// files: the frame's slices are drawn first, then written in the file's
// page order.
bool writeFrameSlices(const SynthOptions& options, const Population& population, const FrameMaps& maps,
                      int32_t frame, int32_t ordinal, StackWriter& writer, std::vector<uint8_t>* pixels,
                      std::string* lastFolder, std::string* error) {
  const size_t n = static_cast<size_t>(options.width) * options.height;
  const bool oneFilePerSlice = options.format == SynthFormat::Slices;
  pixels->resize(oneFilePerSlice ? n : n * static_cast<size_t>(options.sliceCount));
  for (int32_t s = 0; s < options.sliceCount; ++s) {
    renderOneSlice(options, population, maps, ordinal, s,
                   pixels->data() + (oneFilePerSlice ? 0 : static_cast<size_t>(s) * n));
    if (oneFilePerSlice && !writer.writeSlice(frame, s, pixels->data(), lastFolder, error)) return false;
  }
  return oneFilePerSlice || writer.writeFrame(frame, *pixels, lastFolder, error);
}

}  // namespace

int32_t effectiveCellCount(const SynthOptions& options) {
  if (options.cellCount >= 0) return options.cellCount;
  const int64_t cells = int64_t{options.width} * options.height / kPixelsPerCell;
  return cells < 1 ? 1 : static_cast<int32_t>(cells);
}

std::string effectiveTruthFolder(const SynthOptions& options) {
  if (!options.truthFolder.empty()) return options.truthFolder;
  // The pattern's folder, up to its first folder named by a number.
  std::filesystem::path folder = std::filesystem::path(options.pathPattern).parent_path();
  while (folder.string().find("%0") != std::string::npos || folder.string().find("%1") != std::string::npos) {
    folder = folder.parent_path();
  }
  return folder.string();
}

std::string truthImagePath(const SynthOptions& options, int32_t frame) {
  const std::string name = "truth_" + paddedNumber(frame, options.frameDigits) + ".tif";
  const std::string folder = effectiveTruthFolder(options);
  return folder.empty() ? name : folder + "/" + name;
}

std::string deviceMaskPath(const SynthOptions& options) {
  const std::string folder = effectiveTruthFolder(options);
  return folder.empty() ? "device.tif" : folder + "/device.tif";
}

std::string truthTablePath(const SynthOptions& options) {
  const std::string folder = effectiveTruthFolder(options);
  return folder.empty() ? "truth.csv" : folder + "/truth.csv";
}

bool generateRecording(const SynthOptions& options, std::string* error) {
  std::string lastFolder;
  const std::string tablePath = truthTablePath(options);
  if (!ensureFolderOf(tablePath, &lastFolder, error)) return false;
  FILE* table = std::fopen(tablePath.c_str(), "wb");
  if (table == nullptr) {
    *error = "cannot create truth table '" + tablePath + "'";
    return false;
  }
  std::fputs(kTableHeader, table);

  Random life(mixBits(options.seed ^ kPopulationStream));
  Population population;
  Random device(mixBits(options.seed ^ kDeviceStream));
  placeTrapDevice(&population, device, options.width, options.height, options.trapPairs);
  seedPopulation(&population, life, options.width, options.height, effectiveCellCount(options));
  Background background;
  makeBackground(options.width, options.height, mixBits(options.seed ^ kBackgroundStream), &background);
  FrameMaps maps;
  const size_t n = static_cast<size_t>(options.width) * options.height;
  std::vector<uint8_t> pixels;
  std::vector<uint16_t> labels(n);
  StackWriter writer(options);

  bool ok = writer.begin(&lastFolder, error);
  for (int32_t ordinal = 0; ordinal < options.frameCount && ok; ++ordinal) {
    const int32_t frame = options.firstFrame + ordinal;
    if (ordinal > 0) advancePopulation(&population, life);
    renderFrame(population, background, &maps);
    if (ordinal == 0 && !population.device.empty() && !writeDeviceMask(options, population, maps, error)) {
      ok = false;
      break;
    }
    ok = writeFrameSlices(options, population, maps, frame, ordinal, writer, &pixels, &lastFolder, error);
    if (!ok) break;
    const std::string rows = truthOfFrame(population, maps, frame, &labels);
    const std::string labelPath = truthImagePath(options, frame);
    std::string reason;
    if (!ensureFolderOf(labelPath, &lastFolder, error)) {
      ok = false;
    } else if (!writeTiff(labelPath, options.width, options.height, TiffSample::UInt16, labels.data(), &reason)) {
      *error = "cannot write truth image '" + labelPath + "': " + reason;
      ok = false;
    } else if (std::fputs(rows.c_str(), table) < 0) {
      *error = "cannot write truth table '" + tablePath + "'";
      ok = false;
    }
  }
  std::string finishError;
  if (!writer.finish(&finishError) && ok) {
    *error = finishError;
    ok = false;
  }
  if (std::fclose(table) != 0 && ok) {
    *error = "cannot write truth table '" + tablePath + "'";
    ok = false;
  }
  return ok;
}

}  // namespace focustrack
