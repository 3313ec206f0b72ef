// The decoders behind loadSlice, one file each. A decoder yields the whole
// image as a top-row pointer and a row pitch into storage the image owns;
// loadSlice then copies the rows into the stack plane.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace focustrack {

// A decoded image: the first (top) row and the distance in bytes to the next
// row down, pointing into `pixels` or into storage a library allocated. A
// 16-bit image holds one native-order uint16_t sample per pixel.
struct DecodedImage {
  std::vector<uint8_t> pixels;
  std::unique_ptr<uint8_t, void (*)(uint8_t*)> libraryPixels{nullptr, nullptr};
  const uint8_t* top = nullptr;
  ptrdiff_t pitch = 0;
  int32_t bits = 8;
};

// What a decoder must deliver, and where it says why it cannot. 16-bit
// unsigned grey images (TIFF and PNG) are delivered only when allowed.
struct Request {
  int32_t width;
  int32_t height;
  std::string* reason;
  bool allowSixteen = false;
};

// Each sets the reason and answers false.
bool fail(const Request& request, std::string text);
bool failDepth(const Request& request, const std::string& found);
// True when the found size is the requested one; else fails naming both.
bool checkSize(int64_t foundWidth, int64_t foundHeight, const Request& request);
// Storage for a top-down image of the requested size, pitch = width, of
// 8-bit samples; or of 16-bit ones (pitch = 2 x width) when `bits` is 16.
uint8_t* allocateTopDown(const Request& request, DecodedImage* image, int32_t bits = 8);
// The whole rest of an open file.
bool readWholeFile(FILE* file, std::vector<uint8_t>* bytes, const Request& request);

// TIFF reads by path (libtiff opens the file itself); the others read the
// open file from byte 0.
bool decodeTiff(const std::string& path, const Request& request, DecodedImage* image);
bool decodePng(FILE* file, const Request& request, DecodedImage* image);
bool decodeJpeg(FILE* file, const Request& request, DecodedImage* image);
bool decodeBmp(FILE* file, const Request& request, DecodedImage* image);

}  // namespace focustrack
