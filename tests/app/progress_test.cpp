#include "app/progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/stage_log.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

// Replaces every progress line "frame n of 3, … s left" (with its line
// clear) by "<line>".
std::string withLinesMarked(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    int done = 0, used = 0;
    double ms = 0, left = 0;
    if (std::sscanf(text.c_str() + i, "frame %d of 3, %lf ms per frame, about %lf s left\x1b[K%n", &done,
                    &ms, &left, &used) == 3 &&
        used > 0) {
      out += "<line>";
      i += static_cast<size_t>(used);
    } else {
      out += text[i++];
    }
  }
  return out;
}

TEST(Progress, TimePerFrameAndTimeLeftAtThatPace) {
  EXPECT_EQ(progressText(2, 5, 6000.0), "frame 2 of 5, 3000 ms per frame, about 9 s left");
  EXPECT_EQ(progressText(3, 7, 1000.0), "frame 3 of 7, 333 ms per frame, about 1 s left");
}

// Alone, the line is rewritten in place and ended at the close; off, nothing
// is written.
TEST(Progress, AloneRewritesOneLineAndEndsIt) {
  FILE* err = std::tmpfile();
  for (const Progress::Mode mode : {Progress::Mode::Off, Progress::Mode::Alone}) {
    Progress progress(err, 3, mode);
    progress.frameDone(1);
    progress.frameDone(2);
  }
  const std::string text = readStream(err);
  ASSERT_EQ(text.substr(0, 9), "\rframe 1 ");
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(withLinesMarked(text), "\r<line>\r<line>\n");
}

// Beside the log, the line is wiped before every log write and put back
// below the newest log line.
TEST(Progress, SharedWipesItselfBeforeTheLogWrites) {
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  {
    StageLog log(out, err);
    Progress progress(err, 3, Progress::Mode::Shared);
    log.setBeforeWrite([&progress] { progress.wipe(); });
    progress.frameDone(1);
    log.warning("frame 2: something");
    progress.frameDone(2);
    log.setBeforeWrite(nullptr);
  }
  const std::string wipe = "\r\x1b[K\x1b[1A\x1b[999C";
  EXPECT_EQ(withLinesMarked(readStream(err)),
            "\n<line>" + wipe + "focustrack: frame 2: something\n\n<line>" + wipe);
}

}  // namespace

}  // namespace focustrack
