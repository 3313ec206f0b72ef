#include "app/progress.h"

#include <unistd.h>

namespace focustrack {

namespace {
// Clears the line; in shared mode also returns to the end of the log line
// above, so that the log's next line break lands on the cleared line.
constexpr const char* kClearLine = "\r\x1b[K";
constexpr const char* kBackToLogLine = "\x1b[1A\x1b[999C";
}  // namespace

std::string progressText(int64_t done, int64_t frames, double elapsedMs) {
  const double perFrame = elapsedMs / static_cast<double>(done);
  const double secondsLeft = perFrame * static_cast<double>(frames - done) / 1000.0;
  const auto print = [&](char* to, size_t room) {
    return std::snprintf(to, room, "frame %lld of %lld, %.0f ms per frame, about %.0f s left",
                         static_cast<long long>(done), static_cast<long long>(frames), perFrame, secondsLeft);
  };
  std::string text(static_cast<size_t>(print(nullptr, 0)), '\0');
  print(text.data(), text.size() + 1);
  return text;
}

Progress::Mode Progress::modeFor(FILE* out, FILE* err) {
  if (isatty(fileno(err)) == 0) return Mode::Off;
  return isatty(fileno(out)) != 0 ? Mode::Shared : Mode::Alone;
}

Progress::Progress(FILE* err, int64_t frames, Mode mode)
    : err_(err), frames_(frames), mode_(mode), start_(Clock::now()) {}

Progress::~Progress() {
  if (mode_ == Mode::Alone && drawn_) std::fputc('\n', err_);
  wipe();
}

void Progress::wipe() {
  if (mode_ != Mode::Shared || !drawn_) return;
  std::fputs(kClearLine, err_);
  std::fputs(kBackToLogLine, err_);
  std::fflush(err_);
  drawn_ = false;
}

void Progress::frameDone(int64_t done) {
  if (mode_ == Mode::Off || done <= 0) return;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
  if (mode_ == Mode::Shared) {
    wipe();
    std::fputc('\n', err_);
  } else {
    std::fputc('\r', err_);
  }
  std::fprintf(err_, "%s\x1b[K", progressText(done, frames_, ms).c_str());
  std::fflush(err_);
  drawn_ = true;
}

}  // namespace focustrack
