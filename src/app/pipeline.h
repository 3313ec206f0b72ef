// The run's spine: start-up, the frames, and shut-down.
#pragma once

#include <cstdio>

namespace focustrack {

// Performs the whole run for the command-line words (program name first) and
// returns the exit status: 0 when every requested frame completed or the
// recording ended (a frame none of whose slices exists); 2 when the run
// ended at a frame that is there but broken (some slices missing or
// unreadable); 1 when the run could not start (unusable settings, allocation
// failure, an output folder, table or dump folder that cannot be created, an
// output folder locked by another run) or a write failed; 128 + the signal
// (130, 143) after SIGINT or SIGTERM. The log goes to `out`, reason lines to
// `err`.
int runPipeline(int argc, const char* const* argv, FILE* out = stdout, FILE* err = stderr);

}  // namespace focustrack
