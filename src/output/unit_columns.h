// Physical units in the track and event tables. When the pixel size or the
// frame interval of a run is known, both tables end with extra columns
// named with their unit: areas in square microns, lengths in microns, times
// in minutes from the run's first frame, growth in square microns per hour.
// A column whose unit is unknown stays empty; a run that knows neither has
// no extra columns, so its tables are what they always were.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/settings.h"
#include "output/row_writer.h"

namespace focustrack {

// True when either unit is known: the tables then carry the unit columns.
bool hasUnitColumns(const RunSettings& settings);

void writeTrackUnitHeader(RowWriter& row);
void writeEventUnitHeader(RowWriter& row);

// Minutes from the run's first frame to `frame`.
double minutesAt(const RunSettings& settings, int32_t frame);
// Square microns of `pixels` analysed pixels; microns of `widths` pixel
// widths (the analysed pixel size: the input's divided by the scale).
double squareMicrons(const RunSettings& settings, double pixels);
double microns(const RunSettings& settings, double widths);
// Square microns per hour of a growth of `pixelsPerFrame` pixels per frame.
double squareMicronsPerHour(const RunSettings& settings, double pixelsPerFrame);

// The unit columns of a track row, from the pixel and frame figures it
// already holds; `rows` is the track's number of cell-table rows (sizes and
// move need one, growth two).
void writeTrackUnits(const RunSettings& settings, RowWriter& row, int32_t firstFrame, int32_t lastFrame,
                     int32_t rows, int32_t startSize, int32_t endSize, double growth, double meanMove);

// The unit columns of an event row seen in `frame`, with the sizes (pixels)
// of the cells before and after.
void writeEventUnits(const RunSettings& settings, RowWriter& row, int32_t frame,
                     const std::vector<int32_t>& fromSizes, const std::vector<int32_t>& toSizes);

}  // namespace focustrack
