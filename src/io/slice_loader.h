// Slice loading: decodes one slice file (TIFF, PNG, BMP or JPEG) into an
// 8-bit plane through a maintained decoder; 16-bit grey TIFF and PNG slices
// through decodeSlice.
#pragma once

#include <cstdint>
#include <string>

#include "io/decoders.h"

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

// Decodes the file like loadSlice, keeping the decoded image; besides 8-bit
// images it accepts 16-bit unsigned grey TIFF and PNG (image->bits says
// which). False with a reason, without the path, when it cannot.
bool decodeSlice(const std::string& path, int32_t width, int32_t height, DecodedImage* image,
                 std::string* reason, SliceProblem* problem = nullptr);

// Copies the rows of a decoded width x height image, top row first, into a
// plane of its depth (8-bit into uint8_t, 16-bit into uint16_t samples).
void copyPlane(const DecodedImage& image, int32_t width, int32_t height, uint8_t* plane);
void copyPlane(const DecodedImage& image, int32_t width, int32_t height, uint16_t* plane);

}  // namespace focustrack
