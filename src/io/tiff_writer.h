// Uncompressed single-page TIFF images for maps that other programs open:
// intermediate maps, label masks and synthetic recordings.
#pragma once

#include <cstdint>
#include <string>

namespace focustrack {

enum class TiffSample { UInt8, UInt16, Int32, UInt32, Float64 };

// Silences libtiff's process-wide error and warning handlers, which would
// print; readers and writers take their reasons from return values and their
// own per-file handlers instead.
void silenceLibtiff();

// Writes width x height samples, row-major, top row first. Returns false with
// a reason when the file cannot be written.
bool writeTiff(const std::string& path, int32_t width, int32_t height, TiffSample sample,
               const void* pixels, std::string* reason);

}  // namespace focustrack
