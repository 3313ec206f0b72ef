// Input file naming: the path pattern with "%0" (frame number) and "%1"
// (slice number) replaced by zero-padded numbers.
#pragma once

#include <cstdint>
#include <string>

namespace focustrack {

// Replaces every "%0" of the pattern by the frame text (left to right, no
// overlap), then every "%1" of the result by the slice text. No length limit.
std::string slicePath(const std::string& pattern, int32_t frame, int32_t frameDigits,
                      int32_t slice, int32_t sliceDigits);

}  // namespace focustrack
