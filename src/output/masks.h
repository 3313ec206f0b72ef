// Label masks ("--masks"): one TIFF image per frame in which every pixel of a
// cell carries the cell's track id and the background is 0, so that a track
// can be followed in any image viewer or analysis program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/frame_buffers.h"

namespace focustrack {

constexpr uint32_t kLargest16BitId = 65535;  // above it a mask needs 32-bit samples

// Track id per pixel (0 for the background, excluded cells included) into
// `samples`, pixelCount entries; returns the largest id.
uint32_t fillTrackIds(const FrameBuffers& buffers, uint32_t* samples);

// The labels a mask holds, into `samples` (resized to width x height): at the
// analysed grid, or at the input's size (settings.width x height) when the
// run is resampled, each input pixel taking the label of the analysed pixel
// nearest its centre. Returns the largest id.
uint32_t fillMaskLabels(const RunSettings& settings, const FrameBuffers& buffers,
                        std::vector<uint32_t>& samples, int32_t* width, int32_t* height);

// Writes masks_NNNN.tif (NNNN the frame ordinal, at least four digits) into
// the output folder: 16-bit samples, or 32-bit when a track id on the picture
// exceeds 65535. Excluded cells are written like any other. When the
// analysed grid differs from the input's size (settings.width x height, a
// run with --scale) the mask has the input's size, each pixel the label of
// the analysed pixel nearest its centre. Reads `cellMap`
// and the `trackId` of `currentCells` (complete after the cell stages).
// `scratch` is the caller's run-long sample buffer: sized on first use, then
// reused by every frame. False with a reason naming the file on failure.
bool writeMask(const RunSettings& settings, const FrameBuffers& buffers,
               std::vector<uint32_t>& scratch, std::string* reason);

}  // namespace focustrack
