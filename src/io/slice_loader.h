// Slice loading: decodes one slice file (TIFF, PNG, BMP or JPEG) into an
// 8-bit plane through a maintained decoder.
#pragma once

#include <cstdint>
#include <string>

namespace focustrack {

// Why a slice did not load: its file does not exist, or it exists but cannot
// be read as a slice (not a regular file, no permission, corrupt, wrong size
// or depth).
enum class SliceProblem { None, Missing, Unreadable };

// Decodes the file at `path` and copies its rows, top row first, into
// `plane` (width x height bytes, row-major). Grey images give their grey
// values, 8-bit palette images their palette indices. The file must be a
// regular file holding an 8-bit single-channel image of exactly width x
// height pixels; anything else is a failed load. A FIFO, device or socket is
// refused before it is opened, so that it cannot block the run. On failure
// `plane` is left untouched, false is returned, `reason` says why (found size
// and depth where known), without the path, and `problem` (when given) says
// whether the file is missing or unreadable.
bool loadSlice(const std::string& path, int32_t width, int32_t height, uint8_t* plane,
               std::string* reason, SliceProblem* problem = nullptr);

}  // namespace focustrack
