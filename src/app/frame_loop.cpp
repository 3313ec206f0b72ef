#include "app/frame_loop.h"

#include <algorithm>
#include <string>

#include "app/frame_pipeline.h"
#include "app/interrupts.h"
#include "app/progress.h"
#include "app/stages.h"
#include "app/slice_order.h"
#include "output/dump.h"
#include "output/masks.h"
#include "output/result_picture.h"

namespace focustrack {

namespace {

std::string frameName(const Run& run) { return "frame " + std::to_string(run.buffers.frame); }

// The first slice of a frame that did not load, and how many did not.
struct StackFailures {
  int32_t missing = 0;
  int32_t unreadable = 0;
  SliceProblem firstProblem = SliceProblem::None;
  std::string firstDetail;  // path: reason
};

// A frame none of whose slices exists is where a recording of unknown length
// ends, unless it is the run's first frame: then there is no recording (a
// mistyped pattern or first frame), and the run has failed. A frame with
// some slices missing or unreadable is broken, and the run stops there with
// the first failing slice as the reason.
void recordStackFailure(Run& run, const StackFailures& failures) {
  if (failures.missing == run.settings.sliceCount && run.buffers.frameOrdinal == 1) {
    recordStop(run.record, "no recording", failures.firstDetail, kExitFailed);
  } else if (failures.missing == run.settings.sliceCount) {
    recordStop(run.record, "end of recording", failures.firstDetail, kExitDone);
  } else if (failures.firstProblem == SliceProblem::Missing) {
    recordStop(run.record, "missing slice", failures.firstDetail, kExitBrokenFrame);
  } else {
    recordStop(run.record, "unreadable slice", failures.firstDetail, kExitBrokenFrame);
  }
}

// Every slice file is attempted even after a failure, so that each missing
// file gets its own error line; a stack file is reported once per frame, and
// a missing stack file counts as all of the frame's slices missing.
void loadStack(Run& run) {
  const RunSettings& s = run.settings;
  run.input.beginFrame();
  StackFailures failures;
  for (int32_t plane = 0; plane < s.sliceCount; ++plane) {
    LoadProblem problem;
    if (run.input.loadPlane(s, run.buffers, plane, &problem)) continue;
    run.log.error(problem.message);
    (problem.kind == SliceProblem::Missing ? failures.missing : failures.unreadable) += 1;
    if (failures.firstProblem == SliceProblem::None) {
      failures.firstProblem = problem.kind;
      failures.firstDetail = problem.detail;
    }
    if (run.input.oneProblemPerFrame()) {
      if (problem.kind == SliceProblem::Missing) failures.missing = s.sliceCount;
      break;
    }
  }
  if (failures.firstProblem != SliceProblem::None) recordStackFailure(run, failures);
}

// Images, masks and dumps that cannot be written are warnings; the frame
// goes on, and the run ends with status 1.
void noteWriteFailure(Run& run, const std::string& why) {
  run.log.warning(why);
  if (run.record.writeFailures++ == 0) run.record.firstWriteFailure = why;
}

// Cells brighten towards higher slices; stacks taken the other way round
// grow negative cores where cells are. Said once per run, at the first
// frame by which the census of the frames so far shows it.
void hintAtSliceOrder(Run& run) {
  if (run.orderHintGiven) return;
  addCensus(run.buffers.coreCensus, &run.censusSoFar);
  if (!looksReversed(run.censusSoFar)) return;
  run.orderHintGiven = true;
  run.log.warning(frameName(run) + ": slices may be in reverse focus order; try " +
                  (run.settings.reverseSlices ? "without --reverse-slices" : "--reverse-slices"));
}

// A failed dump is worth a warning but never stops the frame.
void dump(Run& run, const Stage& stage) {
  std::string why;
  if (!dumpMap(run.settings, run.buffers, stage.dumpName, stage.dumpSample,
               stage.dumpPixels(run.buffers), &why)) {
    noteWriteFailure(run, frameName(run) + ": " + why);
  }
}

// The reports of a group of stages, in ascending stage number.
bool reportGroup(Run& run, std::span<const Stage> group) {
  const Stage* order[16];
  const size_t count = std::min(group.size(), std::size(order));
  for (size_t k = 0; k < count; ++k) order[k] = &group[k];
  std::sort(order, order + count, [](const Stage* a, const Stage* b) { return a->number < b->number; });
  for (size_t k = 0; k < count; ++k) {
    if (run.log.report(order[k]->label, order[k]->number)) return false;
  }
  return true;
}

// The stages of `part`, a run of the frame's stage table, in table order,
// each timed at its checkpoint and, with `dumps`, followed by its dump. A
// group begun in the part before reports with its closing stage here. False
// when the log answers stop or the run is interrupted.
bool runStages(Run& run, std::span<const Stage> part, bool dumps) {
  const std::span<const Stage> stages = frameStages();
  size_t k = static_cast<size_t>(part.data() - stages.data());
  const size_t end = k + part.size();
  size_t groupStart = k;
  while (groupStart > 0 && !stages[groupStart - 1].closesGroup) --groupStart;
  for (; k < end; ++k) {
    const Stage& stage = stages[k];
    if (interruptSignal() != 0) return false;
    stage.run(run.settings, run.buffers);
    if (run.log.checkpoint(stage.number)) return false;
    if (dumps && stage.dumpName != nullptr) dump(run, stage);
    if (!stage.closesGroup) continue;
    if (!reportGroup(run, stages.subspan(groupStart, k + 1 - groupStart))) return false;
    groupStart = k + 1;
  }
  return true;
}

// Tables (the track table rewritten whole), masks, the mask stack, then the
// result image when asked for.
bool writeOutput(Run& run) {
  FrameBuffers& b = run.buffers;
  if (!b.capacityNote.empty()) {
    run.log.warning(frameName(run) + ": " + b.capacityNote);
    b.capacityNote.clear();
  }
  std::string why;
  // A table that cannot take its rows ends the run: its rows would be lost.
  if (!writeFrameTables(run.settings, b, run.tables, &why)) {
    run.log.error(frameName(run) + ": " + why);
    recordStop(run.record, "write failed", why, kExitFailed);
    return false;
  }
  if (!recordLineage(run.settings, b, run.lineage, run.tables.events, run.tables.eventsPath, &why)) {
    run.log.warning(frameName(run) + ": " + why);
  }
  if (!writeTrackTable(run.settings, run.lineage, run.tables.tracksPath, &why)) {
    run.log.warning(frameName(run) + ": " + why);
  }
  if (run.settings.writeMasks && !writeMask(run.settings, b, run.maskScratch, &why)) {
    noteWriteFailure(run, frameName(run) + ": " + why);
  }
  if (run.settings.writeMaskStack && !run.maskStack.addFrame(run.settings, b, &why)) {
    noteWriteFailure(run, frameName(run) + ": " + why);
  }
  if (!run.settings.writeResultImages) return true;
  drawResultImage(run.settings, b, run.canvas);
  const std::string path = resultImagePath(run.settings, b.frameOrdinal);
  if (!saveResultPicture(run.canvas, run.settings, path, &why)) {
    noteWriteFailure(run, "Image Save Failed: cannot write '" + path + "' (" + frameName(run) + ")");
  }
  return !run.log.message("Image Saved", false);
}

// SIGINT or SIGTERM: said once, recorded, and no further frame starts.
void recordInterruption(Run& run, int signal) {
  const std::string detail = std::string(signalName(signal)) + " after " +
                             std::to_string(run.record.framesCompleted) + " frames";
  run.log.warning("interrupted by " + detail);
  recordStop(run.record, "interrupted", detail, 128 + signal);
}

}  // namespace

// The input stages' maps are dumped when the frame completes: a frame
// prepared ahead must not write files before its turn. Nothing between
// changes them.
bool prepareFrame(Run& run) { return loadFrame(run) && runInputStages(run); }

bool loadFrame(Run& run) {
  StageLog& log = run.log;
  if (log.message("Frame Start", true)) return false;
  loadStack(run);
  return !log.message("Image Loaded", true);
}

bool runInputStages(Run& run) {
  beginFrame(run.buffers);
  return runStages(run, inputStages(run.settings), false);
}

bool completeFrame(Run& run) {
  for (const Stage& stage : inputStages(run.settings)) {
    if (stage.dumpName != nullptr) dump(run, stage);
  }
  // Once the output has begun the frame is finished, so that its files and
  // rows are complete when an interruption stops the run.
  if (!runStages(run, cellStages(run.settings), true) || interruptSignal() != 0) return false;
  hintAtSliceOrder(run);
  if (!writeOutput(run)) return false;
  handOverFrame(run.buffers);
  run.log.frameDone("Frame " + std::to_string(run.buffers.frame) + " Finished");
  run.record.framesCompleted += 1;
  return true;
}

// In 64 bits, so that absurd frame options cannot overflow the loop.
void runFrames(Run& run, FILE* err) {
  const RunSettings& s = run.settings;
  const int64_t frameEnd =
      std::min<int64_t>(int64_t{s.firstFrame} + s.frameCount, int64_t{INT32_MAX} + 1);
  Progress progress(err, frameEnd - s.firstFrame, Progress::modeFor(run.log.out(), err));
  run.log.setBeforeWrite([&progress] { progress.wipe(); });
  const bool interrupted = runFramePipeline(run, s.firstFrame, frameEnd, [&run, &progress, &s, err] {
    progress.frameDone(run.record.framesCompleted);
    saveManifest(s, run.record, err);
  });
  if (interrupted) recordInterruption(run, interruptSignal());
  run.log.setBeforeWrite(nullptr);
  recordStop(run.record, "end of frames", "", kExitDone);
}

}  // namespace focustrack
