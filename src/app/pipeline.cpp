#include "app/pipeline.h"

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/command_line.h"
#include "app/frame_loop.h"
#include "app/manifest.h"
#include "app/stage_log.h"
#include "app/stages.h"

namespace focustrack {

namespace {

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
  fillRunTables(buffers);
  buffers.linkRecords.clear();
  buffers.nextTrackId = 1;
  buffers.previousCellNumberEnd = 0;
  return true;
}

// Benchmark figures: every stage's accumulated time and the peak memory.
void printStageTimes(const StageLog& log, const RunRecord& record, FILE* err) {
  // On a terminal the log's last line has no line end yet.
  if (isatty(fileno(err))) std::fputc('\n', err);
  // Elapsed time, and the processor time of the thread that ran the stage.
  std::fprintf(err, "stage                   frames   total ms   ms/frame  cpu ms/frame\n");
  for (const Stage& stage : frameStages()) {
    const int32_t count = log.stageCount(stage.number);
    const int32_t ticks = log.stageTicks(stage.number);
    std::fprintf(err, "%-22s %7d %10d %10.1f %13.1f\n", stage.label, count, ticks,
                 count > 0 ? static_cast<double>(ticks) / count : 0.0,
                 count > 0 ? log.stageProcessorMs(stage.number) / count : 0.0);
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

}  // namespace focustrack
