// Result image: the reference slice in grey with cell borders, track ids,
// nucleus and vacuole outlines and recent movement tracks, saved as an
// uncompressed 24-bit BMP.
#pragma once

#include <cstdint>
#include <string>

#include "run/buffers.h"

class ResultCanvas {
 public:
  ResultCanvas() = default;
  // Obtains the picture buffers; false when they cannot be allocated.
  bool allocate(int32_t width, int32_t height);
  void release();

  void plotPixel(int32_t x, int32_t y, uint8_t red, uint8_t green, uint8_t blue);
  void markEdge(int32_t x, int32_t y, bool left, bool top, bool right, bool bottom, bool excluded);
  void drawLine(int32_t from, int32_t to);
  void drawNumber(int32_t x, int32_t y, int32_t value);
  // 0 on success, 1 when the file cannot be opened.
  int saveBmp(const std::string& path);

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  Buffer<uint8_t>& baseImage() { return baseImage_; }
  Buffer<uint8_t>& overlayImage() { return overlayImage_; }
  Buffer<double>& overlayAlpha() { return overlayAlpha_; }

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  Buffer<uint8_t> baseImage_;     // blue, green, red per pixel, top row first
  Buffer<uint8_t> overlayImage_;  // drawn colours, same layout
  Buffer<double> overlayAlpha_;   // 0 = nothing drawn
  Buffer<uint8_t> fileImage_;     // rows bottom to top, padded as in the file
};

// The frame's drawing sequence; the first colour on a pixel wins, except for
// digits.
void drawResultImage(const RunSettings& settings, const FrameBuffers& buffers, ResultCanvas& canvas);

// "result_NNNN.bmp" in the output folder, NNNN the frame ordinal.
std::string resultImagePath(const RunSettings& settings, int32_t frameOrdinal);
