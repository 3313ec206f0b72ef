#include "app/stage_log.h"

#include <ctime>

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

long StageLog::processMilliseconds() {
  return static_cast<long>(std::clock() / (CLOCKS_PER_SEC / 1000));
}

StageLog::StageLog(FILE* out, FILE* err, Clock clock) : out_(out), err_(err), clock_(clock) {
  startTicks_ = static_cast<int32_t>(clock_());
  lastTicks_ = static_cast<int32_t>(clock_());
  emit("Start", kPlain, 0.0);
}

long StageLog::elapsed() const { return clock_() - startTicks_; }

void StageLog::emit(const char* text, int kind, double value) {
  if (kind < level_) return;
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
  if (beforeWrite_) beforeWrite_();
  std::fprintf(err_, "focustrack: %s\n", text.c_str());
  std::fflush(err_);
}

int StageLog::checkpoint(int stage) {
  if (errorRaised_) return 1;
  stageTicks_[stage] += static_cast<int32_t>(clock_()) - lastTicks_;
  stageCounts_[stage] += 1;
  lastTicks_ = static_cast<int32_t>(clock_());
  return 0;
}

int StageLog::report(const char* label, int stage) {
  if (errorRaised_) return 1;
  // The running average over all frames so far, not the last frame's time.
  const double average = static_cast<double>(stageTicks_[stage]) / stageCounts_[stage];
  frameTotal_ += average;
  emit(label, kTiming, average);
  lastTicks_ = static_cast<int32_t>(clock_());
  return 0;
}

int StageLog::message(const char* text, bool addToTotal) {
  if (errorRaised_) return 1;
  if (addToTotal) frameTotal_ += static_cast<int32_t>(clock_()) - lastTicks_;
  const double measured = static_cast<int32_t>(clock_()) - lastTicks_;
  emit(text, addToTotal ? kTiming : kTimingApart, measured);
  lastTicks_ = static_cast<int32_t>(clock_());
  return 0;
}

void StageLog::frameDone(const std::string& text) {
  if (level_ <= 0) {
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
  if (level_ <= 1) emit("Warning", kWarning, 0.0);
  reason(why);
}

void StageLog::error(const std::string& why) {
  errorRaised_ = true;
  if (level_ <= 2) emit("Error", kError, 0.0);
  reason(why);
}

void StageLog::finish() {
  if (level_ <= 0) emit("Finished", kPlain, 0.0);
}

}  // namespace focustrack
