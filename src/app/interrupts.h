// SIGINT and SIGTERM ask the run to stop. The handler only notes the signal;
// the frame loop looks at the note between stages and frames, so that the
// file being written is finished, run.json records the interruption, and the
// process ends with 128 + the signal number (130, 143).
#pragma once

namespace focustrack {

// Installs the handlers for its lifetime and clears any earlier note. A
// second signal of the same kind ends the process at once (the default).
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// The signal that asked the run to stop, 0 while none has.
int interruptSignal();

// "SIGINT", "SIGTERM", or "signal" for any other.
const char* signalName(int signal);

}  // namespace focustrack
