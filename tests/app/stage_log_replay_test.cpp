// A recording log replayed into the run's log: the same lines, totals and
// stop answers as the calls made on the run's log directly.
#include "app/stage_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

long fakeNow = 0;
long fakeClock() { return fakeNow; }

// The calls of a frame's first half: one slice missing when `fail`.
int prepareLike(StageLog& log, bool fail) {
  if (log.message("Frame Start", true)) return 1;
  fakeNow += 5;
  if (fail) log.error("cannot read slice 't1_z2.tif'");
  log.warning("a note");
  if (log.message("Image Loaded", true)) return 1;
  fakeNow += 20;
  if (log.checkpoint(10)) return 1;
  return log.report("[10] Stack Selected", 10);
}

struct Logged {
  std::string out;
  std::string err;
  int32_t ticks;
  double total;
};

// The calls made on the run's log directly, or on a recording replayed into
// it (`goOn` is then the replay's answer).
Logged logged(bool fail, bool replay, bool* goOn) {
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  fakeNow = 0;
  StageLog log(out, err, fakeClock);
  if (replay) {
    StageLog recording(StageLog::Recording{}, fakeClock);
    EXPECT_EQ(prepareLike(recording, fail) != 0, fail);
    *goOn = recording.replayInto(log);
  } else {
    prepareLike(log, fail);
  }
  Logged l{"", "", log.stageTicks(10), log.frameTotal()};
  l.out = readStream(out);
  l.err = readStream(err);
  return l;
}

TEST(ThreadsStageLog, AReplayedRecordingPrintsWhatDirectCallsPrint) {
  for (bool fail : {false, true}) {
    bool goOn = false;
    const Logged d = logged(fail, false, &goOn);
    const Logged r = logged(fail, true, &goOn);
    EXPECT_EQ(goOn, !fail);
    EXPECT_EQ(withoutTimes(r.out), withoutTimes(d.out));
    EXPECT_EQ(r.err, d.err);
    EXPECT_EQ(r.ticks, d.ticks);
    EXPECT_EQ(r.total, d.total);
  }
}

TEST(ThreadsStageLog, ALogThatAlreadyStoppedDropsTheRecording) {
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  StageLog log(out, err, fakeClock);
  log.error("an earlier frame failed");
  StageLog recording(StageLog::Recording{}, fakeClock);
  prepareLike(recording, false);
  EXPECT_FALSE(recording.replayInto(log));
  EXPECT_EQ(log.stageCount(10), 0);
  const std::string text = readStream(out);
  EXPECT_EQ(text.find("Warning"), std::string::npos);  // nothing after the stop
  readStream(err);
}

TEST(Settings, ThreadsTakeACountAndRejectNegativeOnes) {
  const char* words[] = {"focustrack", "--threads", "3"};
  EXPECT_EQ(parseCommandLine(3, words).threads, 3);
  const char* none[] = {"focustrack"};
  EXPECT_EQ(parseCommandLine(1, none).threads, 0);  // every core
  const char* negative[] = {"focustrack", "--threads", "-2"};
  std::string why;
  EXPECT_FALSE(sizesAreUsable(parseCommandLine(3, negative), &why));
  EXPECT_NE(why.find("--threads"), std::string::npos);
}

}  // namespace

}  // namespace focustrack
