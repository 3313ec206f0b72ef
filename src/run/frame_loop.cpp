#include "run/frame_loop.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "cells/aspect.h"
#include "cells/fragments.h"
#include "cells/holes_and_measures.h"
#include "cells/linking.h"
#include "cells/seeding.h"
#include "classify/pixel_classes.h"
#include "classify/pixel_order.h"
#include "contents/blobs.h"
#include "contents/nucleus_fit.h"
#include "contents/nucleus_mask.h"
#include "contents/vacuole_fit.h"
#include "output/dump.h"
#include "output/masks.h"
#include "output/result_image.h"
#include "output/tables.h"
#include "reduce/delta_map.h"
#include "reduce/reference_slice.h"
#include "reduce/slice_range.h"
#include "run/buffers.h"
#include "run/manifest.h"
#include "run/progress.h"
#include "run/settings.h"
#include "run/slice_loader.h"
#include "run/slice_path.h"
#include "run/stage_log.h"

namespace {

// Everything one run holds besides its settings.
struct Run {
  const RunSettings& settings;
  StageLog& log;
  FrameBuffers& buffers;
  TableFiles& tables;
  ResultCanvas& canvas;
  RunRecord& record;
  std::vector<uint32_t>& maskScratch;
};

std::string frameName(const Run& run) { return "frame " + std::to_string(run.buffers.frame); }

// A failed dump is worth a warning but never stops the frame.
void dump(Run& run, const char* name, TiffSample sample, const void* pixels) {
  std::string why;
  if (!dumpMap(run.settings, run.buffers, name, sample, pixels, &why)) {
    run.log.warning(frameName(run) + ": " + why);
  }
}

// Every slice is attempted even after a failure, so that each missing file
// gets its own error line.
void loadStack(Run& run) {
  const RunSettings& s = run.settings;
  FrameBuffers& b = run.buffers;
  for (int32_t plane = 0; plane < s.sliceCount; ++plane) {
    const std::string path =
        slicePath(s.pathPattern, b.frame, s.frameDigits, s.firstSlice + plane, s.sliceDigits);
    std::string why;
    uint8_t* target = b.sliceStack.data() + static_cast<size_t>(plane) * static_cast<size_t>(b.pixelCount);
    if (!loadSlice(path, s.width, s.height, target, &why)) {
      run.log.error("cannot read slice '" + path + "' of " + frameName(run) + ": " + why);
      if (run.record.stopDetail.empty()) {
        run.record.stopReason = "missing slice";
        run.record.stopDetail = path + ": " + why;
      }
    }
  }
}

// Stages [10] [11] [12]: the reference slice, the slice range, the delta map.
bool reduceStack(Run& run) {
  FrameBuffers& b = run.buffers;
  StageLog& log = run.log;
  b.rangeFirst = 0;
  b.rangeLast = run.settings.sliceCount - 1;
  b.referenceSlice = -1;
  selectReferenceSlice(run.settings, b);
  if (log.checkpoint(10)) return false;
  searchSliceRange(run.settings, b);
  if (log.checkpoint(11)) return false;
  computeDeltaMap(run.settings, b);
  if (log.checkpoint(12)) return false;
  dump(run, "delta", TiffSample::Float64, b.deltaMap.data());
  return !log.report("[10] Stack Selected", 10) && !log.report("[11] Stack Searched", 11) &&
         !log.report("[12] Delta Calculated", 12);
}

// Stages [40] [41]: pixel order and pixel classes.
bool classify(Run& run) {
  FrameBuffers& b = run.buffers;
  StageLog& log = run.log;
  sortPixels(run.settings, b);
  if (log.checkpoint(40)) return false;
  classifyPixels(run.settings, b);
  if (log.checkpoint(41)) return false;
  dump(run, "class", TiffSample::Int32, b.classMap.data());
  return !log.report("[40] Sorted", 40) && !log.report("[41] Colored", 41);
}

// Stages [42] [45] [43] [44] run in this order; their reports come in label
// order.
bool buildAndTrackCells(Run& run) {
  FrameBuffers& b = run.buffers;
  StageLog& log = run.log;
  buildCells(run.settings, b);
  if (log.checkpoint(42)) return false;
  dump(run, "label", TiffSample::Int32, b.labelMap());
  linkCells(run.settings, b);
  if (log.checkpoint(45)) return false;
  mergeFragments(run.settings, b);
  completeCells(run.settings, b);
  if (log.checkpoint(43)) return false;
  dump(run, "cells", TiffSample::Int32, b.cellMap.data());
  adjustCells(run.settings, b);
  if (log.checkpoint(44)) return false;
  dump(run, "scaled", TiffSample::Float64, b.deltaMap.data());
  return !log.report("[42] Celled", 42) && !log.report("[43] Filled", 43) &&
         !log.report("[44] Adjasted", 44) && !log.report("[45] Linked", 45);
}

// Stages [20] [21], then [30] [31] [32]: blobs, nuclei, vacuoles.
bool analyseContents(Run& run) {
  FrameBuffers& b = run.buffers;
  StageLog& log = run.log;
  floodBlobs(run.settings, b, FloodDirection::Forward);
  if (log.checkpoint(20)) return false;
  dump(run, "blobs_hi", TiffSample::Int32, b.blobMap());
  fitNuclei(run.settings, b);
  if (log.checkpoint(21)) return false;
  if (log.report("[20] Analysed", 20) || log.report("[21] Analysed", 21)) return false;
  floodBlobs(run.settings, b, FloodDirection::Backward);
  if (log.checkpoint(30)) return false;
  dump(run, "blobs_lo", TiffSample::Int32, b.blobMap());
  fitVacuoles(run.settings, b);
  if (log.checkpoint(31)) return false;
  excludeNucleusBlobs(run.settings, b);
  if (log.checkpoint(32)) return false;
  dump(run, "nucleus", TiffSample::Int32, b.nucleusMask());
  return !log.report("[30] Analysed", 30) && !log.report("[31] Analysed", 31) &&
         !log.report("[32] Analysed", 32);
}

// Tables, then the result image when asked for.
bool writeOutput(Run& run) {
  FrameBuffers& b = run.buffers;
  if (!b.capacityNote.empty()) {
    run.log.warning(frameName(run) + ": " + b.capacityNote);
    b.capacityNote.clear();
  }
  std::string why;
  if (!writeFrameTables(run.settings, b, run.tables, &why)) {
    run.log.warning(frameName(run) + ": " + why);
  }
  if (run.settings.writeMasks && !writeMask(run.settings, b, run.maskScratch, &why)) {
    run.log.warning(frameName(run) + ": " + why);
  }
  if (!run.settings.writeResultImages) return true;
  drawResultImage(run.settings, b, run.canvas);
  const std::string path = resultImagePath(run.settings, b.frameOrdinal);
  if (run.canvas.saveBmp(path) != 0) {
    run.log.warning("Image Save Failed: cannot write '" + path + "' (" + frameName(run) + ")");
  }
  return !run.log.message("Image Saved", false);
}

// One frame from file to row. False abandons the frame: no output, no
// hand-over, no frame line.
bool processFrame(Run& run) {
  StageLog& log = run.log;
  if (log.message("Frame Start", true)) return false;
  loadStack(run);
  if (log.message("Image Loaded", true)) return false;
  if (!reduceStack(run) || !classify(run) || !buildAndTrackCells(run) || !analyseContents(run)) {
    return false;
  }
  if (!writeOutput(run)) return false;
  handOverFrame(run.buffers);
  log.frameDone("Frame " + std::to_string(run.buffers.frame) + " Finished");
  run.record.framesCompleted += 1;
  return true;
}


bool createDumpFolder(const RunSettings& settings, std::string* reason) {
  if (settings.dumpFolder.empty()) return true;
  std::error_code ec;
  std::filesystem::create_directories(settings.dumpFolder, ec);
  if (!ec) return true;
  *reason = "cannot create dump folder '" + settings.dumpFolder + "': " + ec.message();
  return false;
}

// Start-up steps after the log exists: sizes, buffers, canvas, tables of
// directions and offsets. False ends the run before any frame.
bool prepareBuffers(const RunSettings& settings, StageLog& log, FrameBuffers& buffers,
                    ResultCanvas& canvas, RunRecord& record) {
  std::string why;
  if (!sizesAreUsable(settings, &why)) {
    log.error(why);
    record.stopReason = "unusable settings";
    record.stopDetail = why;
    return false;
  }
  if (!allocateBuffers(settings, buffers, &why) ||
      (settings.writeResultImages && !canvas.allocate(settings.width, settings.height))) {
    if (why.empty()) why = "cannot allocate the result image";
    log.error("Memory Allocation Failed. " + why);
    record.stopReason = "allocation failure";
    record.stopDetail = why;
    return false;
  }
  if (!createDumpFolder(settings, &why)) {
    log.error(why);
    record.stopReason = "dump folder cannot be created";
    record.stopDetail = why;
    return false;
  }
  fillAngleTable(buffers);
  fillDiskOffsets(buffers);
  buffers.linkRecords.clear();
  buffers.nextTrackId = 1;
  buffers.previousCellNumberEnd = 0;
  return true;
}

// Benchmark figures: every stage's accumulated time and the peak memory.
void printStageTimes(const StageLog& log, const RunRecord& record, FILE* err) {
  struct Stage {
    int number;
    const char* label;
  };
  static constexpr Stage kStages[] = {
      {10, "[10] Stack Selected"}, {11, "[11] Stack Searched"}, {12, "[12] Delta Calculated"},
      {40, "[40] Sorted"},         {41, "[41] Colored"},        {42, "[42] Celled"},
      {45, "[45] Linked"},         {43, "[43] Filled"},         {44, "[44] Adjasted"},
      {20, "[20] Analysed"},       {21, "[21] Analysed"},       {30, "[30] Analysed"},
      {31, "[31] Analysed"},       {32, "[32] Analysed"}};
  // On a terminal the log's last line has no line end yet.
  if (isatty(fileno(err))) std::fputc('\n', err);
  std::fprintf(err, "stage                   frames   total ms   ms/frame\n");
  for (const Stage& stage : kStages) {
    const int32_t count = log.stageCount(stage.number);
    const int32_t ticks = log.stageTicks(stage.number);
    std::fprintf(err, "%-22s %7d %10d %10.1f\n", stage.label, count, ticks,
                 count > 0 ? static_cast<double>(ticks) / count : 0.0);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::fprintf(err, "frames completed %d, peak memory %.1f MiB\n", record.framesCompleted,
               static_cast<double>(usage.ru_maxrss) / 1024.0);
}

// The manifest is a companion file: failing to write it is said on the error
// stream only, so that the log stays as it is.
void saveManifest(const RunSettings& settings, const RunRecord& record, FILE* err) {
  std::string why;
  if (!writeManifest(settings, record, &why)) std::fprintf(err, "focustrack: %s\n", why.c_str());
}

// The frames of the run, in order. In 64 bits, so that absurd frame options
// cannot overflow the loop.
void runFrames(Run& run, FILE* err) {
  const RunSettings& s = run.settings;
  const int64_t frameEnd =
      std::min<int64_t>(int64_t{s.firstFrame} + s.frameCount, int64_t{INT32_MAX} + 1);
  Progress progress(err, frameEnd - s.firstFrame, Progress::modeFor(run.log.out(), err));
  run.log.setBeforeWrite([&progress] { progress.wipe(); });
  for (int64_t frame = s.firstFrame; frame < frameEnd; ++frame) {
    run.buffers.frame = static_cast<int32_t>(frame);
    run.buffers.frameOrdinal = static_cast<int32_t>(frame - s.firstFrame + 1);
    if (processFrame(run)) progress.frameDone(run.record.framesCompleted);
  }
  run.log.setBeforeWrite(nullptr);
  if (run.record.stopReason == "running") run.record.stopReason = "end of frames";
}

}  // namespace

int runPipeline(int argc, const char* const* argv, FILE* out, FILE* err) {
  const RunSettings settings = parseCommandLine(argc, argv);
  if (settings.showHelp || settings.showVersion) {
    std::fputs(settings.showHelp ? usageText().c_str() : "focustrack " FOCUSTRACK_VERSION "\n", out);
    return 0;
  }
  for (const std::string& word : settings.unknownOptions) {
    std::fprintf(err, "focustrack: ignoring unknown option '%s'\n", word.c_str());
  }
  RunRecord record;
  record.commandLine.assign(argv, argv + argc);
  record.startTime = utcTimestamp();
  record.stopReason = "running";

  TableFiles tables;
  std::string tableProblem;
  const bool tablesOpen = openTables(settings, tables, &tableProblem);
  if (tablesOpen) saveManifest(settings, record, err);
  ResultCanvas canvas;
  FrameBuffers buffers;
  std::vector<uint32_t> maskScratch;
  int status = 0;
  {
    StageLog log(out, err);
    Run run{settings, log, buffers, tables, canvas, record, maskScratch};
    if (!tablesOpen || !writeTableHeaders(tables, &tableProblem)) {
      log.error(tableProblem);
      record.stopReason = "table cannot be created";
      record.stopDetail = tableProblem;
      status = 1;
    } else if (prepareBuffers(settings, log, buffers, canvas, record)) {
      runFrames(run, err);
      if (settings.printStageTimes) printStageTimes(log, record, err);
    }
    canvas.release();
    log.finish();
  }
  closeTables(tables);
  releaseBuffers(buffers);
  record.endTime = utcTimestamp();
  if (tablesOpen) saveManifest(settings, record, err);
  return status;
}
