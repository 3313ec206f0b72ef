// The frame pipeline: with more than one thread, the next frame is loaded
// and taken through the input stages (those that read nothing of an earlier
// frame) on buffers of its own while the current frame completes, and the
// second frame while the first is taken through them; at its turn its input
// buffers change places with the run's. Its log calls are
// recorded and replayed into the run's log at that point, so the console,
// the files and the run record come out as a one-thread run makes them.
#pragma once

#include <cstdint>
#include <functional>

#include "app/frame_loop.h"

namespace focustrack {

// Runs frames firstFrame .. frameEnd - 1 through prepareFrame and
// completeFrame, in order, with run.settings.threads threads (0 = every core
// the process may use; 1 = everything on the calling thread, one frame after
// another). Calls `completed` after every completed frame. No frame starts
// once the run is interrupted; true when a frame was left undone for that.
bool runFramePipeline(Run& run, int64_t firstFrame, int64_t frameEnd,
                      const std::function<void()>& completed);

// The thread count a run uses.
int32_t runThreads(const RunSettings& settings);

}  // namespace focustrack
