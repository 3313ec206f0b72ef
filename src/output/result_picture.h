// The result image as a file: the classic BMP, the same picture enlarged by
// nearest neighbour so that ids and outlines are readable, or a PNG.
#pragma once

#include <cstdint>
#include <string>

#include "frame/settings.h"
#include "output/result_image.h"

namespace focustrack {

// Writes the picture drawn on the canvas to `path` in the settings' format
// and zoom. At zoom 1 a BMP is exactly what saveBmp writes; at zoom N every
// pixel of that picture becomes an N x N block. The canvas must have been
// allocated with at least the settings' zoom. False with a reason on failure.
bool saveResultPicture(ResultCanvas& canvas, const RunSettings& settings, const std::string& path,
                       std::string* reason);

// Row y (0 = top) of the blended picture `zoom` times wider, blue, green, red
// per pixel, in `out` (at least width x zoom x 3 bytes). `fileRows` is what
// ResultCanvas::blend returned.
void zoomedRow(const ResultCanvas& canvas, const uint8_t* fileRows, int32_t y, int32_t zoom, uint8_t* out);

}  // namespace focustrack
