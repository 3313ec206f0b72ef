// The run manifest: run.json in the output folder, saying which program and
// settings produced the tables, when, how many frames completed and why the
// run stopped.
#pragma once

#include <cstdint>
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
};

// Current time as 2026-12-06T20:14:09Z.
std::string utcTimestamp();

// Writes run.json into the output folder. False with a reason on failure.
bool writeManifest(const RunSettings& settings, const RunRecord& record, std::string* reason);

// JSON string literal with the necessary escapes.
std::string jsonString(const std::string& text);

}  // namespace focustrack
