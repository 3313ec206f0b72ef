// Multi-page TIFF files read page by page: one page of one stack (a frame's
// slices, or a whole recording) is decoded at a time, so a file of any size,
// BigTIFF included, is never held in memory.
#pragma once

#include <cstdint>
#include <string>

#include "io/decoders.h"
#include "io/stack_layout.h"
#include "io/tiff_reading.h"

namespace focustrack {

class TiffStack {
 public:
  TiffStack() = default;
  TiffStack(const TiffStack&) = delete;
  TiffStack& operator=(const TiffStack&) = delete;

  // Opens the file, counts its pages and keeps the first page's
  // ImageDescription, size and depth. False with a reason (without the path)
  // when it is not a readable TIFF.
  bool open(const std::string& path, std::string* reason);
  void close();

  bool isOpen() const { return tif_ != nullptr; }
  const std::string& path() const { return path_; }
  int32_t pageCount() const { return pageCount_; }
  const std::string& description() const { return description_; }
  uint32_t firstWidth() const { return firstWidth_; }
  uint32_t firstHeight() const { return firstHeight_; }
  uint16_t firstBits() const { return firstBits_; }
  // Pixels per unit of the first page's X resolution; 0 when it has none.
  double firstXResolution() const { return firstXResolution_; }

  // Decodes page `page` (from 0) like a slice file: 8-bit grey or palette, or
  // 16-bit grey, of exactly width x height pixels. False with a reason
  // naming the page (not the path) when it cannot.
  bool readPage(int32_t page, int32_t width, int32_t height, DecodedImage* image,
                std::string* reason);

 private:
  std::string path_;
  std::string libraryError_;  // the file's error handler writes here
  std::string description_;
  TiffHandle tif_;
  int32_t pageCount_ = 0;
  uint32_t firstWidth_ = 0;
  uint32_t firstHeight_ = 0;
  uint16_t firstBits_ = 0;
  double firstXResolution_ = 0.0;
};

// The layout of an open stack from its first page's description: an ImageJ
// hyperstack, an OME-TIFF, or else a plain multi-page TIFF of `plainSlices`
// slices per time point (all pages one stack when `plainSlices` is 0 or
// below). False with a reason when the description and the file disagree.
bool readStackLayout(const TiffStack& stack, int32_t plainSlices, StackLayout* layout,
                     std::string* reason);

}  // namespace focustrack
