// Intermediate maps of a frame written as TIFF images a biologist can open in
// an image viewer ("--dump DIR").
#pragma once

#include <cstdint>
#include <string>

#include "io/tiff_writer.h"
#include "frame/frame_buffers.h"

namespace focustrack {

// Writes DIR/<name>_NNNN.tif, NNNN the frame ordinal. Does nothing and
// answers true when no dump folder is set.
bool dumpMap(const RunSettings& settings, const FrameBuffers& buffers, const char* name,
             TiffSample sample, const void* pixels, std::string* reason);

}  // namespace focustrack
