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

// A decoded image: the first (top) row and the distance to the next row
// down, pointing into `pixels` or into storage a library allocated.
struct DecodedImage {
  std::vector<uint8_t> pixels;
  std::unique_ptr<uint8_t, void (*)(uint8_t*)> libraryPixels{nullptr, nullptr};
  const uint8_t* top = nullptr;
  ptrdiff_t pitch = 0;
};

// What a decoder must deliver, and where it says why it cannot.
struct Request {
  int32_t width;
  int32_t height;
  std::string* reason;
};

// Each sets the reason and answers false.
bool fail(const Request& request, std::string text);
bool failDepth(const Request& request, const std::string& found);
// True when the found size is the requested one; else fails naming both.
bool checkSize(int64_t foundWidth, int64_t foundHeight, const Request& request);
// Storage for a top-down image of the requested size, pitch = width.
uint8_t* allocateTopDown(const Request& request, DecodedImage* image);
// The whole rest of an open file.
bool readWholeFile(FILE* file, std::vector<uint8_t>* bytes, const Request& request);

// TIFF reads by path (libtiff opens the file itself); the others read the
// open file from byte 0.
bool decodeTiff(const std::string& path, const Request& request, DecodedImage* image);
bool decodePng(FILE* file, const Request& request, DecodedImage* image);
bool decodeJpeg(FILE* file, const Request& request, DecodedImage* image);
bool decodeBmp(FILE* file, const Request& request, DecodedImage* image);

}  // namespace focustrack
