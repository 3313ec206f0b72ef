// Directions and circle measures. Every angle, area and circularity of the
// program takes pi as the literal 3.1415927 (and 4 pi as 12.5663708), so
// direction 120 of the angle table does not quite close the circle; results
// depend on these exact values.
#pragma once

#include <cstdint>

namespace focustrack {

constexpr double kPi = 3.1415927;
constexpr double kFourPi = 12.5663708;

constexpr int32_t kAngleEntries = 181;  // directions 0..120 used
constexpr int32_t kDirections = 120;    // 3 degrees apart

// Direction k (k x 3 degrees) with per-direction work space of the stages.
struct AngleEntry {
  double scratchA;
  double scratchB;
  double scratchC;
  double scratchD;
  double sinK;
  double cosK;
};

// Fills the sine and cosine of directions k = 0..120 of `table`.
void fillAngleTable(AngleEntry* table);

}  // namespace focustrack
