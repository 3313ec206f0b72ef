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
// `largest`; units from the settings where they are known. The counts have
// ten digits, leading zeros included ("images=0000000012"), so that the text
// keeps its length as the stack grows and can be rewritten in place.
std::string maskStackDescription(const RunSettings& settings, int32_t pages, uint32_t largest);

class MaskStack {
 public:
  // Adds the frame's labels (track ids, as masks_NNNN.tif holds them: at the
  // input's size and pixel size, also in a run with --scale) as the next
  // page. The first frame writes the file whole beside masks.tif and renames
  // it over whatever stood there, with a directory slot reserved for every
  // frame of the run (settings.frameCount, at most a few thousand). Each
  // later frame is added in place in time proportional to one page: its
  // samples go after the last page's, its directory into its slot, then the
  // previous page is linked to it and the description's counts are raised
  // (see appendStackPage). So at every moment, also when the run is killed,
  // masks.tif is a complete stack of the frames added so far; a reader that
  // trusts the description may see the newest frame only a moment later
  // than one that walks the directories. The file is written whole again
  // only when the pages turn 32-bit (a track id above 65535: every page is
  // then widened), when the run outgrows its slots (the number of slots
  // then doubles), and after an in-place write failed. Reads `cellMap` and
  // the cells' `trackId`. False with a reason naming the file; masks.tif
  // then still holds the pages added before (after a failed in-place write
  // it may hold the failed frame as well) and the page count stays.
  bool addFrame(const RunSettings& settings, const FrameBuffers& buffers, std::string* reason);

  int32_t pages() const { return file_.pages; }

 private:
  bool fitsInPlace(const StackFileLayout& next) const;
  bool writeInPlace(const StackFileLayout& next, const std::string& path, std::string* why);
  bool writeWhole(const StackFileLayout& next, const std::string& path, std::string* why);
  bool copyPages(FILE* to, const std::string& from, int32_t bytesPerSample, std::string* why);

  StackFileLayout file_;        // masks.tif as written: its pages, depth and slots
  uint32_t largest_ = 0;        // largest track id on any page
  bool writeWholeNext_ = true;  // the first frame, or masks.tif may not be as file_ says
  std::vector<uint32_t> ids_;   // this frame's labels
  std::vector<uint8_t> page_;   // this frame's samples as stored
  std::vector<uint8_t> chunk_;  // copy buffer
};

}  // namespace focustrack
