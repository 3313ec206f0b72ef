// The console log of the stages and the progress line beside it.
#include "app/stage_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/progress.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

long fakeNow = 0;
long fakeClock() { return fakeNow; }

struct Capture {
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  std::string text() { return readStream(out); }
};

TEST(StageLog, LayoutsColoursAndRunningAverages) {
  Capture c;
  fakeNow = 1000;
  std::string text;
  {
    StageLog log(c.out, c.err, fakeClock);
    fakeNow = 1005;
    log.message("Image Saved", false);               // not added
    fakeNow = 1010;
    EXPECT_EQ(log.message("Frame Start", true), 0);  // +5, the time since the last timing call
    fakeNow = 1030;
    EXPECT_EQ(log.checkpoint(10), 0);                // stage 10: 20 ms
    EXPECT_EQ(log.report("[10] Stack Selected", 10), 0);  // +20
    log.frameDone("Frame 1 Finished");
    EXPECT_EQ(log.frameTotal(), 0.0);
    fakeNow = 1070;
    EXPECT_EQ(log.checkpoint(10), 0);                // stage 10: 40 ms, average 30
    EXPECT_EQ(log.report("[10] Stack Selected", 10), 0);
    EXPECT_EQ(log.frameTotal(), 30.0);
    log.frameDone("Frame 2 Finished");
    log.frameDone("Frame 3 Finished");               // total 0: layout A
    log.warning("why it warned");
    fakeNow = 2234;
    log.finish();
  }
  EXPECT_EQ(c.text(),
            "\n       0 ms |            |            | Start"
            "\n      30 ms |            |   25.00 ms | Frame 1 Finished"
            "\n      70 ms |            |   30.00 ms | Frame 2 Finished"
            "\n      70 ms |            |            | Frame 3 Finished"
            "\x1b[33m\n      70 ms |            |            | Warning\x1b[39m"
            "\n    1234 ms |            |            | Finished");
  EXPECT_EQ(readStream(c.err), "focustrack: why it warned\n");
}

TEST(StageLog, ErrorMakesEveryTimingCallAnswerStop) {
  Capture c;
  fakeNow = 0;
  StageLog log(c.out, c.err, fakeClock);
  log.error("cannot read slice 'a.tif': file not found");
  EXPECT_TRUE(log.errorRaised());
  EXPECT_NE(log.checkpoint(10), 0);
  EXPECT_NE(log.report("[10] Stack Selected", 10), 0);  // no 0 / 0
  EXPECT_NE(log.message("Frame Start", true), 0);
  EXPECT_EQ(log.stageCount(10), 0);
  // The Error line itself is pinned by the runs that cannot start.
  EXPECT_EQ(readStream(c.err), "focustrack: cannot read slice 'a.tif': file not found\n");
}

// A recording replayed into a log that has already stopped is dropped
// (that a replay prints what direct calls print is pinned by ThreadsRuns,
// which compare consoles and error streams).
TEST(ThreadsStageLog, ALogThatAlreadyStoppedDropsTheRecording) {
  Capture c;
  StageLog log(c.out, c.err, fakeClock);
  log.error("an earlier frame failed");
  StageLog recording(StageLog::Recording{}, fakeClock);
  recording.message("Frame Start", true);
  recording.warning("a note");
  recording.checkpoint(10);
  recording.report("[10] Stack Selected", 10);
  EXPECT_FALSE(recording.replayInto(log));
  EXPECT_EQ(log.stageCount(10), 0);
  EXPECT_EQ(c.text().find("Warning"), std::string::npos);  // nothing after the stop
}

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
