#include "io/recording_reader.h"

#include <filesystem>
#include <system_error>

#include "io/slice_loader.h"
#include "io/slice_path.h"

namespace focustrack {

InputLayout inputLayoutOf(const std::string& pattern) {
  if (pattern.find("%1") != std::string::npos) return InputLayout::SliceFiles;
  if (pattern.find("%0") != std::string::npos) return InputLayout::FrameFiles;
  return InputLayout::OneFile;
}

bool RecordingReader::open(const ReaderSettings& settings, std::string* reason) {
  settings_ = settings;
  layout_ = inputLayoutOf(settings.pattern);
  shape_ = RecordingShape();
  if (layout_ == InputLayout::SliceFiles) return true;
  const std::string path = fileOf(settings.firstFrame, 0);
  // A file that is not there is told by the first frame that needs it, like
  // a missing slice file; only a file that is there can disagree.
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) return true;
  std::string why;
  if (!openStack(path, layout_ == InputLayout::OneFile, &why)) {
    *reason = "cannot read '" + path + "': " + why;
    return false;
  }
  shape_.kind = stackLayout_.kind;
  shape_.file = path;
  shape_.width = static_cast<int32_t>(stack_.firstWidth());
  shape_.height = static_cast<int32_t>(stack_.firstHeight());
  shape_.slices = stackLayout_.slices;
  shape_.frames = layout_ == InputLayout::OneFile ? stackLayout_.frames : 0;
  shape_.channels = stackLayout_.channels;
  if (isImageJDescription(stack_.description())) {
    shape_.units = imageJUnits(stack_.description(), stack_.firstXResolution());
  } else if (isOmeDescription(stack_.description())) {
    shape_.units = omeUnits(stack_.description());
  }
  if (settings.channel < 1 || settings.channel > shape_.channels) {
    *reason = "'" + path + "' has " + std::to_string(shape_.channels) +
              (shape_.channels == 1 ? " channel" : " channels") + ", --channel " +
              std::to_string(settings.channel) + " names none of them";
    return false;
  }
  return true;
}

// Opens a stack file and reads its layout; a frame's file must hold one time
// point. The reason does not name the file.
bool RecordingReader::openStack(const std::string& path, bool wholeRecording, std::string* reason) {
  const int32_t plainSlices = wholeRecording ? settings_.plainSlices : 0;
  if (!stack_.open(path, reason) || !readStackLayout(stack_, plainSlices, &stackLayout_, reason)) {
    stack_.close();
    return false;
  }
  if (!wholeRecording && stackLayout_.frames != 1) {
    stack_.close();
    *reason = "it holds " + std::to_string(stackLayout_.frames) +
              " frames; a file holding a whole recording is named without %0";
    return false;
  }
  return true;
}

std::string RecordingReader::fileOf(int32_t frame, int32_t slice) const {
  const ReaderSettings& s = settings_;
  return slicePath(s.pattern, frame, s.frameDigits, s.firstSlice + slice, s.sliceDigits);
}

bool RecordingReader::readSlice(int32_t frame, int32_t slice, int32_t width, int32_t height,
                                DecodedImage* image, std::string* reason, SliceProblem* problem) {
  SliceProblem ignored = SliceProblem::None;
  if (problem == nullptr) problem = &ignored;
  const std::string path = fileOf(frame, slice);
  if (layout_ == InputLayout::SliceFiles) return decodeSlice(path, width, height, image, reason, problem);
  *problem = SliceProblem::Unreadable;
  const bool wholeRecording = layout_ == InputLayout::OneFile;
  if ((!stack_.isOpen() || stack_.path() != path) && !openStack(path, wholeRecording, reason)) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) *problem = SliceProblem::Missing;
    return false;
  }
  int32_t timePoint = 0;
  if (!wholeRecording) {
    const bool known = !shape_.file.empty();
    if (known && (stackLayout_.slices != shape_.slices || stackLayout_.channels != shape_.channels)) {
      *reason = "it holds " + std::to_string(stackLayout_.slices) + " slices of " +
                std::to_string(stackLayout_.channels) + " channels, the first frame's file " +
                std::to_string(shape_.slices) + " of " + std::to_string(shape_.channels);
      return false;
    }
  } else {
    // Frames of one file count from 1.
    timePoint = frame - 1;
    if (timePoint < 0 || timePoint >= stackLayout_.frames) {
      *reason = "it holds frames 1 to " + std::to_string(stackLayout_.frames);
      return false;
    }
  }
  if (slice < 0 || slice >= stackLayout_.slices) {
    *reason = "it holds slices 1 to " + std::to_string(stackLayout_.slices);
    return false;
  }
  if (settings_.channel > stackLayout_.channels) {
    *reason = "it has no channel " + std::to_string(settings_.channel);
    return false;
  }
  const int32_t page = pageOf(stackLayout_, settings_.channel - 1, slice, timePoint);
  return stack_.readPage(page, width, height, image, reason);
}

}  // namespace focustrack
