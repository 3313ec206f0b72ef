// Physical units that a stack file records: the width of a pixel and the
// time between frames. An ImageJ file gives the pixel width as the inverse
// of its X resolution, in the unit its description names ("unit=micron"),
// and the frame interval as "finterval" in "tunit" (seconds when none is
// named). An OME-TIFF gives PhysicalSizeX and TimeIncrement, each with its
// unit (µm and s when none is named), or the DeltaT of its planes.
#pragma once

#include <string>

namespace focustrack {

struct StackUnits {
  double pixelSize = 0.0;      // microns per pixel; 0 when the file records none
  double frameInterval = 0.0;  // minutes between time points; 0 when the file records none
};

// Microns in one `unit` of length, minutes in one `unit` of time; 0 for a
// unit the program does not know (and for "pixel").
double micronsPer(const std::string& unit);
double minutesPer(const std::string& unit);

// The units of an ImageJ description whose first page has `xResolution`
// pixels per unit (0 when it has no resolution).
StackUnits imageJUnits(const std::string& description, double xResolution);

// The units of the first Image of OME-XML. With no TimeIncrement, the
// interval is the mean step of DeltaT over the planes of channel 0 and slice
// 0, from the first time point to the last that has one.
StackUnits omeUnits(const std::string& description);

}  // namespace focustrack
