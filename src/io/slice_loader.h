// Slice loading: decodes one slice file (TIFF, PNG, BMP or JPEG) into an
// 8-bit plane through a maintained decoder.
#pragma once

#include <cstdint>
#include <string>

namespace focustrack {

// Decodes the file at `path` and copies its rows, top row first, into
// `plane` (width x height bytes, row-major). Grey images give their grey
// values, 8-bit palette images their palette indices. The file must be an
// 8-bit single-channel image of exactly width x height pixels; anything else
// is a failed load. On failure `plane` is left untouched, false is returned
// and `reason` says why (found size and depth where known), without the path.
bool loadSlice(const std::string& path, int32_t width, int32_t height, uint8_t* plane,
               std::string* reason);

}  // namespace focustrack
