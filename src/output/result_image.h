// Result image: the reference slice in grey with cell borders, track ids,
// nucleus and vacuole outlines and recent movement tracks, saved as an
// uncompressed 24-bit BMP. The overlay holds what was drawn and its weight;
// it is blended over the grey base only when the file is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/frame_buffers.h"

namespace focustrack {

class ResultCanvas {
 public:
  ResultCanvas() = default;
  ResultCanvas(const ResultCanvas&) = delete;
  ResultCanvas& operator=(const ResultCanvas&) = delete;

  // Obtains the picture buffers (overlay weights all 0) and one row of the
  // picture drawn `zoom` times larger; false when a size is not positive or
  // the buffers cannot be allocated.
  bool allocate(int32_t width, int32_t height, int32_t zoom = 1);
  void release();

  // Paints (x, y) unless something was drawn there already: the first colour
  // on a pixel wins. Points outside the picture are not drawn.
  void plotPixel(int32_t x, int32_t y, uint8_t red, uint8_t green, uint8_t blue);
  // Paints a border pixel when any of the four neighbour flags is set: red,
  // or white for an excluded cell.
  void markEdge(int32_t x, int32_t y, bool left, bool top, bool right, bool bottom, bool excluded);
  // Blue segment between two pixel indices (y x width + x), sampled 1000
  // times from `from`; the end pixel itself is normally not reached.
  void drawLine(int32_t from, int32_t to);
  // Black 3 x 5 digits of a positive value; the last digit at columns
  // x..x+2, rows y..y+4, each earlier digit 4 columns further left. Digits
  // overwrite whatever was drawn; nothing for a value of 0 or below.
  void drawNumber(int32_t x, int32_t y, int32_t value);
  // Writes the blended picture under a temporary name and renames it to
  // `path` when complete; 0 on success, 1 when the file cannot be created or
  // a write, the close or the rename fails (no file is left then).
  int saveBmp(const std::string& path);
  // Builds the blended picture in file order (rows bottom to top, blue,
  // green, red, each row padded to fileRowBytes) and returns it.
  const uint8_t* blend();

  int32_t fileRowBytes() const { return rowBytes_; }
  Buffer<uint8_t>& zoomRow() { return zoomRow_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  Buffer<uint8_t>& baseImage() { return baseImage_; }
  Buffer<uint8_t>& overlayImage() { return overlayImage_; }
  Buffer<double>& overlayAlpha() { return overlayAlpha_; }
  const Buffer<uint8_t>& baseImage() const { return baseImage_; }
  const Buffer<uint8_t>& overlayImage() const { return overlayImage_; }
  const Buffer<double>& overlayAlpha() const { return overlayAlpha_; }
  // Scratch of the background of 16-bit frames.
  std::vector<uint32_t>& histogram() { return histogram_; }

 private:
  bool inside(int32_t x, int32_t y) const { return x >= 0 && x < width_ && y >= 0 && y < height_; }
  void buildFileImage();

  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t rowBytes_ = 0;          // file row: width x 3 raised to a multiple of 4
  Buffer<uint8_t> baseImage_;     // blue, green, red per pixel, top row first
  Buffer<uint8_t> overlayImage_;  // drawn colours, same layout
  Buffer<double> overlayAlpha_;   // 0 = nothing drawn
  Buffer<uint8_t> fileImage_;     // rows bottom to top, padded as in the file
  std::vector<uint32_t> histogram_;
  Buffer<uint8_t> zoomRow_;       // one zoomed file row, padded, for the larger pictures
};

// The frame's picture (the frame loop saves it): overlay
// cleared, reference slice as background, track ids, nucleus outlines,
// vacuole outlines, cell borders, tracks of the current frame and the four
// before it. Reads the frame's cells, blobs and link records (completed by
// measureMovement); writes only the `idDrawn` scratch of the cells. The
// canvas must have the image size.
void drawResultImage(const RunSettings& settings, FrameBuffers& buffers, ResultCanvas& canvas);

// "result_NNNN.bmp" (or ".png") in the output folder, NNNN the frame ordinal.
std::string resultImagePath(const RunSettings& settings, int32_t frameOrdinal);

}  // namespace focustrack
