// The run's input: the recording named by the path pattern (one file per
// slice, one multi-page TIFF per frame, or one file for the whole
// recording), loaded frame by frame into the slice stack of the frame's
// sample depth, in the order --reverse-slices asks for and resampled to the
// analysed grid when --scale asks for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/frame_buffers.h"
#include "frame/settings.h"
#include "io/recording_reader.h"
#include "io/resample.h"

namespace focustrack {

// A slice that could not be loaded: the console's reason (naming the file
// and the frame) and the run record's detail (the file and the cause).
struct LoadProblem {
  std::string message;
  std::string detail;
  SliceProblem kind = SliceProblem::Unreadable;
};

class StackInput {
 public:
  // Checks --scale and --channel and opens the recording. For a stack file,
  // -w, -h, -sc and (for a whole recording) -c that the command line did not
  // give are taken from the file; given ones must agree with it. False with
  // a reason when the options or the file do not allow a run. A pattern with
  // "%1" touches no file here. A pixel size or frame interval the command
  // line did not give is taken from the file's metadata where it has one.
  bool open(RunSettings& settings, std::string* reason);

  // Before the first slice of a frame.
  void beginFrame() { frameBits_ = 0; }

  // Loads plane `plane` of the frame in buffers.frame into the stack of its
  // depth and sets buffers.sampleBits. False with the problem: the file
  // cannot be read, or its depth differs from the frame's earlier slices.
  bool loadPlane(const RunSettings& settings, FrameBuffers& buffers, int32_t plane,
                 LoadProblem* problem);

  // True when one failed slice says all there is to say about the frame (a
  // stack file); slice files report every failed slice.
  bool oneProblemPerFrame() const { return reader_.layout() != InputLayout::SliceFiles; }

 private:
  bool resolveSizes(RunSettings& settings, std::string* reason) const;
  void resolveUnits(RunSettings& settings) const;
  bool prepareScale(const RunSettings& settings, std::string* reason);
  LoadProblem problemOf(int32_t frame, int32_t slice, const std::string& why) const;
  template <class Sample>
  void place(const DecodedImage& image, const RunSettings& settings, Sample* target,
             std::vector<Sample>& scratch);

  RecordingReader reader_;
  bool resampled_ = false;
  Resampler resampler_;
  std::vector<uint8_t> input8_;    // a slice at the input's size, before resampling
  std::vector<uint16_t> input16_;
  int32_t frameBits_ = 0;          // depth of the frame's first loaded slice; 0 before it
};

}  // namespace focustrack
