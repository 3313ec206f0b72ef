// Progress for a person at a terminal: one line on the error stream, frame n
// of N with the time per frame and the time left, rewritten after every
// frame. When the log shares the terminal, the line sits below the last log
// line and is wiped before anything else is written, so the log reads as it
// would without it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace focustrack {

// The line's text after `done` of `frames` frames took `elapsedMs` in all:
// the time per frame, and the time left at that pace.
std::string progressText(int64_t done, int64_t frames, double elapsedMs);

class Progress {
 public:
  enum class Mode {
    Off,      // the error stream is no terminal
    Alone,    // only the error stream is a terminal
    Shared,   // the log and the error stream share the terminal
  };
  // The mode that fits the two streams.
  static Mode modeFor(FILE* out, FILE* err);

  Progress(FILE* err, int64_t frames, Mode mode);
  ~Progress();

  // Draws the line after `done` completed frames.
  void frameDone(int64_t done);
  // Removes the line before the log or a reason line is written.
  void wipe();

 private:
  using Clock = std::chrono::steady_clock;
  FILE* err_;
  int64_t frames_;
  Mode mode_;
  bool drawn_ = false;
  Clock::time_point start_;
};

}  // namespace focustrack
