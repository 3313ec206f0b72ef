// Zero-padded decimal numbers, as every numbered file name uses them.
#pragma once

#include <cstdint>
#include <string>

namespace focustrack {

// Formats value with a zero-padded decimal conversion of at least `digits`
// digits ("%0<digits>d"); a longer number is written in full.
std::string paddedNumber(int32_t value, int32_t digits);

}  // namespace focustrack
