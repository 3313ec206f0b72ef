// The device mask of a trap recording (--exclude FILE): an image the size of
// the analysed grid, or of the input with --scale (then resampled as the
// slices are), read once per run, whose non-zero pixels mark the trap
// structures. Cells lying mostly on it are kept out of the tables.
#pragma once

#include <string>

#include "frame/frame_buffers.h"
#include "frame/settings.h"

namespace focustrack {

// Reads the mask named in the settings into buffers.deviceMask (1 device,
// 0 elsewhere); does nothing when none is named. False with a reason naming
// the file when it cannot be read, has the wrong size, or marks every pixel
// (every cell would be excluded). A mask that marks no pixel loads, with
// `note` saying so.
bool loadDeviceMask(const RunSettings& settings, FrameBuffers& buffers, std::string* reason,
                    std::string* note);

}  // namespace focustrack
