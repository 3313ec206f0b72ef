#include "output/unit_columns.h"

namespace focustrack {

namespace {

constexpr double kMinutesPerHour = 60.0;

constexpr const char* kTrackUnitHeader[] = {"First Time (min)", "Last Time (min)", "Size at Start (um^2)",
                                            "Size at End (um^2)", "Growth Rate (um^2/h)", "Mean Move (um)"};
constexpr const char* kEventUnitHeader[] = {"Time (min)", "From Sizes (um^2)", "To Sizes (um^2)"};

bool pixelSizeKnown(const RunSettings& s) { return analysedPixelSize(s) > 0.0; }
bool intervalKnown(const RunSettings& s) { return s.frameInterval > 0.0; }

void realOrEmpty(RowWriter& row, bool known, double value) {
  if (known) {
    row.real(value);
  } else {
    row.empty();
  }
}

// Space-separated square microns, in the order of the pixel list.
std::string areaList(const RunSettings& s, const std::vector<int32_t>& sizes) {
  std::string text;
  for (const int32_t size : sizes) {
    if (!text.empty()) text += ' ';
    text += formatDouble(squareMicrons(s, size));
  }
  return text;
}

}  // namespace

bool hasUnitColumns(const RunSettings& s) { return pixelSizeKnown(s) || intervalKnown(s); }

void writeTrackUnitHeader(RowWriter& row) {
  for (const char* name : kTrackUnitHeader) row.text(name);
}

void writeEventUnitHeader(RowWriter& row) {
  for (const char* name : kEventUnitHeader) row.text(name);
}

double minutesAt(const RunSettings& s, int32_t frame) {
  return static_cast<double>(int64_t{frame} - s.firstFrame) * s.frameInterval;
}

double squareMicrons(const RunSettings& s, double pixels) {
  const double width = analysedPixelSize(s);
  return pixels * (width * width);
}

double microns(const RunSettings& s, double widths) { return widths * analysedPixelSize(s); }

double squareMicronsPerHour(const RunSettings& s, double pixelsPerFrame) {
  return squareMicrons(s, pixelsPerFrame) * (kMinutesPerHour / s.frameInterval);
}

void writeTrackUnits(const RunSettings& s, RowWriter& row, int32_t firstFrame, int32_t lastFrame,
                     int32_t rows, int32_t startSize, int32_t endSize, double growth, double meanMove) {
  realOrEmpty(row, intervalKnown(s), minutesAt(s, firstFrame));
  realOrEmpty(row, intervalKnown(s), minutesAt(s, lastFrame));
  realOrEmpty(row, pixelSizeKnown(s) && rows > 0, squareMicrons(s, startSize));
  realOrEmpty(row, pixelSizeKnown(s) && rows > 0, squareMicrons(s, endSize));
  realOrEmpty(row, pixelSizeKnown(s) && intervalKnown(s) && rows > 1, squareMicronsPerHour(s, growth));
  realOrEmpty(row, pixelSizeKnown(s) && rows > 0, microns(s, meanMove));
}

void writeEventUnits(const RunSettings& s, RowWriter& row, int32_t frame,
                     const std::vector<int32_t>& fromSizes, const std::vector<int32_t>& toSizes) {
  realOrEmpty(row, intervalKnown(s), minutesAt(s, frame));
  if (pixelSizeKnown(s)) {
    row.text(areaList(s, fromSizes));
    row.text(areaList(s, toSizes));
  } else {
    row.empty();
    row.empty();
  }
}

}  // namespace focustrack
