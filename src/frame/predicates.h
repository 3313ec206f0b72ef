// What the tables, the masks and the result image count: one definition of
// "has a nucleus" and of "is a vacuole" for all of them.
#pragma once

#include "base/angles.h"
#include "frame/records.h"
#include "frame/settings.h"

namespace focustrack {

// "Has Nuclei" of the cell table: the score reaches the threshold. With a
// threshold of 0 or below, this holds also for a cell without a nucleus.
inline bool hasNucleus(const RunSettings& settings, const CellRecord& cell) {
  return cell.nucleusValue >= settings.nucleusThreshold;
}

// A nucleus measured in this frame that reaches the threshold: painted into
// the nucleus mask and outlined in the result image. The centre and radii of
// a cell whose score stayed 0 are left over from another frame or were never
// written, whatever the threshold says.
inline bool showsNucleus(const RunSettings& settings, const CellRecord& cell) {
  return cell.nucleusValue > 0 && cell.nucleusValue >= settings.nucleusThreshold;
}

// A blob of the backward flood is a vacuole when its fit scored and its
// lowest pixel lies in no nucleus.
inline bool isVacuole(const BlobRecord& blob) { return blob.vacuoleScore != 0.0 && blob.interior != 0; }

// Circularity of a cell: area x 4 pi / perimeter^2 (1 for a disc; thin
// crescents and lines come out low).
inline double cellCircularity(const CellRecord& cell) {
  const double perimeter = static_cast<double>(cell.perimeter);
  return static_cast<double>(cell.area) * kFourPi / perimeter / perimeter;
}

}  // namespace focustrack
