#include "synth/stack_writer.h"

#include <cstdio>
#include <filesystem>

#include "io/slice_path.h"

namespace focustrack {

namespace {

// Files that could pass the 4 GiB of classic TIFF offsets are BigTIFF.
constexpr double kClassicTiffBytes = 3.5e9;

TiffFileKind kindFor(const SynthOptions& o, int64_t pages, bool bigEndian) {
  const double bytes = static_cast<double>(o.width) * o.height * (o.bits / 8) * static_cast<double>(pages);
  if (bytes > kClassicTiffBytes) return TiffFileKind::BigTiff;
  return bigEndian ? TiffFileKind::BigEndian : TiffFileKind::LittleEndian;
}

// A value as the descriptions write it: up to 12 significant digits.
std::string realText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.12g", value);
  return text;
}

}  // namespace

bool ensureFolderOf(const std::string& path, std::string* lastFolder, std::string* error) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty() || folder == *lastFolder) return true;
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  if (failure) {
    *error = "cannot create folder '" + folder + "': " + failure.message();
    return false;
  }
  *lastFolder = folder;
  return true;
}

std::string imageJDescription(int32_t channels, int32_t slices, int32_t frames, double pixelSize,
                              double interval) {
  // ImageJ leaves out a count of 1 for channels.
  std::string text = "ImageJ=1.11a\nimages=" + std::to_string(int64_t{channels} * slices * frames) + "\n";
  if (channels > 1) text += "channels=" + std::to_string(channels) + "\n";
  text += "slices=" + std::to_string(slices) + "\n";
  if (frames > 1) text += "frames=" + std::to_string(frames) + "\n";
  text += "hyperstack=true\nmode=grayscale\n";
  // The pixel width is the inverse of the resolution tags, in this unit.
  if (pixelSize > 0.0) text += "unit=micron\n";
  // ImageJ's frame interval is in seconds unless a time unit is named.
  if (interval > 0.0) text += "finterval=" + realText(interval * 60.0) + "\n";
  return text + "loop=false\n";
}

// OME-XML of the units: the pixel size in the default unit (µm), the
// interval in seconds.
std::string omeUnits(const SynthOptions& o) {
  std::string text;
  if (o.pixelSize > 0.0) {
    text += " PhysicalSizeX=\"" + realText(o.pixelSize) + "\" PhysicalSizeY=\"" + realText(o.pixelSize) + "\"";
  }
  if (o.interval > 0.0) text += " TimeIncrement=\"" + realText(o.interval * 60.0) + "\" TimeIncrementUnit=\"s\"";
  return text;
}

std::string omeDescription(const SynthOptions& o) {
  std::string channels;
  for (int32_t c = 0; c < o.channels; ++c) {
    channels += "<Channel ID=\"Channel:0:" + std::to_string(c) + "\" SamplesPerPixel=\"1\"/>";
  }
  const int64_t planes = int64_t{o.channels} * o.sliceCount * o.frameCount;
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
         "<OME xmlns=\"http://www.openmicroscopy.org/Schemas/OME/2016-06\" Creator=\"focustrack-synth\">"
         "<Image ID=\"Image:0\" Name=\"synthetic\"><Pixels ID=\"Pixels:0\" DimensionOrder=\"XYZCT\" Type=\"" +
         std::string(o.bits == 16 ? "uint16" : "uint8") + "\" SizeX=\"" + std::to_string(o.width) +
         "\" SizeY=\"" + std::to_string(o.height) + "\" SizeC=\"" + std::to_string(o.channels) +
         "\" SizeZ=\"" + std::to_string(o.sliceCount) + "\" SizeT=\"" + std::to_string(o.frameCount) + "\"" +
         omeUnits(o) + ">" +
         channels + "<TiffData IFD=\"0\" PlaneCount=\"" + std::to_string(planes) +
         "\"/></Pixels></Image></OME>";
}

bool StackWriter::begin(std::string* lastFolder, std::string* error) {
  if (options_.format != SynthFormat::ImageJ && options_.format != SynthFormat::Ome) return true;
  recordingPath_ = options_.pathPattern;
  if (!ensureFolderOf(recordingPath_, lastFolder, error)) return false;
  const int64_t pages = int64_t{options_.channels} * options_.sliceCount * options_.frameCount;
  std::string reason;
  if (!recording_.open(recordingPath_, kindFor(options_, pages, options_.format == SynthFormat::ImageJ),
                       &reason)) {
    *error = "cannot write '" + recordingPath_ + "': " + reason;
    return false;
  }
  return true;
}

