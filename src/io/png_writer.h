// 8-bit RGB PNG files written row by row, so that a picture larger than any
// buffer of the run (a zoomed result image) needs only one row at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace focustrack {

// Supplies row y (0 = top) of the picture as width x 3 bytes in the order
// blue, green, red; the pointer must stay valid until the next call.
using PngRowSource = std::function<const uint8_t*(int32_t y)>;

// Writes a width x height 8-bit RGB PNG, rows requested top to bottom.
// False with a reason when the file cannot be created or written.
bool writeRgbPng(const std::string& path, int32_t width, int32_t height, const PngRowSource& row,
                 std::string* reason);

}  // namespace focustrack
