// Where the slices of a recording are, named by the path pattern:
// - with "%1": one image file per slice ("%0" the frame number);
// - with "%0" but no "%1": one multi-page TIFF per frame, its pages (or the
//   planes of one channel, for a hyperstack or OME-TIFF) the slices;
// - with neither: one file holding the whole recording, an ImageJ hyperstack,
//   an OME-TIFF or a plain multi-page TIFF; its frames are numbered from 1.
// The reader hands out one decoded slice at a time.
#pragma once

#include <cstdint>
#include <string>

#include "io/decoders.h"
#include "io/slice_loader.h"
#include "io/stack_layout.h"
#include "io/stack_reader.h"
#include "io/stack_units.h"

namespace focustrack {

enum class InputLayout { SliceFiles, FrameFiles, OneFile };

InputLayout inputLayoutOf(const std::string& pattern);

struct ReaderSettings {
  std::string pattern;
  int32_t frameDigits = 4;
  int32_t sliceDigits = 3;
  int32_t firstSlice = 1;
  int32_t firstFrame = 1;
  int32_t channel = 1;       // from 1
  int32_t plainSlices = 0;   // slices per frame of a plain multi-page TIFF; 0: all pages
};

// What a stack file says about the recording: for frame files, the first
// frame's file; `frames` only for one file.
struct RecordingShape {
  std::string kind;   // of the stack file
  std::string file;   // the file the shape was read from
  int32_t width = 0;
  int32_t height = 0;
  int32_t slices = 0;
  int32_t frames = 0;
  int32_t channels = 1;
  StackUnits units;   // what the description records of pixel size and frame interval
};

class RecordingReader {
 public:
  // Slice files: nothing is opened. Frame files: the first frame's file is
  // read for its shape. One file: it is opened for the whole run. False with
  // a reason naming the file when it cannot be read, or when --channel
  // names a channel the file does not have.
  bool open(const ReaderSettings& settings, std::string* reason);

  InputLayout layout() const { return layout_; }
  const RecordingShape& shape() const { return shape_; }

  // The file that holds slice `slice` (from 0, before any reordering) of
  // `frame`.
  std::string fileOf(int32_t frame, int32_t slice) const;

  // Decodes that slice: 8-bit, or 16-bit grey, of exactly width x height
  // pixels. False with a reason (without the file's name) when it cannot,
  // and `problem` (when given) says whether the file is missing.
  bool readSlice(int32_t frame, int32_t slice, int32_t width, int32_t height, DecodedImage* image,
                 std::string* reason, SliceProblem* problem = nullptr);

 private:
  bool openStack(const std::string& path, bool wholeRecording, std::string* reason);

  ReaderSettings settings_;
  InputLayout layout_ = InputLayout::SliceFiles;
  RecordingShape shape_;
  TiffStack stack_;
  StackLayout stackLayout_;
};

}  // namespace focustrack