// Bright-field values, or their negative in the other channels; 16-bit
// values are the 8-bit ones times 257, so 0..255 becomes 0..65535.
const void* StackWriter::pageOf(const uint8_t* plane, int32_t channel) {
  const size_t n = static_cast<size_t>(options_.width) * options_.height;
  const bool bright = channel + 1 == options_.brightChannel;
  if (options_.bits == 8 && bright) return plane;
  page8_.resize(n);
  page16_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t v = bright ? plane[i] : static_cast<uint8_t>(255 - plane[i]);
    page8_[i] = v;
    page16_[i] = static_cast<uint16_t>(v * 257);
  }
  return options_.bits == 16 ? static_cast<const void*>(page16_.data()) : page8_.data();
}

bool StackWriter::writePage(TiffPageWriter& file, const std::vector<uint8_t>& stack, int32_t channel,
                            int32_t slice, const std::string& description, const std::string& path,
                            std::string* error, double pixelsPerUnit) {
  const TiffSample sample = options_.bits == 16 ? TiffSample::UInt16 : TiffSample::UInt8;
  const size_t n = static_cast<size_t>(options_.width) * options_.height;
  std::string reason;
  if (file.writePage(options_.width, options_.height, sample,
                     pageOf(stack.data() + static_cast<size_t>(slice) * n, channel), description, &reason,
                     pixelsPerUnit)) {
    return true;
  }
  *error = "cannot write '" + path + "': " + reason;
  return false;
}

bool StackWriter::writeSlice(int32_t frame, int32_t slice, const uint8_t* plane, std::string* lastFolder,
                             std::string* error) {
  const SynthOptions& o = options_;
  const TiffSample sample = o.bits == 16 ? TiffSample::UInt16 : TiffSample::UInt8;
  const std::string path = slicePath(o.pathPattern, frame, o.frameDigits, o.firstSlice + slice, o.sliceDigits);
  if (!ensureFolderOf(path, lastFolder, error)) return false;
  std::string reason;
  if (writeTiff(path, o.width, o.height, sample, pageOf(plane, 0), &reason)) return true;
  *error = "cannot write slice '" + path + "': " + reason;
  return false;
}

bool StackWriter::writeFrame(int32_t frame, const std::vector<uint8_t>& stack, std::string* lastFolder,
                             std::string* error) {
  const SynthOptions& o = options_;
  std::string reason;
  if (o.format == SynthFormat::FrameTiff) {
    const std::string path = slicePath(o.pathPattern, frame, o.frameDigits, o.firstSlice, o.sliceDigits);
    if (!ensureFolderOf(path, lastFolder, error)) return false;
    TiffPageWriter file;
    if (!file.open(path, kindFor(o, int64_t{o.channels} * o.sliceCount, false), &reason)) {
      *error = "cannot write '" + path + "': " + reason;
      return false;
    }
    // Several channels need the counts that say which page is which.
    const std::string description = o.channels > 1 ? imageJDescription(o.channels, o.sliceCount, 1, 0.0, 0.0) : "";
    for (int32_t s = 0; s < o.sliceCount; ++s) {
      for (int32_t c = 0; c < o.channels; ++c) {
        if (!writePage(file, stack, c, s, s == 0 && c == 0 ? description : "", path, error)) return false;
      }
    }
    if (file.close(&reason)) return true;
    *error = "cannot write '" + path + "': " + reason;
    return false;
  }
  const bool imageJ = o.format == SynthFormat::ImageJ;
  const std::string description =
      imageJ ? imageJDescription(o.channels, o.sliceCount, o.frameCount, o.pixelSize, o.interval) : omeDescription(o);
  // ImageJ: channel fastest, then slice; OME XYZCT: slice fastest, then channel.
  const int32_t outer = imageJ ? o.sliceCount : o.channels;
  const int32_t inner = imageJ ? o.channels : o.sliceCount;
  for (int32_t a = 0; a < outer; ++a) {
    for (int32_t b = 0; b < inner; ++b) {
      const std::string text = firstPageWritten_ ? "" : description;
      firstPageWritten_ = true;
      if (!writePage(recording_, stack, imageJ ? b : a, imageJ ? a : b, text, recordingPath_, error,
                     imageJ && o.pixelSize > 0.0 ? 1.0 / o.pixelSize : 0.0)) {
        return false;
      }
    }
  }
  return true;
}

bool StackWriter::finish(std::string* error) {
  std::string reason;
  if (recording_.close(&reason)) return true;
  *error = "cannot write '" + recordingPath_ + "': " + reason;
  return false;
}

}  // namespace focustrack
