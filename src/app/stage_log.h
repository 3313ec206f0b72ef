// Stage log: the only writer to the console and the run's error state. It
// times the numbered stages (running averages over the run), adds up the
// frame's total, and once an error has been reported every timing call
// answers stop (non-zero). Times are elapsed milliseconds of a monotonic
// clock: with several threads, processor time would add the threads up.
//
// A recording log prints nothing: it keeps every call, with the times it
// measured, so that a frame prepared ahead on another thread can be replayed
// into the run's log when the frame's turn comes, line for line as if it had
// run there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace focustrack {

class StageLog {
 public:
  using Clock = long (*)();  // milliseconds of elapsed time

  // Prints "Start". `out` receives the log, `err` the plain reason lines.
  explicit StageLog(FILE* out = stdout, FILE* err = stderr, Clock clock = monotonicMilliseconds);

  // A recording log: prints nothing, keeps every call for replay.
  struct Recording {};
  explicit StageLog(Recording, Clock clock = monotonicMilliseconds);

  // Makes the calls a recording log kept on `log`, in order, with the times
  // the recording measured, and forgets them. False when `log` answered stop
  // to one of them (the rest are dropped) or holds an error afterwards.
  bool replayInto(StageLog& log);

  // Charges the time since the last timing call to `stage`. 0 = go on.
  int checkpoint(int stage);
  // Adds the stage's running average to the frame total. 0 = go on.
  int report(const char* label, int stage);
  // Timing message; with addToTotal the elapsed time joins the frame total.
  int message(const char* text, bool addToTotal);
  // "Frame %d Finished"-style line carrying the frame total; resets it.
  void frameDone(const std::string& text);
  // Yellow "Warning" line; `reason` goes to the error stream.
  void warning(const std::string& reason);
  // Sets the error flag; red "Error" line; `reason` goes to the error stream.
  void error(const std::string& reason);
  // "Finished".
  void finish();

  bool errorRaised() const { return errorRaised_; }
  double frameTotal() const { return frameTotal_; }
  // Accumulated milliseconds and checkpoint count of a stage (for benchmarks).
  int32_t stageTicks(int stage) const { return stageTicks_[stage]; }
  int32_t stageCount(int stage) const { return stageCounts_[stage]; }
  // Accumulated processor time of a stage on the thread that ran it, in
  // milliseconds (work it handed to other threads is not counted).
  double stageProcessorMs(int stage) const { return stageCpuMs_[stage]; }

  // Milliseconds of a monotonic clock since the first call in the process.
  static long monotonicMilliseconds();

  FILE* out() const { return out_; }
  // Called before anything is written to either stream (the progress line
  // wipes itself there).
  void setBeforeWrite(std::function<void()> hook) { beforeWrite_ = std::move(hook); }

 private:
  // One call kept by a recording log.
  struct Call {
    enum Kind { Checkpoint, Report, Message, Warning, Error } kind;
    int stage;
    bool addToTotal;
    int32_t ticks;      // measured time of a checkpoint or message
    double cpuMs;       // processor time of a checkpoint
    std::string text;   // label, message text or reason
  };

  void emit(const char* text, int kind, double value);
  void reason(const std::string& text);
  long elapsed() const;
  int chargeStage(int stage, int32_t ticks, double cpuMs);
  double threadCpuMs() const;
  int showMessage(const char* text, bool addToTotal, int32_t ticks);

  FILE* out_;
  FILE* err_;
  Clock clock_;
  int32_t startTicks_ = 0;
  int32_t lastTicks_ = 0;
  bool errorRaised_ = false;
  int32_t stageTicks_[100] = {};
  int32_t stageCounts_[100] = {};
  double stageCpuMs_[100] = {};
  double lastCpuMs_ = 0.0;
  int32_t level_ = 0;
  double frameTotal_ = 0.0;
  std::function<void()> beforeWrite_;
  bool recording_ = false;
  std::vector<Call> calls_;
};

}  // namespace focustrack
