#include "run/progress.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "run/stage_log.h"
#include "support/run_capture.h"

namespace {

const std::regex kLine("frame [0-9]+ of 3, [0-9]+ ms per frame, about [0-9]+ s left\x1b\\[K");

TEST(Progress, OffWritesNothing) {
  FILE* err = std::tmpfile();
  {
    Progress progress(err, 3, Progress::Mode::Off);
    progress.frameDone(1);
  }
  EXPECT_EQ(readStream(err), "");
}

TEST(Progress, AloneRewritesOneLineAndEndsIt) {
  FILE* err = std::tmpfile();
  {
    Progress progress(err, 3, Progress::Mode::Alone);
    progress.frameDone(1);
    progress.frameDone(2);
  }
  const std::string text = readStream(err);
  ASSERT_EQ(text.substr(0, 9), "\rframe 1 ");
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(std::regex_replace(text, kLine, "<line>"), "\r<line>\r<line>\n");
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
  EXPECT_EQ(std::regex_replace(readStream(err), kLine, "<line>"),
            "\n<line>" + wipe + "focustrack: frame 2: something\n\n<line>" + wipe);
}

}  // namespace
