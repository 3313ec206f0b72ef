#include "app/stage_log.h"

#include <time.h>

#include <chrono>

namespace focustrack {

namespace {

// Message kinds: they pick the colour and whether a line is shown.
constexpr int kTimingApart = -2;  // timing message not added to the frame total
constexpr int kTiming = -1;       // timing message added to the total; reports
constexpr int kPlain = 0;
constexpr int kWarning = 1;
constexpr int kError = 2;

const char* colourOf(int kind) {
  switch (kind) {
    case kTimingApart: return "\x1b[34m";
    case kTiming: return "\x1b[36m";
    case kWarning: return "\x1b[33m";
    case kError: return "\x1b[31m";
    default: return "";
  }
}

constexpr const char* kColourReset = "\x1b[39m";

}  // namespace

long StageLog::monotonicMilliseconds() {
  using Steady = std::chrono::steady_clock;
  static const Steady::time_point origin = Steady::now();
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - origin).count());
}

StageLog::StageLog(FILE* out, FILE* err, Clock clock) : out_(out), err_(err), clock_(clock) {
  startTicks_ = static_cast<int32_t>(clock_());
  lastTicks_ = static_cast<int32_t>(clock_());
  lastCpuMs_ = threadCpuMs();
  emit("Start", kPlain, 0.0);
}

StageLog::StageLog(Recording, Clock clock) : out_(nullptr), err_(nullptr), clock_(clock), recording_(true) {
  startTicks_ = static_cast<int32_t>(clock_());
  lastTicks_ = startTicks_;
  lastCpuMs_ = threadCpuMs();
}

bool StageLog::replayInto(StageLog& log) {
  bool goOn = true;
  for (const Call& call : calls_) {
    switch (call.kind) {
      case Call::Checkpoint: goOn = log.chargeStage(call.stage, call.ticks, call.cpuMs) == 0; break;
      case Call::Report: goOn = log.report(call.text.c_str(), call.stage) == 0; break;
      case Call::Message: goOn = log.showMessage(call.text.c_str(), call.addToTotal, call.ticks) == 0; break;
      case Call::Warning: log.warning(call.text); break;
      case Call::Error: log.error(call.text); break;
    }
    if (!goOn) break;
  }
  calls_.clear();
  return goOn && !log.errorRaised_;
}

long StageLog::elapsed() const { return clock_() - startTicks_; }

void StageLog::emit(const char* text, int kind, double value) {
  if (recording_ || kind < level_) return;
  if (beforeWrite_) beforeWrite_();
  std::fputs(colourOf(kind), out_);
  if (value > 0 && kind == kTiming) {
    std::fprintf(out_, "\n%8ld ms |%8.2f ms |%8.2f ms | %s", elapsed(), frameTotal_, value, text);
  } else if (value > 0) {
    std::fprintf(out_, "\n%8ld ms |            |%8.2f ms | %s", elapsed(), value, text);
  } else {
    std::fprintf(out_, "\n%8ld ms |            |            | %s", elapsed(), text);
  }
  if (kind != kPlain) std::fputs(kColourReset, out_);
  std::fflush(out_);
}

void StageLog::reason(const std::string& text) {
  if (recording_) return;
  if (beforeWrite_) beforeWrite_();
  std::fprintf(err_, "focustrack: %s\n", text.c_str());
  std::fflush(err_);
}

double StageLog::threadCpuMs() const {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

int StageLog::checkpoint(int stage) {
  if (errorRaised_) return 1;
  const int32_t ticks = static_cast<int32_t>(clock_()) - lastTicks_;
  const double cpuMs = threadCpuMs() - lastCpuMs_;
  if (recording_) calls_.push_back({Call::Checkpoint, stage, false, ticks, cpuMs, {}});
  return chargeStage(stage, ticks, cpuMs);
}

int StageLog::chargeStage(int stage, int32_t ticks, double cpuMs) {
  if (errorRaised_) return 1;
  stageTicks_[stage] += ticks;
  stageCounts_[stage] += 1;
  stageCpuMs_[stage] += cpuMs;
  lastTicks_ = static_cast<int32_t>(clock_());
  lastCpuMs_ = threadCpuMs();
  return 0;
}

int StageLog::report(const char* label, int stage) {
  if (errorRaised_) return 1;
  if (recording_) {
    calls_.push_back({Call::Report, stage, false, 0, 0.0, label});
    lastTicks_ = static_cast<int32_t>(clock_());
    lastCpuMs_ = threadCpuMs();
    return 0;
  }
  // The running average over all frames so far, not the last frame's time.
  const double average = static_cast<double>(stageTicks_[stage]) / stageCounts_[stage];
  frameTotal_ += average;
  emit(label, kTiming, average);
  lastTicks_ = static_cast<int32_t>(clock_());
  lastCpuMs_ = threadCpuMs();
  return 0;
}

int StageLog::message(const char* text, bool addToTotal) {
  if (errorRaised_) return 1;
  if (recording_) {
    const int32_t ticks = static_cast<int32_t>(clock_()) - lastTicks_;
    calls_.push_back({Call::Message, 0, addToTotal, ticks, 0.0, text});
    lastTicks_ = static_cast<int32_t>(clock_());
    lastCpuMs_ = threadCpuMs();
    return 0;
  }
  if (addToTotal) frameTotal_ += static_cast<int32_t>(clock_()) - lastTicks_;
  const double measured = static_cast<int32_t>(clock_()) - lastTicks_;
  emit(text, addToTotal ? kTiming : kTimingApart, measured);
  lastTicks_ = static_cast<int32_t>(clock_());
  lastCpuMs_ = threadCpuMs();
  return 0;
}

int StageLog::showMessage(const char* text, bool addToTotal, int32_t ticks) {
  if (errorRaised_) return 1;
  if (addToTotal) frameTotal_ += ticks;
  emit(text, addToTotal ? kTiming : kTimingApart, ticks);
  lastTicks_ = static_cast<int32_t>(clock_());
  lastCpuMs_ = threadCpuMs();
  return 0;
}

void StageLog::frameDone(const std::string& text) {
  if (level_ <= 0 && !recording_) {
    if (beforeWrite_) beforeWrite_();
    if (frameTotal_ > 0) {
      std::fprintf(out_, "\n%8ld ms |            |%8.2f ms | %s", elapsed(), frameTotal_, text.c_str());
    } else {
      std::fprintf(out_, "\n%8ld ms |            |            | %s", elapsed(), text.c_str());
    }
    std::fflush(out_);
  }
  frameTotal_ = 0.0;
}

void StageLog::warning(const std::string& why) {
  if (recording_) {
    calls_.push_back({Call::Warning, 0, false, 0, 0.0, why});
    return;
  }
  if (level_ <= 1) emit("Warning", kWarning, 0.0);
  reason(why);
}

void StageLog::error(const std::string& why) {
  errorRaised_ = true;
  if (recording_) {
    calls_.push_back({Call::Error, 0, false, 0, 0.0, why});
    return;
  }
  if (level_ <= 2) emit("Error", kError, 0.0);
  reason(why);
}

void StageLog::finish() {
  if (level_ <= 0) emit("Finished", kPlain, 0.0);
}

}  // namespace focustrack
