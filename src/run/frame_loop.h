// The run's spine: start-up, the loop over frames that calls every stage in
// its fixed order, the hand-over of the current cells to the next frame, and
// shut-down.
#pragma once

#include <cstdio>

// Performs the whole run for the command-line words (program name first) and
// returns the exit status: 0, or 1 when a table cannot be created. The log
// goes to `out`, reason lines to `err`.
int runPipeline(int argc, const char* const* argv, FILE* out = stdout, FILE* err = stderr);
