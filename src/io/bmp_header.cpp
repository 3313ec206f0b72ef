#include "io/bmp_header.h"

namespace focustrack {

namespace {

constexpr int32_t kBmpInfoBytes = 40;

void putLittle16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void putLittle32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void fillBmpHeader(uint8_t (&header)[kBmpHeaderBytes], int32_t width, int32_t height,
                   uint32_t imageBytes) {
  for (uint8_t& byte : header) byte = 0;
  header[0] = 'B';
  header[1] = 'M';
  putLittle32(header + 2, kBmpHeaderBytes + imageBytes);
  putLittle32(header + 10, kBmpHeaderBytes);
  putLittle32(header + 14, kBmpInfoBytes);
  putLittle32(header + 18, static_cast<uint32_t>(width));
  putLittle32(header + 22, static_cast<uint32_t>(height));  // positive: rows bottom to top
  putLittle16(header + 26, 1);                              // planes
  putLittle16(header + 28, 24);                             // bits per pixel
  putLittle32(header + 34, imageBytes);                     // offsets 30 and 38..53 stay 0
}

}  // namespace focustrack
