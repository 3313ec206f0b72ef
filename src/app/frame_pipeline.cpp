#include "app/frame_pipeline.h"

#include <string>
#include <utility>

#include "base/parallel.h"

namespace focustrack {

namespace {

void placeFrame(FrameBuffers& b, int64_t frame, int64_t firstFrame) {
  b.frame = static_cast<int32_t>(frame);
  b.frameOrdinal = static_cast<int32_t>(frame - firstFrame + 1);
}

// What loading and the input stages write, with the frame's position.
void swapInputs(FrameBuffers& a, FrameBuffers& b) {
  a.sliceStack.swap(b.sliceStack);
  a.deltaMap.swap(b.deltaMap);
  a.sortedPixels.swap(b.sortedPixels);
  a.classMap.swap(b.classMap);
  a.floodQueue.swap(b.floodQueue);
  std::swap(a.frame, b.frame);
  std::swap(a.frameOrdinal, b.frameOrdinal);
  std::swap(a.referenceSlice, b.referenceSlice);
  std::swap(a.rangeFirst, b.rangeFirst);
  std::swap(a.rangeLast, b.rangeLast);
}

// The frame prepared ahead: buffers, a recording log, and a copy of the run
// record that loading may note its stop reason in.
struct Ahead {
  FrameBuffers buffers;
  StageLog log{StageLog::Recording{}};
  RunRecord record;
  std::string stopReasonBefore;
  std::string stopDetailBefore;
  bool prepared = false;
};

void prepareAhead(Run& run, Ahead& ahead) {
  Run aheadRun{run.settings, ahead.log,  ahead.buffers,  run.tables,
               run.canvas,   ahead.record, run.maskScratch};
  ahead.prepared = prepareFrame(aheadRun);
}

// The frame's turn: what preparing it would have done to the run's log and
// record, done now. False when the frame is abandoned.
bool takeTurn(Run& run, Ahead& ahead) {
  swapInputs(run.buffers, ahead.buffers);
  // An error of an earlier frame stops this one at its first call, before
  // it loads anything; otherwise loading's notes stand.
  if (!run.log.errorRaised()) {
    if (ahead.record.stopReason != ahead.stopReasonBefore) run.record.stopReason = ahead.record.stopReason;
    if (ahead.record.stopDetail != ahead.stopDetailBefore) run.record.stopDetail = ahead.record.stopDetail;
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

void runOneByOne(Run& run, int64_t firstFrame, int64_t frameEnd, const std::function<void()>& completed) {
  for (int64_t frame = firstFrame; frame < frameEnd; ++frame) {
    placeFrame(run.buffers, frame, firstFrame);
    if (prepareFrame(run) && completeFrame(run)) completed();
  }
}

}  // namespace

int32_t runThreads(const RunSettings& settings) {
  return settings.threads > 0 ? settings.threads : availableCores();
}

void runFramePipeline(Run& run, int64_t firstFrame, int64_t frameEnd,
                      const std::function<void()>& completed) {
  const int32_t threads = runThreads(run.settings);
  if (threads <= 1) {
    runOneByOne(run, firstFrame, frameEnd, completed);
    return;
  }
  Ahead ahead;
  std::string why;
  const bool canRunAhead = frameEnd - firstFrame > 1 && allocateBuffers(run.settings, ahead.buffers, &why);
  if (!canRunAhead) {
    inRegion(threads, [&] { runOneByOne(run, firstFrame, frameEnd, completed); });
    return;
  }
  placeFrame(run.buffers, firstFrame, firstFrame);
  bool ready = false;
  inRegion(threads, [&] { ready = prepareFrame(run); });
  for (int64_t frame = firstFrame;; ++frame) {
    // After an error no frame starts, so none is prepared ahead.
    const bool nextAhead = frame + 1 < frameEnd && !run.log.errorRaised();
    if (nextAhead) {
      placeFrame(ahead.buffers, frame + 1, firstFrame);
      ahead.log = StageLog(StageLog::Recording{});
      ahead.record = run.record;
      ahead.stopReasonBefore = run.record.stopReason;
      ahead.stopDetailBefore = run.record.stopDetail;
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
    if (frame + 1 >= frameEnd) break;
    if (nextAhead) {
      ready = takeTurn(run, ahead);
    } else {
      placeFrame(run.buffers, frame + 1, firstFrame);
      ready = prepareFrame(run);
    }
  }
  releaseBuffers(ahead.buffers);
}

}  // namespace focustrack
