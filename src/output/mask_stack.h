// The label masks of a whole run in one multi-page TIFF ("--mask-stack"):
// masks.tif in the output folder, one page per completed frame, with the
// ImageJ description and resolution that make viewers open it as a time
// series with the pixel size and frame interval of the run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "frame/frame_buffers.h"
#include "io/imagej_stack.h"

namespace focustrack {

// "masks.tif" in the output folder.
std::string maskStackPath(const RunSettings& settings);

// The ImageJ description of a stack of `pages` frames whose largest label is
// `largest`; units from the settings where they are known.
std::string maskStackDescription(const RunSettings& settings, int32_t pages, uint32_t largest);

class MaskStack {
 public:
  // Adds the frame's labels (track ids, as masks_NNNN.tif holds them: at the
  // input's size and pixel size, also in a run with --scale) as the next
  // page. The whole file is written anew beside masks.tif and then
  // renamed over it, so masks.tif is always a complete stack of the frames
  // added so far, even when the run is killed. Pages are 16-bit until a
  // track id exceeds 65535, then every page becomes 32-bit. Reads `cellMap`
  // and the cells' `trackId`. False with a reason naming the file; the
  // previous masks.tif and page count then stay.
  bool addFrame(const RunSettings& settings, const FrameBuffers& buffers, std::string* reason);

  int32_t pages() const { return pages_; }

 private:
  bool writeStack(const StackFileLayout& layout, const std::string& path, std::string* why);
  bool copyPages(FILE* to, const std::string& from, int32_t bytesPerSample, std::string* why);

  int32_t pages_ = 0;
  uint32_t largest_ = 0;         // largest track id on any page
  int32_t bytesPerSample_ = 2;
  uint64_t dataOffset_ = 0;      // where the first page's samples start in masks.tif
  std::vector<uint32_t> ids_;    // this frame's labels
  std::vector<uint8_t> chunk_;   // copy buffer
};

}  // namespace focustrack
