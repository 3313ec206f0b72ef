// The run's spine: start-up, the frames, and shut-down.
#pragma once

#include <cstdio>

namespace focustrack {

// Performs the whole run for the command-line words (program name first) and
// returns the exit status: 0, or 1 when a table cannot be created. The log
// goes to `out`, reason lines to `err`.
int runPipeline(int argc, const char* const* argv, FILE* out = stdout, FILE* err = stderr);

}  // namespace focustrack
