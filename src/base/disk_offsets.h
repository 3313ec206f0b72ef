// The disk offsets: every pixel offset within radius 10 of a pixel, nearest
// first. Cells of two frames touch when a pixel of one lies within this disk
// of a pixel of the other; the order of the offsets decides which contact is
// found first.
#pragma once

#include <cstdint>

namespace focustrack {

constexpr int32_t kDiskRadius = 10;
constexpr int32_t kDiskOffsetSlots = 512;

// Writes the 317 offsets within radius 10 to dx/dy (kDiskOffsetSlots entries
// each), nearest first, equal distances in the order the index sort leaves
// them. Returns how many were written.
int32_t fillDiskOffsets(int8_t* dx, int8_t* dy);

}  // namespace focustrack
