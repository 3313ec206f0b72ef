// The table of a frame's stages: what each runs, the number and label under
// which the console times it, and the map it can dump. The frame loop walks
// the table in order; the console labels are the program's output and stay
// as they are, misspelling included.
#pragma once

#include <span>

#include "frame/frame_buffers.h"
#include "frame/settings.h"
#include "io/tiff_writer.h"

namespace focustrack {

struct Stage {
  int number;          // the console's stage number; timing slot of the log
  const char* label;   // the console's report line
  void (*run)(const RunSettings& settings, FrameBuffers& buffers);
  // The map written by --dump after the stage, or no dump when name is null.
  const char* dumpName;
  TiffSample dumpSample;
  const void* (*dumpPixels)(const FrameBuffers& buffers);
  // The stages since the previous closing stage report after this one, in
  // ascending stage number.
  bool closesGroup;
};

// Every stage of a frame in run order.
std::span<const Stage> frameStages();

// The leading stages that read nothing of an earlier frame and write only the
// frame's own buffers (slice stack, delta map, pixel order, class map, flood
// queue, and with cell building the cell map, the current cell table and the
// region table) and its slice range: a frame can run them ahead, on buffers
// of its own, while the previous frame completes. Cell building is among
// them unless maps are dumped: it overwrites the class map, whose dump is
// written when the frame completes. Then the rest.
std::span<const Stage> inputStages(const RunSettings& settings);
std::span<const Stage> cellStages(const RunSettings& settings);

}  // namespace focustrack
