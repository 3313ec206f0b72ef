#include "app/frame_loop.h"

#include <algorithm>
#include <string>

#include "app/frame_pipeline.h"
#include "app/progress.h"
#include "app/stages.h"
#include "io/slice_loader.h"
#include "io/slice_path.h"
#include "output/dump.h"
#include "output/masks.h"

namespace focustrack {

namespace {

std::string frameName(const Run& run) { return "frame " + std::to_string(run.buffers.frame); }

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

// A failed dump is worth a warning but never stops the frame.
void dump(Run& run, const Stage& stage) {
  std::string why;
  if (!dumpMap(run.settings, run.buffers, stage.dumpName, stage.dumpSample,
               stage.dumpPixels(run.buffers), &why)) {
    run.log.warning(frameName(run) + ": " + why);
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

// The stages in table order, each timed at its checkpoint and, with
// `dumps`, followed by its dump. False when the log answers stop.
bool runStages(Run& run, std::span<const Stage> stages, bool dumps) {
  size_t groupStart = 0;
  for (size_t k = 0; k < stages.size(); ++k) {
    const Stage& stage = stages[k];
    stage.run(run.settings, run.buffers);
    if (run.log.checkpoint(stage.number)) return false;
    if (dumps && stage.dumpName != nullptr) dump(run, stage);
    if (!stage.closesGroup) continue;
    if (!reportGroup(run, stages.subspan(groupStart, k + 1 - groupStart))) return false;
    groupStart = k + 1;
  }
  return true;
}

// Tables, masks, then the result image when asked for.
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

}  // namespace

// The input stages' maps are dumped when the frame completes: a frame
// prepared ahead must not write files before its turn. Nothing between
// changes them.
bool prepareFrame(Run& run) {
  StageLog& log = run.log;
  if (log.message("Frame Start", true)) return false;
  loadStack(run);
  if (log.message("Image Loaded", true)) return false;
  beginFrame(run.buffers);
  return runStages(run, inputStages(), false);
}

bool completeFrame(Run& run) {
  for (const Stage& stage : inputStages()) {
    if (stage.dumpName != nullptr) dump(run, stage);
  }
  if (!runStages(run, cellStages(), true) || !writeOutput(run)) return false;
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
  runFramePipeline(run, s.firstFrame, frameEnd,
                   [&run, &progress] { progress.frameDone(run.record.framesCompleted); });
  run.log.setBeforeWrite(nullptr);
  if (run.record.stopReason == "running") run.record.stopReason = "end of frames";
}

}  // namespace focustrack
