// Input file naming: the path pattern with "%0" (frame number) and "%1"
// (slice number) replaced by zero-padded numbers.
#pragma once

#include <cstdint>
#include <string>

// Formats value with a zero-padded decimal conversion of at least `digits`
// digits ("%0<digits>d"); a longer number is written in full.
std::string paddedNumber(int32_t value, int32_t digits);

// Replaces every "%0" of the pattern by the frame text (left to right, no
// overlap), then every "%1" of the result by the slice text. No length limit.
std::string slicePath(const std::string& pattern, int32_t frame, int32_t frameDigits,
                      int32_t slice, int32_t sliceDigits);
