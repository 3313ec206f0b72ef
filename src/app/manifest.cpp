#include "app/manifest.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "io/atomic_file.h"
#include "io/output_paths.h"

namespace focustrack {

std::string utcTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string jsonNumber(double value) {
  if (std::isnan(value)) return "\"nan\"";
  if (std::isinf(value)) return value > 0 ? "\"inf\"" : "\"-inf\"";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

void recordStop(RunRecord& record, const std::string& reason, const std::string& detail, int status) {
  if (record.stopReason != "running" && !record.stopReason.empty()) return;
  record.stopReason = reason;
  record.stopDetail = detail;
  record.exitStatus = status;
}

namespace {

// The input options, only when one differs from its default (absent means
// scale 1, channel 1, slices in file order).
std::string inputOptions(const RunSettings& s) {
  if (s.scale == 1.0 && s.channel == 1 && !s.reverseSlices) return "";
  char text[160];
  std::snprintf(text, sizeof text, ",\n    \"scale\": %.17g,\n    \"channel\": %d,\n    \"reverseSlices\": %s",
                s.scale, s.channel, s.reverseSlices ? "true" : "false");
  return text;
}

// The row filters appear only when one is set, so run.json of a run without
// them stays as it was.
std::string rowFilters(const RunSettings& s) {
  std::string text;
  if (!s.excludeMaskPath.empty()) text += ",\n    \"excludeMask\": " + jsonString(s.excludeMaskPath);
  if (s.minArea > 0) text += ",\n    \"minArea\": " + std::to_string(s.minArea);
  if (s.maxArea > 0) text += ",\n    \"maxArea\": " + std::to_string(s.maxArea);
  if (s.minCircularity > 0.0) {
    char number[32];
    std::snprintf(number, sizeof number, "%.17g", s.minCircularity);
    text += std::string(",\n    \"minCircularity\": ") + number;
  }
  return text;
}

// The output choices beyond the classic ones, only when one differs from its
// default.
std::string pictureOptions(const RunSettings& s) {
  std::string text;
  if (s.writeMaskStack) text += ",\n    \"writeMaskStack\": true";
  if (s.imageZoom != 1) text += ",\n    \"imageZoom\": " + std::to_string(s.imageZoom);
  if (s.imageFormat != "bmp") text += ",\n    \"imageFormat\": " + jsonString(s.imageFormat);
  return text;
}

// A unit's entry, only when the value is known: its value and where it came
// from. A run that knows neither writes the manifest it always wrote.
std::string unitEntry(const char* key, const char* name, double value, const std::string& source,
                      const std::string& extra = "") {
  if (!(value > 0.0)) return "";
  char number[32];
  std::snprintf(number, sizeof number, "%.17g", value);
  return std::string(",\n  \"") + key + "\": {\"" + name + "\": " + number + ", \"source\": " +
         jsonString(source) + extra + "}";
}

// The analysed pixel size; with a scale also the input's.
std::string pixelSizeEntry(const RunSettings& s) {
  std::string extra;
  if (s.scale != 1.0 && s.pixelSize > 0.0) {
    char number[32];
    std::snprintf(number, sizeof number, "%.17g", s.pixelSize);
    extra = std::string(", \"inputMicrons\": ") + number;
  }
  return unitEntry("pixelSize", "microns", analysedPixelSize(s), s.pixelSizeSource, extra);
}

std::string settingsObject(const RunSettings& s) {
  char numbers[512];
  std::snprintf(numbers, sizeof numbers,
                "    \"width\": %d,\n    \"height\": %d,\n    \"firstFrame\": %d,\n"
                "    \"frameCount\": %d,\n    \"frameDigits\": %d,\n    \"firstSlice\": %d,\n"
                "    \"sliceCount\": %d,\n    \"sliceDigits\": %d,\n    \"nucleusThreshold\": %s,\n"
                "    \"coreThreshold\": %s,\n    \"riseTolerance\": %s,\n"
                "    \"sliceTrimLimit\": %d,\n",
                s.width, s.height, s.firstFrame, s.frameCount, s.frameDigits, s.firstSlice,
                s.sliceCount, s.sliceDigits, jsonNumber(s.nucleusThreshold).c_str(),
                jsonNumber(s.coreThreshold).c_str(), jsonNumber(s.riseTolerance).c_str(),
                s.sliceTrimLimit);
  return "{\n    \"pathPattern\": " + jsonString(s.pathPattern) + ",\n    \"outputFolder\": " +
         jsonString(s.outputFolder) + ",\n" + numbers + "    \"writeResultImages\": " +
         (s.writeResultImages ? "true" : "false") + ",\n    \"writeMasks\": " +
         (s.writeMasks ? "true" : "false") + ",\n    \"dumpFolder\": " + jsonString(s.dumpFolder) +
         inputOptions(s) + rowFilters(s) + pictureOptions(s) + "\n  }";
}

// Present only when something could not be written, so that the manifest of
// a clean run keeps its fields.
std::string writeFailuresFields(const RunRecord& record) {
  if (record.writeFailures == 0) return "";
  return ",\n  \"writeFailures\": " + std::to_string(record.writeFailures) +
         ",\n  \"firstWriteFailure\": " + jsonString(record.firstWriteFailure);
}

}  // namespace

bool writeManifest(const RunSettings& settings, const RunRecord& record, std::string* reason) {
  std::string words;
  for (size_t i = 0; i < record.commandLine.size(); ++i) {
    words += (i > 0 ? ", " : "") + jsonString(record.commandLine[i]);
  }
  const std::string text =
      "{\n  \"program\": \"focustrack\",\n  \"version\": " + jsonString(FOCUSTRACK_VERSION) +
      ",\n  \"commandLine\": [" + words + "],\n  \"settings\": " + settingsObject(settings) +
      pixelSizeEntry(settings) +
      unitEntry("frameInterval", "minutes", settings.frameInterval, settings.frameIntervalSource) +
      ",\n  \"startTime\": " + jsonString(record.startTime) + ",\n  \"endTime\": " +
      (record.endTime.empty() ? std::string("null") : jsonString(record.endTime)) +
      ",\n  \"framesCompleted\": " + std::to_string(record.framesCompleted) +
      ",\n  \"stopReason\": " + jsonString(record.stopReason) + ",\n  \"stopDetail\": " +
      jsonString(record.stopDetail) + writeFailuresFields(record) + "\n}\n";
  const std::string path = outputPath(settings.outputFolder, "run.json");
  const std::string temporary = temporaryPath(path);
  FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) {
    *reason = "cannot write '" + path + "': " + std::strerror(errno);
    return false;
  }
  const bool ok = std::fputs(text.c_str(), file) >= 0 && std::fflush(file) == 0;
  const int savedErrno = errno;
  if (std::fclose(file) != 0 || !ok) {
    *reason = "cannot write '" + path + "': " + std::strerror(ok ? errno : savedErrno);
    discardFile(temporary, path);
    return false;
  }
  std::string why;
  if (!publishFile(temporary, path, &why)) {
    *reason = "cannot write '" + path + "': " + why;
    return false;
  }
  return true;
}

void saveManifest(const RunSettings& settings, const RunRecord& record, FILE* err) {
  std::string why;
  if (!writeManifest(settings, record, &why)) std::fprintf(err, "focustrack: %s\n", why.c_str());
}

}  // namespace focustrack
