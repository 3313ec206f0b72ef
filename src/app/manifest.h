// The run manifest: run.json in the output folder, saying which program and
// settings produced the tables, when, how many frames completed and why the
// run stopped.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "frame/settings.h"

namespace focustrack {

struct RunRecord {
  std::vector<std::string> commandLine;  // the words as given, program name first
  std::string startTime;                 // ISO 8601, UTC
  std::string endTime;                   // empty while the run is going
  int32_t framesCompleted = 0;
  std::string stopReason;                // "running", "end of frames", "missing slice", ...
  std::string stopDetail;                // e.g. the path of the slice that failed
  int32_t writeFailures = 0;             // images, masks or dumps that could not be written
  std::string firstWriteFailure;         // the first of them, with its cause
  int exitStatus = 0;                    // the process exit status the run ends with
};

// Exit statuses: the run did what was asked; it could not start or a write
// failed; it ended early at a frame that is there but broken.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBrokenFrame = 2;

// Ends the run's story: the reason, its detail and the exit status. The
// first stop is kept; a later one changes nothing.
void recordStop(RunRecord& record, const std::string& reason, const std::string& detail, int status);

// Current time as 2026-12-06T20:14:09Z.
std::string utcTimestamp();

// Writes run.json into the output folder, under a temporary name renamed
// when complete, so that run.json is always a whole JSON document. False with
// a reason on failure.
bool writeManifest(const RunSettings& settings, const RunRecord& record, std::string* reason);

// writeManifest for a run that goes on: a failure is said on `err` only, so
// that the console log stays as it is.
void saveManifest(const RunSettings& settings, const RunRecord& record, FILE* err);

// JSON string literal with the necessary escapes.
std::string jsonString(const std::string& text);

// JSON number with 17 significant digits; JSON has no not-a-number or
// infinity, so those are written as the strings "nan", "inf" and "-inf".
std::string jsonNumber(double value);

}  // namespace focustrack
