#include "base/angles.h"

#include <cmath>

namespace focustrack {

void fillAngleTable(AngleEntry* table) {
  for (int32_t k = 0; k <= kDirections; ++k) {
    // Evaluated in double precision in exactly this order.
    const double angle = static_cast<double>(k) * 360.0 / 120.0 / 180.0 * kPi;
    table[k].sinK = std::sin(angle);
    table[k].cosK = std::cos(angle);
  }
}

}  // namespace focustrack
