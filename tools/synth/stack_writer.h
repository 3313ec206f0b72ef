// Writing a synthetic recording's slices in the layout an acquisition
// program would use: one TIFF per slice, one multi-page TIFF per frame, an
// ImageJ hyperstack (channel fastest, then slice, then frame; big-endian as
// ImageJ writes it) or an OME-TIFF (DimensionOrder XYZCT). Every layout holds
// the same grey values, in 8 bits or times 257 in 16 bits, so that each
// input path of the analyser can be checked against the one-file-per-slice
// recording.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/tiff_writer.h"
#include "synth/synth.h"

namespace focustrack {

class StackWriter {
 public:
  explicit StackWriter(const SynthOptions& options) : options_(options) {}

  // Opens the file of a whole-recording format; nothing for the others.
  bool begin(std::string* lastFolder, std::string* error);
  // One file per slice: writes slice `slice` (from 0) of the frame from its
  // width x height 8-bit bright-field values.
  bool writeSlice(int32_t frame, int32_t slice, const uint8_t* plane, std::string* lastFolder,
                  std::string* error);
  // Stack files: writes a frame's slices; `stack` holds sliceCount
  // bright-field planes of width x height 8-bit values, slice order.
  bool writeFrame(int32_t frame, const std::vector<uint8_t>& stack, std::string* lastFolder,
                  std::string* error);
  // Closes the whole-recording file.
  bool finish(std::string* error);

 private:
  bool writePage(TiffPageWriter& file, const std::vector<uint8_t>& stack, int32_t channel,
                 int32_t slice, const std::string& description, const std::string& path,
                 std::string* error, double pixelsPerUnit = 0.0);
  const void* pageOf(const uint8_t* plane, int32_t channel);

  const SynthOptions& options_;
  TiffPageWriter recording_;       // the whole-recording file
  std::string recordingPath_;
  bool firstPageWritten_ = false;  // the description goes on the first page only
  std::vector<uint8_t> page8_;
  std::vector<uint16_t> page16_;
};

// The ImageJ description of a hyperstack of the given counts, with the unit
// and frame interval when they are above 0.
std::string imageJDescription(int32_t channels, int32_t slices, int32_t frames, double pixelSize,
                              double interval);
// The OME-XML of a recording written as one OME-TIFF in DimensionOrder XYZCT.
std::string omeDescription(const SynthOptions& options);

// Creates the folder of `path` unless it is `*lastFolder`.
bool ensureFolderOf(const std::string& path, std::string* lastFolder, std::string* error);

}  // namespace focustrack
