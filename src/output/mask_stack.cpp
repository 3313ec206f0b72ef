#include "output/mask_stack.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "io/atomic_file.h"
#include "io/imagej_stack.h"
#include "io/output_paths.h"
#include "output/masks.h"

namespace focustrack {

namespace {

constexpr size_t kCopySamples = size_t(1) << 18;  // samples per read while copying pages
constexpr double kSecondsPerMinute = 60.0;
constexpr uint64_t kLargestTiffBytes = 0xFFFFFFFFull;  // classic TIFF offsets are 32-bit

// Writes `count` samples little-endian, `bytes` bytes each, through `chunk`.
bool writeSamples(FILE* file, const uint32_t* samples, size_t count, int32_t bytes,
                  std::vector<uint8_t>& chunk) {
  for (size_t start = 0; start < count; start += kCopySamples) {
    const size_t n = count - start < kCopySamples ? count - start : kCopySamples;
    for (size_t i = 0; i < n; ++i) {
      for (int32_t k = 0; k < bytes; ++k) {
        chunk[i * bytes + k] = static_cast<uint8_t>(samples[start + i] >> (8 * k));
      }
    }
    if (std::fwrite(chunk.data(), 1, n * bytes, file) != n * size_t(bytes)) return false;
  }
  return true;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

}  // namespace

std::string maskStackPath(const RunSettings& settings) { return outputPath(settings.outputFolder, "masks.tif"); }

std::string maskStackDescription(const RunSettings& s, int32_t pages, uint32_t largest) {
  std::string text = "ImageJ=1.11a\nimages=" + std::to_string(pages) + "\nframes=" + std::to_string(pages) +
                     "\nhyperstack=true\n";
  // The masks have the input's pixels, so its pixel size.
  if (s.pixelSize > 0.0) text += "unit=micron\nspacing=" + number(s.pixelSize) + "\n";
  // ImageJ's frame interval is in seconds unless a time unit is named.
  if (s.frameInterval > 0.0) text += "finterval=" + number(s.frameInterval * kSecondsPerMinute) + "\n";
  return text + "loop=false\nmin=0.0\nmax=" + std::to_string(largest) + ".0\n";
}

// The samples of the pages already in masks.tif, widened to 4 bytes when the
// stack turns 32-bit.
bool MaskStack::copyPages(FILE* to, const std::string& from, int32_t bytesPerSample, std::string* why) {
  FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr || std::fseek(in, static_cast<long>(dataOffset_), SEEK_SET) != 0) {
    *why = "cannot read the pages written so far: " + std::string(std::strerror(errno));
    if (in != nullptr) std::fclose(in);
    return false;
  }
  uint64_t left = uint64_t(ids_.size()) * uint64_t(pages_);
  std::vector<uint32_t> wide;
  bool ok = true;
  while (left > 0 && ok) {
    const size_t n = left < kCopySamples ? size_t(left) : kCopySamples;
    ok = std::fread(chunk_.data(), size_t(bytesPerSample_), n, in) == n;
    if (ok && bytesPerSample == bytesPerSample_) {
      ok = std::fwrite(chunk_.data(), size_t(bytesPerSample_), n, to) == n;
    } else if (ok) {
      wide.resize(n);
      for (size_t i = 0; i < n; ++i) wide[i] = uint32_t(chunk_[2 * i]) | uint32_t(chunk_[2 * i + 1]) << 8;
      ok = writeSamples(to, wide.data(), n, bytesPerSample, chunk_);
    }
    left -= n;
  }
  std::fclose(in);
  if (!ok) *why = "cannot copy the pages written so far";
  return ok;
}

// The file under a temporary name, then renamed over masks.tif; the
// temporary file is removed again when anything fails.
bool MaskStack::writeStack(const StackFileLayout& layout, const std::string& path, std::string* why) {
  if (stackFileBytes(layout) > kLargestTiffBytes) {
    *why = "the stack would exceed 4 GiB";
    return false;
  }
  const std::string temporary = temporaryPath(path);
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    *why = "cannot create '" + temporary + "': " + std::strerror(errno);
    return false;
  }
  *why = "write failed (disk full?)";
  bool ok = writeStackHead(file, layout);
  if (ok && pages_ > 0) ok = copyPages(file, path, layout.bytesPerSample, why);
  ok = ok && writeSamples(file, ids_.data(), ids_.size(), layout.bytesPerSample, chunk_) &&
       writeStackTail(file, layout);
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    discardFile(temporary, path);
    return false;
  }
  return publishFile(temporary, path, why);
}

bool MaskStack::addFrame(const RunSettings& settings, const FrameBuffers& b, std::string* reason) {
  const std::string path = maskStackPath(settings);
  if (b.pixelCount <= 0) {
    *reason = "cannot write '" + path + "': empty image";
    return false;
  }
  chunk_.resize(kCopySamples * 4);
  StackFileLayout layout;
  const uint32_t frameLargest = fillMaskLabels(settings, b, ids_, &layout.width, &layout.height);
  const uint32_t largest = frameLargest > largest_ ? frameLargest : largest_;
  layout.bytesPerSample = largest > kLargest16BitId ? 4 : 2;
  layout.pages = pages_ + 1;
  layout.description = maskStackDescription(settings, layout.pages, largest);
  layout.pixelsPerUnit = settings.pixelSize > 0.0 ? 1.0 / settings.pixelSize : 0.0;
  std::string why;
  if (!writeStack(layout, path, &why)) {
    *reason = "cannot write '" + path + "': " + why;
    return false;
  }
  pages_ = layout.pages;
  largest_ = largest;
  bytesPerSample_ = layout.bytesPerSample;
  dataOffset_ = stackDataOffset(layout);
  return true;
}

}  // namespace focustrack
