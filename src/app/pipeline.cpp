#include "app/pipeline.h"

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/command_line.h"
#include "app/device_mask.h"
#include "app/frame_loop.h"
#include "app/interrupts.h"
#include "app/manifest.h"
#include "app/stage_log.h"
#include "app/stages.h"
#include "io/folder_lock.h"

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

// Reports a start-up failure: the red line, its reason, and the record.
bool refuseStart(StageLog& log, RunRecord& record, const std::string& stopReason, const std::string& why) {
  log.error(why);
  recordStop(record, stopReason, why, kExitFailed);
  return false;
}

// Start-up checks after the log exists: option values, sizes, buffers,
// canvas, dump folder, tables of directions and offsets. False ends the run
// before any frame.
bool prepareBuffers(const RunSettings& settings, StageLog& log, FrameBuffers& buffers,
                    ResultCanvas& canvas, RunRecord& record) {
  // Every bad value is named; the run stops at the first.
  for (const std::string& problem : settings.optionErrors) {
    refuseStart(log, record, "unusable settings", problem);
  }
  if (!settings.optionErrors.empty()) return false;
  std::string why;
  if (!sizesAreUsable(settings, &why) || !outputChoicesAreUsable(settings, &why)) {
    return refuseStart(log, record, "unusable settings", why);
  }
  if (!allocateBuffers(settings, buffers, &why) ||
      (settings.writeResultImages &&
       !canvas.allocate(buffers.width, buffers.height, settings.imageZoom))) {
    if (why.empty()) why = "cannot allocate the result image";
    log.error("Memory Allocation Failed. " + why);
    recordStop(record, "allocation failure", why, kExitFailed);
    return false;
  }
  if (!createDumpFolder(settings, &why)) {
    return refuseStart(log, record, "dump folder cannot be created", why);
  }
  std::string note;
  if (!loadDeviceMask(settings, buffers, &why, &note)) {
    return refuseStart(log, record, "device mask cannot be used", why);
  }
  if (!note.empty()) log.warning(note);
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

// What the output folder and its tables allowed: the folder locked for this
// run, and both tables created.
struct OutputState {
  bool locked = false;
  bool tablesOpen = false;
  std::string problem;
  bool inputOpen = false;     // the recording could be opened
  std::string inputProblem;
};

// The run once the log exists: warnings, table headers, start-up checks and
// the frames.
void runLogged(Run& run, const OutputState& output, FILE* err) {
  for (const std::string& warning : settingsWarnings(run.settings)) run.log.warning(warning);
  std::string why = output.problem;
  if (!output.locked || !output.tablesOpen || !writeTableHeaders(run.settings, run.tables, &why)) {
    refuseStart(run.log, run.record, "table cannot be created", why);
    return;
  }
  // Bad option values are named first: they may be why the input is unreadable.
  if (!output.inputOpen && run.settings.optionErrors.empty()) {
    refuseStart(run.log, run.record, "input cannot be read", output.inputProblem);
    return;
  }
  if (!prepareBuffers(run.settings, run.log, run.buffers, run.canvas, run.record)) return;
  runFrames(run, err);
  if (!writeTrackTable(run.settings, run.lineage, run.tables.tracksPath, &why)) run.log.warning(why);
  if (run.settings.printStageTimes) printStageTimes(run.log, run.record, err);
}

// The exit status: the stop's own, or 1 when all went well but an image,
// mask or dump could not be written.
int exitStatusOf(const RunRecord& record) {
  if (record.exitStatus == kExitDone && record.writeFailures > 0) return kExitFailed;
  return record.exitStatus;
}

}  // namespace

int runPipeline(int argc, const char* const* argv, FILE* out, FILE* err) {
  RunSettings settings = parseCommandLine(argc, argv);
  if (settings.showHelp || settings.showVersion) {
    std::fputs(settings.showHelp ? usageText().c_str() : "focustrack " FOCUSTRACK_VERSION "\n", out);
    return 0;
  }
  for (const std::string& word : settings.unknownOptions) {
    std::fprintf(err, "focustrack: ignoring unknown option '%s'\n", word.c_str());
  }
  const InterruptGuard interrupts;
  // A stack file gives the sizes the command line leaves open, before
  // anything is written with them.
  StackInput input;
  OutputState output;
  output.inputOpen = input.open(settings, &output.inputProblem);
  RunRecord record;
  record.commandLine.assign(argv, argv + argc);
  record.startTime = utcTimestamp();
  record.stopReason = "running";

  // The lock comes first: a second run into the folder must not empty the
  // tables of the run that holds it.
  FolderLock lock;
  output.locked = lock.acquire(settings.outputFolder, &output.problem);
  TableFiles tables;
  Lineage lineage;
  output.tablesOpen = output.locked && openTables(settings, tables, &output.problem);
  if (output.tablesOpen) saveManifest(settings, record, err);
  ResultCanvas canvas;
  FrameBuffers buffers;
  std::vector<uint32_t> maskScratch;
  MaskStack maskStack;
  {
    StageLog log(out, err);
    Run run{settings, log, buffers, tables, lineage, canvas, record, maskScratch, input, maskStack};
    runLogged(run, output, err);
    canvas.release();
    log.finish();
  }
  closeTables(tables);
  releaseBuffers(buffers);
  record.endTime = utcTimestamp();
  if (output.tablesOpen) saveManifest(settings, record, err);
  lock.release();
  return exitStatusOf(record);
}

}  // namespace focustrack
