// Values with a meaning of their own in the shared per-pixel maps and pair
// counts, next to the cell, region and blob numbers those maps hold.
#pragma once

#include <cstdint>

namespace focustrack {

// Edge map of the content analysis: a pixel of a cell whose 4-neighbour lies
// outside the cell; a ray of the fits stops there, and a candidate whose ray
// meets one is rejected.
constexpr int32_t kEdgePixel = -2;
// Edge map: a pixel outside every cell.
constexpr int32_t kOtherPixel = -1;

// Blob map: a pixel of no blob.
constexpr int32_t kNoBlob = 0;

// Pair counts of the linking: the two cells are partners.
constexpr int32_t kLinked = -1;
// Pair counts: both cells were partnered elsewhere.
constexpr int32_t kRejected = -2;

}  // namespace focustrack
