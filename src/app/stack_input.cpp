#include "app/stack_input.h"

#include <cmath>
#include <limits>

#include "io/slice_loader.h"

namespace focustrack {

namespace {

// A size the command line gave must be the file's; one it left open is taken
// from the file.
bool agree(const char* option, bool given, int32_t* value, int32_t fileValue, const char* what,
           const std::string& file, std::string* reason) {
  if (given && *value != fileValue) {
    *reason = std::string("option ") + option + " " + std::to_string(*value) + " disagrees with '" + file +
              "', which has " + std::to_string(fileValue) + " " + what;
    return false;
  }
  *value = fileValue;
  return true;
}

}  // namespace

bool StackInput::open(RunSettings& settings, std::string* reason) {
  if (!(std::isfinite(settings.scale) && settings.scale > 0.0)) {
    *reason = "option --scale must be a positive number";
    return false;
  }
  if (settings.channel < 1) {
    *reason = "option --channel must be a channel number from 1";
    return false;
  }
  // Absurd digit counts would make names of billions of zeros; the run is
  // refused for them before any frame, so no name is made here.
  for (int32_t digits : {settings.frameDigits, settings.sliceDigits}) {
    if (digits < 1 || digits > kMaxNameDigits) return true;
  }
  ReaderSettings r;
  r.pattern = settings.pathPattern;
  r.frameDigits = settings.frameDigits;
  r.sliceDigits = settings.sliceDigits;
  r.firstSlice = settings.firstSlice;
  r.firstFrame = settings.firstFrame;
  r.channel = settings.channel;
  r.plainSlices = settings.sliceCountGiven ? settings.sliceCount : 0;
  if (inputLayoutOf(r.pattern) == InputLayout::SliceFiles && settings.channel != 1) {
    *reason = "option --channel picks a channel of a stack file, but the pattern names one file per slice";
    return false;
  }
  if (!reader_.open(r, reason) || !resolveSizes(settings, reason)) return false;
  resolveUnits(settings);
  return prepareScale(settings, reason);
}

void StackInput::resolveUnits(RunSettings& s) const {
  const RecordingShape& shape = reader_.shape();
  const std::string source = shape.kind + " metadata";
  if (s.pixelSizeSource == "unknown" && shape.units.pixelSize > 0.0) {
    s.pixelSize = shape.units.pixelSize;
    s.pixelSizeSource = source;
  }
  if (s.frameIntervalSource == "unknown" && shape.units.frameInterval > 0.0) {
    s.frameInterval = shape.units.frameInterval;
    s.frameIntervalSource = source;
  }
}

bool StackInput::resolveSizes(RunSettings& s, std::string* reason) const {
  const RecordingShape& shape = reader_.shape();
  // Slice files, or a stack file that is not there (yet): the command line's sizes.
  if (shape.file.empty()) return true;
  if (!agree("-w", s.widthGiven, &s.width, shape.width, "pixels per row", shape.file, reason) ||
      !agree("-h", s.heightGiven, &s.height, shape.height, "rows", shape.file, reason) ||
      !agree("-sc", s.sliceCountGiven, &s.sliceCount, shape.slices, "slices per frame", shape.file,
             reason)) {
    return false;
  }
  if (reader_.layout() == InputLayout::OneFile) {
    // Frames of one file count from 1; -fs and -c may pick a part of them.
    const int64_t available = int64_t{shape.frames} - s.firstFrame + 1;
    if (s.firstFrame < 1 || available < 1) {
      *reason = "option -fs " + std::to_string(s.firstFrame) + ": '" + shape.file + "' holds frames 1 to " +
                std::to_string(shape.frames);
      return false;
    }
    if (s.frameCountGiven && s.frameCount > available) {
      *reason = "option -c " + std::to_string(s.frameCount) + " runs past the last frame of '" + shape.file +
                "', which holds frames 1 to " + std::to_string(shape.frames);
      return false;
    }
    if (!s.frameCountGiven) s.frameCount = static_cast<int32_t>(available);
  }
  s.pixelCount = static_cast<int32_t>(static_cast<uint32_t>(s.width) * static_cast<uint32_t>(s.height));
  return true;
}

// Sizes below 1 are left to the run's size check.
bool StackInput::prepareScale(const RunSettings& s, std::string* reason) {
  if (s.scale == 1.0 || s.width < 1 || s.height < 1) return true;
  const int32_t width = scaledLength(s.width, s.scale);
  const int32_t height = scaledLength(s.height, s.scale);
  if (s.width > kLongestResampledSide || s.height > kLongestResampledSide ||
      width > kLongestResampledSide || height > kLongestResampledSide ||
      int64_t{width} * height > std::numeric_limits<int32_t>::max()) {
    *reason = "option --scale " + std::to_string(s.scale) + " makes " + std::to_string(s.width) + " x " +
              std::to_string(s.height) + " pixels into " + std::to_string(width) + " x " +
              std::to_string(height) + ", too large to resample";
    return false;
  }
  resampled_ = width != s.width || height != s.height;
  if (resampled_) resampler_.prepare(s.width, s.height, width, height);
  return true;
}

LoadProblem StackInput::problemOf(int32_t frame, int32_t slice, const std::string& why) const {
  const std::string file = reader_.fileOf(frame, slice);
  const std::string frameText = "frame " + std::to_string(frame);
  if (reader_.layout() == InputLayout::SliceFiles) {
    return {"cannot read slice '" + file + "' of " + frameText + ": " + why, file + ": " + why};
  }
  return {"cannot read slice " + std::to_string(slice + 1) + " of " + frameText + " from '" + file + "': " + why,
          file + ": slice " + std::to_string(slice + 1) + " of " + frameText + ": " + why};
}

template <class Sample>
void StackInput::place(const DecodedImage& image, const RunSettings& s, Sample* target,
                       std::vector<Sample>& scratch) {
  if (!resampled_) {
    copyPlane(image, s.width, s.height, target);
    return;
  }
  scratch.resize(static_cast<size_t>(s.width) * static_cast<size_t>(s.height));
  copyPlane(image, s.width, s.height, scratch.data());
  resampler_.run(scratch.data(), target);
}

bool StackInput::loadPlane(const RunSettings& s, FrameBuffers& b, int32_t plane, LoadProblem* problem) {
  const int32_t slice = s.reverseSlices ? s.sliceCount - 1 - plane : plane;
  DecodedImage image;
  std::string why;
  SliceProblem kind = SliceProblem::None;
  if (!reader_.readSlice(b.frame, slice, s.width, s.height, &image, &why, &kind)) {
    *problem = problemOf(b.frame, slice, why);
    problem->kind = kind;
    return false;
  }
  if (frameBits_ != 0 && image.bits != frameBits_) {
    *problem = problemOf(b.frame, slice,
                         "it is " + std::to_string(image.bits) + "-bit, the frame's earlier slices are " +
                             std::to_string(frameBits_) + "-bit");
    return false;
  }
  if (image.bits == 16 && !obtainSixteenBitStack(b)) {
    *problem = problemOf(b.frame, slice, "cannot allocate the stack of 16-bit slices");
    return false;
  }
  frameBits_ = image.bits;
  b.sampleBits = image.bits;
  const size_t offset = static_cast<size_t>(plane) * static_cast<size_t>(b.pixelCount);
  if (image.bits == 16) {
    place(image, s, b.sliceStack16.data() + offset, input16_);
  } else {
    place(image, s, b.sliceStack.data() + offset, input8_);
  }
  return true;
}

}  // namespace focustrack
