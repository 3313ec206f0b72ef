#include "app/frame_pipeline.h"

#include <string>
#include <utility>

#include "app/interrupts.h"
#include "base/parallel.h"

namespace focustrack {

namespace {

void placeFrame(FrameBuffers& b, int64_t frame, int64_t firstFrame) {
  b.frame = static_cast<int32_t>(frame);
  b.frameOrdinal = static_cast<int32_t>(frame - firstFrame + 1);
}

// What loading and the input stages write, with the frame's position; the
// capacity notes of the frame in `b` move to `a`.
void swapInputs(FrameBuffers& a, FrameBuffers& b) {
  a.sliceStack.swap(b.sliceStack);
  a.sliceStack16.swap(b.sliceStack16);
  std::swap(a.sampleBits, b.sampleBits);
  a.deltaMap.swap(b.deltaMap);
  a.sortedPixels.swap(b.sortedPixels);
  a.classMap.swap(b.classMap);
  a.floodQueue.swap(b.floodQueue);
  std::swap(a.frame, b.frame);
  std::swap(a.frameOrdinal, b.frameOrdinal);
  std::swap(a.referenceSlice, b.referenceSlice);
  std::swap(a.rangeFirst, b.rangeFirst);
  std::swap(a.rangeLast, b.rangeLast);
  std::swap(a.coreCensus, b.coreCensus);
  a.cellMap.swap(b.cellMap);
  a.currentCells.swap(b.currentCells);
  a.regionTable.swap(b.regionTable);
  std::swap(a.regionCount, b.regionCount);
  std::swap(a.nextCellNumber, b.nextCellNumber);
  a.capacityNote.swap(b.capacityNote);
  b.capacityNote.clear();
}

// The frame prepared ahead: buffers, a recording log, and a record of its
// own that loading may note its stop in. Only the prepared frame reads the
// input while the current frame completes.
struct Ahead {
  FrameBuffers buffers;
  StageLog log{StageLog::Recording{}};
  RunRecord record;
  bool prepared = false;
};

// Frame `frame` to be prepared in `ahead`, with a fresh log and record.
void startAhead(Ahead& ahead, int64_t frame, int64_t firstFrame) {
  placeFrame(ahead.buffers, frame, firstFrame);
  ahead.log = StageLog(StageLog::Recording{});
  ahead.record = RunRecord{};
}

void prepareAhead(Run& run, Ahead& ahead) {
  Run aheadRun{run.settings, ahead.log,    ahead.buffers,   run.tables, run.lineage,
               run.canvas,   ahead.record, run.maskScratch, run.input,  run.maskStack};
  ahead.prepared = prepareFrame(aheadRun);
}

// The frame's turn: what preparing it would have done to the run's log and
// record, done now. False when the frame is abandoned.
bool takeTurn(Run& run, Ahead& ahead) {
  swapInputs(run.buffers, ahead.buffers);
  // An error of an earlier frame stops this one at its first call, before
  // it loads anything; otherwise loading's stop stands, unless the run has
  // already stopped for another reason.
  if (!run.log.errorRaised() && !ahead.record.stopReason.empty()) {
    recordStop(run.record, ahead.record.stopReason, ahead.record.stopDetail, ahead.record.exitStatus);
  }
  return ahead.log.replayInto(run.log) && ahead.prepared;
}

// With more than one thread: the stages' tasks, and the frame prepared
// ahead, share the threads of one region per frame. The frames themselves
// stay on the calling thread; the others take tasks until all are done.
template <class Work>
void inRegion(int32_t threads, Work&& work) {
#pragma omp parallel num_threads(threads)
#pragma omp master
  work();
}

// No frame starts once the run is interrupted; true when a frame was left
// undone for that reason.
bool runOneByOne(Run& run, int64_t firstFrame, int64_t frameEnd, const std::function<void()>& completed) {
  for (int64_t frame = firstFrame; frame < frameEnd; ++frame) {
    if (interruptSignal() != 0) return true;
    placeFrame(run.buffers, frame, firstFrame);
    if (prepareFrame(run) && completeFrame(run)) {
      completed();
    } else if (interruptSignal() != 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

int32_t runThreads(const RunSettings& settings) {
  return settings.threads > 0 ? settings.threads : availableCores();
}

bool runFramePipeline(Run& run, int64_t firstFrame, int64_t frameEnd,
                      const std::function<void()>& completed) {
  const int32_t threads = runThreads(run.settings);
  if (threads <= 1) return runOneByOne(run, firstFrame, frameEnd, completed);
  Ahead ahead;
  std::string why;
  const bool canRunAhead = frameEnd - firstFrame > 1 && allocateBuffers(run.settings, ahead.buffers, &why);
  bool interrupted = false;
  if (!canRunAhead) {
    inRegion(threads, [&] { interrupted = runOneByOne(run, firstFrame, frameEnd, completed); });
    return interrupted;
  }
  if (interruptSignal() != 0) return true;
  placeFrame(run.buffers, firstFrame, firstFrame);
  bool ready = false;
  // The second frame is prepared beside the first from the moment the first
  // is loaded: only one frame at a time reads the input.
  bool aheadStarted = false;  // the next frame is in `ahead`
  inRegion(threads, [&] {
    if (!loadFrame(run)) return;
    startAhead(ahead, firstFrame + 1, firstFrame);
    aheadStarted = true;
#pragma omp task default(shared)
    prepareAhead(run, ahead);
    ready = runInputStages(run);
  });
  for (int64_t frame = firstFrame;; ++frame) {
    // After an error no frame starts, so none is prepared ahead.
    const bool nextAhead = !aheadStarted && frame + 1 < frameEnd && !run.log.errorRaised();
    if (nextAhead) {
      startAhead(ahead, frame + 1, firstFrame);
      aheadStarted = true;
    }
    bool done = false;
    inRegion(threads, [&] {
      if (nextAhead) {
#pragma omp task default(shared)
        prepareAhead(run, ahead);
      }
      done = ready && completeFrame(run);
    });
    if (done) completed();
    // The frame prepared ahead is dropped unseen when the run is interrupted.
    interrupted = interruptSignal() != 0 && (!done || frame + 1 < frameEnd);
    if (interrupted || frame + 1 >= frameEnd) break;
    if (aheadStarted) {
      ready = takeTurn(run, ahead);
      aheadStarted = false;
    } else {
      placeFrame(run.buffers, frame + 1, firstFrame);
      ready = prepareFrame(run);
    }
  }
  releaseBuffers(ahead.buffers);
  return interrupted;
}

}  // namespace focustrack
