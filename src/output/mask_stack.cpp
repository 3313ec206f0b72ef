#include "output/mask_stack.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "io/atomic_file.h"
#include "io/imagej_stack.h"
#include "io/output_paths.h"
#include "output/masks.h"

namespace focustrack {

namespace {

constexpr size_t kCopyBytes = size_t(1) << 20;  // bytes per read while copying pages (even)
constexpr int64_t kMostFirstSlots = 4096;       // slots the first frame reserves at most
constexpr double kSecondsPerMinute = 60.0;
constexpr uint64_t kLargestTiffBytes = 0xFFFFFFFFull;  // classic TIFF offsets are 32-bit

// The samples little-endian, `bytes` bytes each.
void storeSamples(const std::vector<uint32_t>& samples, int32_t bytes, std::vector<uint8_t>& stored) {
  stored.resize(samples.size() * size_t(bytes));
  for (size_t i = 0; i < samples.size(); ++i) {
    for (int32_t k = 0; k < bytes; ++k) stored[i * bytes + k] = static_cast<uint8_t>(samples[i] >> (8 * k));
  }
}

// 16-bit little-endian samples as 32-bit ones.
void widenSamples(const std::vector<uint8_t>& narrow, size_t count, std::vector<uint8_t>& wide) {
  wide.assign(2 * count, 0);
  for (size_t i = 0; i < count / 2; ++i) {
    wide[4 * i] = narrow[2 * i];
    wide[4 * i + 1] = narrow[2 * i + 1];
  }
}

// Directory slots for a file written whole: the run's frames (a few
// thousand at most: a run told far more frames than its input holds must
// not reserve for them), twice the slots before once the run outgrows them,
// never more than fit in 4 GiB, never fewer than the pages.
int32_t slotsFor(const StackFileLayout& l, int32_t frameCount, int32_t slotsBefore) {
  int64_t wanted = std::max<int64_t>(std::min<int64_t>(frameCount, kMostFirstSlots), slotsBefore);
  if (l.pages > slotsBefore && slotsBefore > 0) wanted = std::max<int64_t>(wanted, int64_t{slotsBefore} * 2);
  wanted = std::min(wanted, stackPagesThatFit(l));
  return static_cast<int32_t>(std::max<int64_t>(wanted, l.pages));
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string tenDigits(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%010u", value);
  return text;
}

}  // namespace

std::string maskStackPath(const RunSettings& settings) { return outputPath(settings.outputFolder, "masks.tif"); }

std::string maskStackDescription(const RunSettings& s, int32_t pages, uint32_t largest) {
  const std::string count = tenDigits(static_cast<uint32_t>(pages));
  std::string text = "ImageJ=1.11a\nimages=" + count + "\nframes=" + count + "\nhyperstack=true\n";
  // The masks have the input's pixels, so its pixel size.
  if (s.pixelSize > 0.0) text += "unit=micron\nspacing=" + number(s.pixelSize) + "\n";
  // ImageJ's frame interval is in seconds unless a time unit is named.
  if (s.frameInterval > 0.0) text += "finterval=" + number(s.frameInterval * kSecondsPerMinute) + "\n";
  return text + "loop=false\nmin=0.0\nmax=" + tenDigits(largest) + ".0\n";
}

// The samples of the pages in masks.tif, widened to 4 bytes when the stack
// turns 32-bit.
bool MaskStack::copyPages(FILE* to, const std::string& from, int32_t bytesPerSample, std::string* why) {
  FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr || std::fseek(in, static_cast<long>(stackDataOffset(file_)), SEEK_SET) != 0) {
    *why = "cannot read the pages written so far: " + std::string(std::strerror(errno));
    if (in != nullptr) std::fclose(in);
    return false;
  }
  const bool widen = bytesPerSample != file_.bytesPerSample;
  uint64_t left = stackPageBytes(file_) * uint64_t(file_.pages);
  std::vector<uint8_t> wide;
  bool ok = true;
  while (left > 0 && ok) {
    const size_t n = left < kCopyBytes ? size_t(left) : kCopyBytes;
    ok = std::fread(chunk_.data(), 1, n, in) == n;
    if (ok && widen) {
      widenSamples(chunk_, n, wide);
      ok = std::fwrite(wide.data(), 1, wide.size(), to) == wide.size();
    } else if (ok) {
      ok = std::fwrite(chunk_.data(), 1, n, to) == n;
    }
    left -= n;
  }
  std::fclose(in);
  if (!ok) *why = "cannot copy the pages written so far";
  return ok;
}

// The file under a temporary name, then renamed over masks.tif; the
// temporary file is removed again when anything fails.
bool MaskStack::writeWhole(const StackFileLayout& next, const std::string& path, std::string* why) {
  if (stackFileBytes(next) > kLargestTiffBytes) {
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
  chunk_.resize(kCopyBytes);
  bool ok = writeStackHead(file, next);
  if (ok && file_.pages > 0) ok = copyPages(file, path, next.bytesPerSample, why);
  ok = ok && std::fwrite(page_.data(), 1, page_.size(), file) == page_.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    discardFile(temporary, path);
    return false;
  }
  return publishFile(temporary, path, why);
}

// The page added to masks.tif as it stands, when nothing written needs to
// change but the counts: same depth and size, a free slot, the
// description's length kept.
bool MaskStack::fitsInPlace(const StackFileLayout& next) const {
  return !writeWholeNext_ && file_.pages > 0 && next.pages <= file_.capacity &&
         next.bytesPerSample == file_.bytesPerSample && next.width == file_.width &&
         next.height == file_.height && next.pixelsPerUnit == file_.pixelsPerUnit &&
         next.description.size() == file_.description.size() && stackFileBytes(next) <= kLargestTiffBytes;
}

bool MaskStack::writeInPlace(const StackFileLayout& next, const std::string& path, std::string* why) {
  FILE* file = std::fopen(path.c_str(), "r+b");
  if (file == nullptr) {
    *why = std::string("cannot open it to add the page: ") + std::strerror(errno);
    return false;
  }
  bool ok = appendStackPage(file, next, page_);
  ok = std::fclose(file) == 0 && ok;
  if (!ok) *why = "write failed (disk full?)";
  return ok;
}

bool MaskStack::addFrame(const RunSettings& settings, const FrameBuffers& b, std::string* reason) {
  const std::string path = maskStackPath(settings);
  if (b.pixelCount <= 0) {
    *reason = "cannot write '" + path + "': empty image";
    return false;
  }
  StackFileLayout next = file_;
  const uint32_t frameLargest = fillMaskLabels(settings, b, ids_, &next.width, &next.height);
  const uint32_t largest = std::max(frameLargest, largest_);
  next.bytesPerSample = largest > kLargest16BitId ? 4 : 2;
  next.pages = file_.pages + 1;
  next.description = maskStackDescription(settings, next.pages, largest);
  next.pixelsPerUnit = settings.pixelSize > 0.0 ? 1.0 / settings.pixelSize : 0.0;
  storeSamples(ids_, next.bytesPerSample, page_);
  std::string why;
  const bool inPlace = fitsInPlace(next);
  if (!inPlace) next.capacity = slotsFor(next, settings.frameCount, file_.capacity);
  if (!(inPlace ? writeInPlace(next, path, &why) : writeWhole(next, path, &why))) {
    // A failed in-place write may have linked the page: write whole next time.
    if (inPlace) writeWholeNext_ = true;
    *reason = "cannot write '" + path + "': " + why;
    return false;
  }
  file_ = next;
  largest_ = largest;
  writeWholeNext_ = false;
  return true;
}

}  // namespace focustrack
