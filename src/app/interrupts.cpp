#include "app/interrupts.h"

#include <csignal>

namespace focustrack {

namespace {

volatile std::sig_atomic_t requestedBy = 0;

struct sigaction previousInterrupt {};
struct sigaction previousTerminate {};

extern "C" void noteInterrupt(int signal) { requestedBy = signal; }

void install(int signal, struct sigaction* previous) {
  struct sigaction action {};
  action.sa_handler = noteInterrupt;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls go on; the one-shot handler lets a second
  // signal end the process at once.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(signal, &action, previous);
}

}  // namespace

InterruptGuard::InterruptGuard() {
  requestedBy = 0;
  install(SIGINT, &previousInterrupt);
  install(SIGTERM, &previousTerminate);
}

InterruptGuard::~InterruptGuard() {
  sigaction(SIGINT, &previousInterrupt, nullptr);
  sigaction(SIGTERM, &previousTerminate, nullptr);
}

int interruptSignal() { return requestedBy; }

const char* signalName(int signal) {
  if (signal == SIGINT) return "SIGINT";
  if (signal == SIGTERM) return "SIGTERM";
  return "signal";
}

}  // namespace focustrack
