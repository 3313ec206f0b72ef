// The 54-byte header of an uncompressed 24-bit BMP file whose rows are
// stored bottom to top, each padded to a multiple of 4 bytes.
#pragma once

#include <cstdint>

namespace focustrack {

constexpr int32_t kBmpHeaderBytes = 54;  // file header 14 + information header 40

// Bytes of one stored row: width x 3 raised to the next multiple of 4.
inline uint64_t bmpRowBytes(int64_t width) { return (uint64_t(width) * 3 + 3) / 4 * 4; }

// Fills the header of a width x height picture of `imageBytes` pixel bytes.
void fillBmpHeader(uint8_t (&header)[kBmpHeaderBytes], int32_t width, int32_t height,
                   uint32_t imageBytes);

}  // namespace focustrack
